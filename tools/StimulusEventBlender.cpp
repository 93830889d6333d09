#include "tools/StimulusEventBlender.h"

#include "files/AtomicFile.h"
#include "files/InputFile.h"

#include <QFile>
#include <QStringList>
#include <QTextStream>

#include <utility>

namespace {

// Fields of a GFAdata line: the event's interval, then the two zone times.
constexpr int kIntervalField = 1;
constexpr int kLeftValueField = 4;
constexpr int kRightValueField = 5;

} // namespace

QString StimulusEventBlender::message(Error error, const QString &outputName)
{
    switch (error) {
    case Error::None:
        return QString();
    case Error::LeftMissing:
        return QStringLiteral("Can't load gfa (left) file.");
    case Error::RightMissing:
        return QStringLiteral("Can't load gfa (right) file.");
    case Error::LeftUnreadable:
        return QStringLiteral("Can't open gfa (left) file.");
    case Error::RightUnreadable:
        return QStringLiteral("Can't open gfa (right) file.");
    case Error::OutputUnwritable:
        return "Can't open '" + outputName + "' for write.";
    case Error::OutputNotWritten:
        return "Can't write '" + outputName + "'.";
    }
    return QString();
}

StimulusEventBlender::Error StimulusEventBlender::setLeftFile(const QString &path)
{
    leftPath = path;
    detail = QFile::exists(path) ? QString() : path + QStringLiteral(": not found");
    return detail.isEmpty() ? Error::None : Error::LeftMissing;
}

StimulusEventBlender::Error StimulusEventBlender::setRightFile(const QString &path)
{
    rightPath = path;
    detail = QFile::exists(path) ? QString() : path + QStringLiteral(": not found");
    return detail.isEmpty() ? Error::None : Error::RightMissing;
}

void StimulusEventBlender::readEntries(QTextStream &stream, bool left, QList<Entry> *entries)
{
    const int valueField = left ? kLeftValueField : kRightValueField;
    qint64 runningStart = 0;
    // Set by a marker line: the next line is taken whatever it holds, even another marker.
    bool takeNext = false;
    while (!stream.atEnd()) {
        const QStringList fields = stream.readLine().split(' ', Qt::KeepEmptyParts);
        if (takeNext) {
            takeNext = false;
            // A taken line too short for its value is left out rather than read past its
            // end; it does not move the running start either.
            if (fields.size() <= valueField)
                continue;
            entries->append({ runningStart, left, fields[valueField].toFloat() });
            runningStart += fields[kIntervalField].toInt();
        } else if (fields.first().contains(QLatin1Char('F'))) {
            takeNext = true;
        }
    }
}

StimulusEventBlender::Error StimulusEventBlender::read()
{
    entries.clear();
    detail.clear();
    // A video or any other binary file given by mistake would be read as lines of garbage.
    for (const auto &[path, error] :
        { std::pair { leftPath, Error::LeftUnreadable }, { rightPath, Error::RightUnreadable } }) {
        const QString problem = InputFile::textProblem(path);
        if (!problem.isEmpty()) {
            detail = path + QStringLiteral(": ") + problem;
            return error;
        }
    }
    QFile leftFile(leftPath);
    if (!leftFile.open(QIODevice::ReadOnly | QIODevice::Text)) {
        detail = leftPath + QStringLiteral(": ") + leftFile.errorString();
        return Error::LeftUnreadable;
    }
    QFile rightFile(rightPath);
    if (!rightFile.open(QIODevice::ReadOnly | QIODevice::Text)) {
        detail = rightPath + QStringLiteral(": ") + rightFile.errorString();
        return Error::RightUnreadable;
    }

    QTextStream leftStream(&leftFile);
    readEntries(leftStream, true, &entries);
    leftFile.close();
    QTextStream rightStream(&rightFile);
    readEntries(rightStream, false, &entries);
    rightFile.close();
    return Error::None;
}

QString StimulusEventBlender::blended() const
{
    // Exchange sort by start time. Not stable: entries with equal starts may change order,
    // which is the order the table has always had.
    QList<Entry> sorted = entries;
    for (int a = 0; a < sorted.size(); ++a)
        for (int b = a + 1; b < sorted.size(); ++b)
            if (sorted[b].start < sorted[a].start)
                std::swap(sorted[a], sorted[b]);

    QString text;
    QTextStream out(&text);
    for (int k = 0; k < sorted.size(); ++k)
        out << (sorted[k].left ? "L" : "R") << k + 1 << '\t';
    out << '\n';
    for (const Entry &entry : sorted)
        out << entry.value << '\t';
    out.flush();
    return text;
}

StimulusEventBlender::Error StimulusEventBlender::write(
    const QString &name, const QString &text, QString *detail)
{
    QString reason;
    const AtomicFile::Outcome outcome = AtomicFile::write(
        name,
        [&text](QIODevice &device) {
            QTextStream out(&device);
            out << text;
            out.flush();
        },
        &reason);
    if (outcome == AtomicFile::Outcome::Written)
        return Error::None;
    if (detail)
        *detail
            = (name.isEmpty() ? QStringLiteral("(no name)") : name) + QStringLiteral(": ") + reason;
    return outcome == AtomicFile::Outcome::NotCreated ? Error::OutputUnwritable
                                                      : Error::OutputNotWritten;
}

StimulusEventBlender::Error StimulusEventBlender::run(
    const QString &leftPath, const QString &rightPath, const QString &outputName, QString *detail)
{
    StimulusEventBlender blender;
    Error error = blender.setLeftFile(leftPath);
    if (error == Error::None)
        error = blender.setRightFile(rightPath);
    if (error == Error::None)
        error = blender.read();
    if (error != Error::None) {
        if (detail)
            *detail = blender.detail;
        return error;
    }
    return write(outputName, blender.blended(), detail);
}
