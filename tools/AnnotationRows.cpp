#include "tools/AnnotationRows.h"

#include "files/InputFile.h"
#include "formats/TrackingDataFile.h"

#include <QFile>
#include <QTextStream>

#include <algorithm>

QString AnnotationRows::message(Error error)
{
    switch (error) {
    case Error::None:
        break;
    case Error::Missing:
        return QStringLiteral("Can't load video file.");
    case Error::Unreadable:
        return QStringLiteral("Can't open video file.");
    }
    return QString();
}

AnnotationRows::Error AnnotationRows::read(const QString &path)
{
    times.clear();
    xs.clear();
    ys.clear();
    found.clear();
    fishPositions.clear();
    fishFound.clear();
    detail.clear();

    if (!QFile::exists(path)) {
        detail = path + QStringLiteral(": not found");
        return Error::Missing;
    }
    // A video or any other binary file given by mistake would be read as lines of garbage.
    const QString problem = InputFile::textProblem(path);
    if (!problem.isEmpty()) {
        detail = path + QStringLiteral(": ") + problem;
        return Error::Unreadable;
    }
    // Every line is read, the last one too when it lacks its newline: a row short of columns
    // still gives its time, position and found flag.
    QFile file(path);
    // Text mode turns CR LF into LF, so files written on Windows read the same.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        detail = path + QStringLiteral(": ") + file.errorString();
        return Error::Unreadable;
    }
    QTextStream in(&file);

    auto fields
        = [](const QString &line) { return line.split(QLatin1Char(' '), Qt::SkipEmptyParts); };

    // A multi-fish file starts "NumFish: " and the fish count; its column header line starts
    // with "Time".
    int fishCount = 0;
    bool inHeader = true;
    bool firstLine = true;
    qint64 lineNumber = 0;
    while (inHeader && !in.atEnd()) {
        const QStringList f = fields(in.readLine());
        ++lineNumber;
        if (firstLine && f.value(0) == QLatin1String("NumFish:") && !in.atEnd()) {
            fishCount = std::max(0, fields(in.readLine()).value(0).toInt());
            ++lineNumber;
        }
        firstLine = false;
        const QString first = f.value(0);
        inHeader = first != QLatin1String("Seconds")
            && !(fishCount > 0 && first == QLatin1String("Time"));
    }
    if (inHeader) {
        detail = path
            + QStringLiteral(": no column header line (\"Seconds ...\" or \"Time ...\"), so no "
                             "row to draw");
        return Error::None;
    }

    while (!in.atEnd()) {
        const QStringList f = fields(in.readLine());
        ++lineNumber;
        QList<int> placeColumns { 0, 1, 2 };
        if (fishCount > 0) {
            const int width = std::max(4, int(f.size() - 1) / fishCount);
            placeColumns = { 0 };
            for (int k = 0; k < fishCount; ++k)
                placeColumns << 1 + k * width + 2 << 1 + k * width + 3;
        }
        const QString nonFinite = TrackingDataFile::nonFiniteField(f, placeColumns, lineNumber);
        if (!nonFinite.isEmpty()) {
            detail = path + QStringLiteral(": ") + nonFinite;
            return Error::Unreadable;
        }
        if (fishCount > 0) {
            // Time, then one block per fish that starts with its flag, confidence, x and y;
            // the blocks are as wide as the overlays make them, and labels may hold spaces,
            // so their width is taken from the row.
            const int block = (f.size() - 1) / fishCount;
            if (block < 4)
                continue;
            QVector<QPointF> positions;
            QVector<bool> flags;
            for (int k = 0; k < fishCount; ++k) {
                const int at = 1 + k * block;
                flags << (f[at].toInt() == 1);
                positions << QPointF(f[at + 2].toFloat(), f[at + 3].toFloat());
            }
            times << f[0].toFloat();
            xs << float(positions[0].x());
            ys << float(positions[0].y());
            found << flags[0];
            fishPositions << positions;
            fishFound << flags;
            continue;
        }
        // A row needs the time, the position and the found flag in column 5; anything
        // shorter (an empty last line, a line cut off) is passed over.
        if (f.size() < 6)
            continue;
        times << f[0].toFloat();
        xs << f[1].toFloat();
        ys << f[2].toFloat();
        found << (f[5].toInt() == 1);
    }
    return Error::None;
}
