#include "formats/DataFileRows.h"

#include <algorithm>
#include <cmath>

namespace {

// The most fish a file may hold (the limit every count read from a file is checked against).
constexpr int mostFish = 200;

} // namespace

QVector<QPair<int, int>> DataFileRows::spans(const QByteArray &line)
{
    QVector<QPair<int, int>> result;
    int i = 0;
    const int n = int(line.size());
    while (i < n) {
        while (i < n && (line[i] == ' ' || line[i] == '\r'))
            ++i;
        const int start = i;
        while (i < n && line[i] != ' ' && line[i] != '\r')
            ++i;
        if (i > start)
            result.append({ start, i - start });
    }
    return result;
}

bool DataFileRows::parse(const QByteArray &text, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    *this = DataFileRows();
    lines = text.split('\n');
    if (lines.size() < 2 || !lines[0].startsWith("NumFish:"))
        return fail(QStringLiteral("not a multi-fish data file (its first line is not "
                                   "\"NumFish: \")"));
    bool ok = false;
    fish = QString::fromLatin1(lines[1]).trimmed().toInt(&ok);
    if (!ok || fish < 1 || fish > mostFish)
        return fail(QStringLiteral("the fish count \"%1\" is not a number from 1 to %2")
                        .arg(QString::fromLatin1(lines[1]).trimmed())
                        .arg(mostFish));
    int header = -1;
    for (int i = 2; i < lines.size() && header < 0; ++i)
        if (lines[i].startsWith("Time "))
            header = i;
    if (header < 0)
        return fail(QStringLiteral("no column header line (\"Time ...\")"));
    for (const auto &s : spans(lines[header])) {
        const QString name = QString::fromUtf8(lines[header].mid(s.first, s.second));
        if (!columns.contains(name))
            columns.insert(name, int(names.size()));
        names << name;
    }
    for (int i = header + 1; i < lines.size(); ++i) {
        const QVector<QPair<int, int>> fields = spans(lines[i]);
        if (fields.isEmpty())
            continue;
        if (fields.size() < names.size())
            return fail(QStringLiteral("line %1 has %2 fields, the column header names %3")
                            .arg(i + 1)
                            .arg(fields.size())
                            .arg(names.size()));
        rowLines << i;
        rowSpans << fields;
        const double t
            = QString::fromLatin1(lines[i].mid(fields[0].first, fields[0].second)).toDouble(&ok);
        times << (ok && std::isfinite(t) ? t : (times.isEmpty() ? 0.0 : times.last()));
    }
    // The pictures' own indices, when every row has one and they ascend.
    const int frameColumn = columns.value(QStringLiteral("Frame"), -1);
    for (int r = 0; frameColumn >= 0 && r < rowLines.size(); ++r) {
        const qint64 index = field(r, frameColumn).toLongLong(&ok);
        if (!ok || index < 0 || (r > 0 && index <= frames.last())) {
            frames.clear();
            break;
        }
        frames << index;
    }
    // Else the frame period: the median step between rows.
    if (frames.isEmpty() && times.size() >= 2) {
        QVector<double> steps;
        for (int r = 1; r < times.size(); ++r)
            if (times[r] > times[r - 1])
                steps << times[r] - times[r - 1];
        if (!steps.isEmpty()) {
            std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
            const double period = steps[steps.size() / 2];
            const double first = times[0] / period;
            if (period > 0 && std::isfinite(first) && std::fabs(first) < 1e15)
                firstFrame = qint64(std::llround(first));
        }
    }
    return true;
}

QString DataFileRows::field(int row, int column) const
{
    if (row < 0 || row >= rowLines.size() || column < 0 || column >= rowSpans[row].size())
        return QString();
    const QPair<int, int> s = rowSpans[row][column];
    return QString::fromLatin1(lines[rowLines[row]].mid(s.first, s.second));
}

int DataFileRows::rowAtFrame(qint64 wanted) const
{
    if (!frames.isEmpty())
        return int(std::lower_bound(frames.begin(), frames.end(), wanted) - frames.begin());
    if (wanted <= firstFrame)
        return 0;
    return int(std::min<qint64>(rowLines.size(), wanted - firstFrame));
}

QByteArray DataFileRows::withFieldsSwapped(const QVector<QPair<int, int>> &pairs, int fromRow) const
{
    QList<QByteArray> out = lines;
    for (int r = std::max(fromRow, 0); r < rowLines.size(); ++r) {
        const QByteArray &line = lines[rowLines[r]];
        const QVector<QPair<int, int>> &s = rowSpans[r];
        // Field texts by position, then the line rebuilt from its own separators.
        QVector<QByteArray> texts;
        for (const auto &span : s)
            texts << line.mid(span.first, span.second);
        for (const auto &pair : pairs)
            if (pair.first < texts.size() && pair.second < texts.size())
                std::swap(texts[pair.first], texts[pair.second]);
        QByteArray rebuilt;
        int at = 0;
        for (int k = 0; k < s.size(); ++k) {
            rebuilt += line.mid(at, s[k].first - at);
            rebuilt += texts[k];
            at = s[k].first + s[k].second;
        }
        rebuilt += line.mid(at);
        out[rowLines[r]] = rebuilt;
    }
    return out.join('\n');
}
