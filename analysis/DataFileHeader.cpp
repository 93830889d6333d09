#include "analysis/DataFileHeader.h"

#include <QFile>
#include <QTextStream>

bool DataFileHeader::isMeasurableName(const QString &field)
{
    // Overlay labels begin with their kind, then a number and the user's text; only the kind
    // is compared, case-sensitively. An arena's zone is "Arena" and its number.
    static const char *const prefixes[]
        = { "Zone", "Ruler", "PointDist", "LineDist", "ShoalAvgDist", "Arena" };
    for (const char *prefix : prefixes) {
        if (field.startsWith(QLatin1String(prefix)))
            return true;
    }
    return false;
}

QStringList DataFileHeader::splitLine(const QString &line)
{
    return line.split(QLatin1Char(' '), Qt::KeepEmptyParts);
}

bool DataFileHeader::read(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;

    measurableNames.clear();
    rulerNames.clear();
    // Every line is looked at; header value lines, the column line and data rows begin with a
    // number, "Seconds" or "Tracking", so they never qualify.
    QTextStream in(&file);
    multiFish = false;
    for (bool firstLine = true; !in.atEnd(); firstLine = false) {
        const QString line = in.readLine();
        if (firstLine)
            multiFish = line.startsWith(QLatin1String("NumFish: "));
        const QString first = splitLine(line).first();
        if (!isMeasurableName(first))
            continue;
        measurableNames.append(first);
        if (first.startsWith(QLatin1String("Ruler")))
            rulerNames.append(first);
    }
    return true;
}

QStringList DataFileHeader::variablesFor(const QStringList &measurableNames, bool multiFish)
{
    QStringList names { QStringLiteral("Speed"), QStringLiteral("RelativeTurnAngle"),
        QStringLiteral("AbsoluteTurnAngle") };
    names << measurableNames;
    // Several fish give the shoal's mean distance, which no column holds.
    if (multiFish && !measurableNames.contains(QStringLiteral("ShoalAvgDist")))
        names << QStringLiteral("ShoalAvgDist");
    return names;
}
