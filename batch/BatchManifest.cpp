#include "batch/BatchManifest.h"

#include "files/InputFile.h"
#include "files/UserPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// Columns whose cell is a path, resolved against the manifest's folder.
bool isPathColumn(const QString &column)
{
    return column == QLatin1String("video") || column == QLatin1String("setup")
        || column == QLatin1String("overlays-from") || column == QLatin1String("background-image")
        || column == QLatin1String("save-background");
}

} // namespace

bool BatchManifest::splitCsv(const QString &text, QVector<Record> *records, QString *error)
{
    records->clear();
    Record record;
    QString cell;
    bool quoted = false; // inside a quoted cell
    bool cellWasQuoted = false;
    int line = 1;
    record.line = 1;
    auto endCell = [&] {
        record.cells << (cellWasQuoted ? cell : cell.trimmed());
        cell.clear();
        cellWasQuoted = false;
    };
    auto endRecord = [&] {
        endCell();
        // A blank line is no record.
        if (!(record.cells.size() == 1 && record.cells[0].isEmpty()))
            records->append(record);
        record = Record();
        record.line = line;
    };
    const int n = text.size();
    for (int i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < n && text[i + 1] == QLatin1Char('"')) {
                    cell += c;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                if (c == QLatin1Char('\n'))
                    ++line;
                cell += c;
            }
            continue;
        }
        if (c == QLatin1Char('"')) {
            if (!cell.trimmed().isEmpty() || cellWasQuoted) {
                *error = QStringLiteral("%1: a quote inside an unquoted cell").arg(line);
                return false;
            }
            cell.clear();
            quoted = true;
            cellWasQuoted = true;
        } else if (c == QLatin1Char(',')) {
            endCell();
        } else if (c == QLatin1Char('\n')) {
            ++line;
            endRecord();
        } else if (c == QLatin1Char('\r')) {
            // CRLF: the LF ends the record.
        } else if (cellWasQuoted) {
            if (!c.isSpace()) {
                *error = QStringLiteral("%1: text after a quoted cell").arg(line);
                return false;
            }
        } else {
            cell += c;
        }
    }
    if (quoted) {
        *error = QStringLiteral("%1: a quoted cell is never closed").arg(record.line);
        return false;
    }
    endRecord();
    return true;
}

bool BatchManifest::read(const QString &path, QString *error)
{
    QString reason = InputFile::textProblem(path);
    QFile file(path);
    if (reason.isEmpty() && !file.open(QIODevice::ReadOnly))
        reason = file.errorString();
    if (!reason.isEmpty()) {
        *error = QStringLiteral("%1: %2").arg(path, reason);
        return false;
    }
    const QByteArray text = file.readAll();
    return parse(text, QFileInfo(path).absolutePath(), path, error);
}

bool BatchManifest::parse(
    const QByteArray &text, const QString &baseFolder, const QString &name, QString *error)
{
    rows.clear();
    QVector<Record> records;
    QString reason;
    QByteArray body = text;
    if (body.startsWith("\xEF\xBB\xBF")) // the byte-order mark spreadsheets write
        body.remove(0, 3);
    if (!splitCsv(QString::fromUtf8(body), &records, &reason)) {
        *error = QStringLiteral("%1:%2").arg(name, reason);
        return false;
    }
    if (records.isEmpty()) {
        *error = QStringLiteral("%1: no header row (it needs at least a column named video)")
                     .arg(name);
        return false;
    }
    const Record header = records.takeFirst();
    int videoColumn = -1;
    for (int c = 0; c < header.cells.size(); ++c) {
        const QString column = header.cells[c];
        if (column != QLatin1String("video") && !trackOptions.contains(column)) {
            *error = QStringLiteral("%1:%2: unknown column '%3' (the columns are video and "
                                    "the track options %4)")
                         .arg(name)
                         .arg(header.line)
                         .arg(column, trackOptions.join(QStringLiteral(", ")));
            return false;
        }
        if (column == QLatin1String("video")) {
            if (videoColumn >= 0) {
                *error = QStringLiteral("%1:%2: the column video appears twice")
                             .arg(name)
                             .arg(header.line);
                return false;
            }
            videoColumn = c;
        }
    }
    if (videoColumn < 0) {
        *error = QStringLiteral("%1:%2: no column named video").arg(name).arg(header.line);
        return false;
    }
    const QDir base(baseFolder);
    for (const Record &record : records) {
        if (record.cells.size() != header.cells.size()) {
            *error = QStringLiteral("%1:%2: %3 cells where the header has %4")
                         .arg(name)
                         .arg(record.line)
                         .arg(record.cells.size())
                         .arg(header.cells.size());
            return false;
        }
        BatchJob job;
        job.line = record.line;
        for (int c = 0; c < header.cells.size(); ++c) {
            const QString &column = header.cells[c];
            QString value = record.cells[c];
            if (value.isEmpty())
                continue;
            // A cell ":x.mp4" names a file in the manifest's folder, not one of Qt's resources.
            if (isPathColumn(column))
                value = QDir::cleanPath(base.absoluteFilePath(UserPath::local(value)));
            if (column == QLatin1String("video")) {
                job.video = value;
                continue;
            }
            if (column == QLatin1String("setup"))
                job.setup = value;
            if (column == QLatin1String("overlays-from"))
                job.overlaysFrom = value;
            if (column == QLatin1String("fish")) {
                job.fishCount = value.toInt();
                job.fishGiven = true;
            }
            if (column.startsWith(QLatin1String("arena")))
                job.arenas = true;
            job.trackArguments << QStringLiteral("--%1=%2").arg(column, value);
        }
        if (job.video.isEmpty()) {
            *error = QStringLiteral("%1:%2: the video cell is empty").arg(name).arg(record.line);
            return false;
        }
        rows.append(job);
    }
    return true;
}
