#include "tools/StimulusEventAnalysis.h"

#include "files/AtomicFile.h"
#include "files/InputFile.h"

#include <QFile>
#include <QTextStream>

#include <algorithm>

namespace {

// Header lines of a GFA file, skipped whatever they contain.
constexpr int kGfaHeaderLines = 4;
// A data row must reach the second zone's flag (fields 0 to 7).
constexpr int kDataFieldsRead = 8;
// An event line must reach its inter-stimulus interval (fields 0 and 1).
constexpr int kEventFieldsRead = 2;

} // namespace

QString StimulusEventAnalysis::message(Error error, const QString &outputName)
{
    switch (error) {
    case Error::None:
        return QString();
    case Error::DataFileMissing:
        return QStringLiteral("Can't load video file.");
    case Error::GfaFileMissing:
        return QStringLiteral("Can't load gfa file.");
    case Error::DataFileUnreadable:
        return QStringLiteral("Can't open video file.");
    case Error::GfaFileUnreadable:
        return QStringLiteral("Can't open gfa file.");
    case Error::OutputUnwritable:
        return "Can't open '" + outputName + "' for write.";
    case Error::OutputNotWritten:
        return "Can't write '" + outputName + "'.";
    }
    return QString();
}

StimulusEventAnalysis::Error StimulusEventAnalysis::setDataFile(const QString &path)
{
    dataPath = path;
    detail = QFile::exists(path) ? QString() : path + QStringLiteral(": not found");
    return detail.isEmpty() ? Error::None : Error::DataFileMissing;
}

StimulusEventAnalysis::Error StimulusEventAnalysis::setGfaFile(const QString &path)
{
    gfaPath = path;
    detail = QFile::exists(path) ? QString() : path + QStringLiteral(": not found");
    return detail.isEmpty() ? Error::None : Error::GfaFileMissing;
}

StimulusEventAnalysis::Error StimulusEventAnalysis::read()
{
    times.clear();
    firstZone.clear();
    secondZone.clear();
    intervals.clear();
    events.clear();
    detail.clear();

    // A video or any other binary file given by mistake would be read as lines of garbage.
    QString problem = InputFile::textProblem(dataPath);
    if (!problem.isEmpty()) {
        detail = dataPath + QStringLiteral(": ") + problem;
        return Error::DataFileUnreadable;
    }
    QFile data(dataPath);
    if (!data.open(QIODevice::ReadOnly | QIODevice::Text)) {
        detail = dataPath + QStringLiteral(": ") + data.errorString();
        return Error::DataFileUnreadable;
    }
    QTextStream dataStream(&data);
    // Everything up to and including the column header ("Seconds FishX ...") is header.
    bool inHeader = true;
    while (!dataStream.atEnd()) {
        const QStringList fields = dataStream.readLine().split(' ', Qt::KeepEmptyParts);
        if (inHeader) {
            inHeader = fields.first() != QLatin1String("Seconds");
            continue;
        }
        // A row too short for the two zone flags (a file with fewer than two zones, a
        // truncated last line) is left out rather than read past its end.
        if (fields.size() < kDataFieldsRead)
            continue;
        const float t = fields[0].toFloat();
        intervals.append(times.isEmpty() ? 0.0f : t - times.last());
        times.append(t);
        firstZone.append(fields[6].toInt());
        secondZone.append(fields[7].toInt());
    }
    data.close();

    problem = InputFile::textProblem(gfaPath);
    if (!problem.isEmpty()) {
        detail = gfaPath + QStringLiteral(": ") + problem;
        return Error::GfaFileUnreadable;
    }
    QFile gfa(gfaPath);
    if (!gfa.open(QIODevice::ReadOnly | QIODevice::Text)) {
        detail = gfaPath + QStringLiteral(": ") + gfa.errorString();
        return Error::GfaFileUnreadable;
    }
    QTextStream gfaStream(&gfa);
    for (int i = 0; i < kGfaHeaderLines && !gfaStream.atEnd(); ++i)
        gfaStream.readLine();
    while (!gfaStream.atEnd()) {
        const QString line = gfaStream.readLine();
        // A line without an interval (a blank line at the end, for one) is no event.
        if (line.split(',', Qt::KeepEmptyParts).size() < kEventFieldsRead)
            continue;
        events.append(line);
    }
    return Error::None;
}

QStringList StimulusEventAnalysis::analyse(int offset, int longestWindow) const
{
    QStringList lines;
    // 64 bits, so that large intervals in a file cannot overflow the running start.
    qint64 start = offset;
    for (const QString &event : events) {
        const QStringList fields = event.split(',', Qt::KeepEmptyParts);
        const int isi = fields[1].toInt();
        const int length = std::min(isi, longestWindow);
        const qint64 end = start + length;

        float firstTime = 0.0f;
        float secondTime = 0.0f;
        for (int i = 0; i < times.size(); ++i) {
            // A row at the window's end belongs to the next window.
            if (double(times[i]) < double(start) || double(times[i]) >= double(end))
                continue;
            if (firstZone[i] > 0)
                firstTime += intervals[i];
            if (secondZone[i] > 0)
                secondTime += intervals[i];
        }

        QString line = event;
        line.replace(QLatin1Char(','), QLatin1Char(' '));
        line += ' ' + QString::number(firstTime, 'g', 6);
        line += ' ' + QString::number(secondTime, 'g', 6);
        line += ' ' + QString::number(length);
        lines.append(line);

        // Events follow each other by their full interval, whatever the window was.
        start += isi;
    }
    return lines;
}

QString StimulusEventAnalysis::outputFileName(const QString &chosen)
{
    const QString suffix = QStringLiteral(".gfadata");
    return chosen.right(suffix.size()) == suffix ? chosen : chosen + suffix;
}

StimulusEventAnalysis::Error StimulusEventAnalysis::write(
    const QString &name, const QStringList &lines, QString *detail)
{
    QByteArray text;
    for (const QString &line : lines)
        text += line.toLatin1() + '\n';
    QString reason;
    const AtomicFile::Outcome outcome = AtomicFile::write(name, text, &reason);
    if (outcome == AtomicFile::Outcome::Written)
        return Error::None;
    if (detail)
        *detail = name + QStringLiteral(": ") + reason;
    return outcome == AtomicFile::Outcome::NotCreated ? Error::OutputUnwritable
                                                      : Error::OutputNotWritten;
}

StimulusEventAnalysis::Error StimulusEventAnalysis::run(const QString &dataPath,
    const QString &gfaPath, int offset, int longestWindow, const QString &chosenOutput,
    QString *writtenName, QString *detail)
{
    StimulusEventAnalysis analysis;
    Error error = analysis.setDataFile(dataPath);
    if (error == Error::None)
        error = analysis.setGfaFile(gfaPath);
    if (error == Error::None)
        error = analysis.read();
    if (error != Error::None) {
        if (detail)
            *detail = analysis.detail;
        return error;
    }
    const QString name = outputFileName(chosenOutput);
    if (writtenName)
        *writtenName = name;
    return write(name, analysis.analyse(offset, longestWindow), detail);
}
