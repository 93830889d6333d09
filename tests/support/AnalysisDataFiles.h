#pragma once
// Hand-made tracking data files for the analysis tests, in the single-fish format the tracker
// writes: overlay captions with their value lines, the column line with the threshold, and
// one row per frame with every real written with eight decimals.

#include <QFile>
#include <QList>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <cmath>

namespace analysisfiles {

inline QString real(double v)
{
    return QString::number(float(v), 'f', 8);
}

class DataFileBuilder
{
public:
    // The Tracking Area, inclusive corners (0, 0, 639, 479 unless set).
    DataFileBuilder &area(int x1, int y1, int x2, int y2)
    {
        areaLine = QString("%1 %2 %3 %4").arg(x1).arg(y1).arg(x2 + 1).arg(y2 + 1);
        return *this;
    }
    DataFileBuilder &zone(const QString &name, int x1, int y1, int x2, int y2)
    {
        zones << name;
        zoneLines << name + " (x1, y1, x2, y2): "
                  << QString("%1 %2 %3 %4").arg(x1).arg(y1).arg(x2 + 1).arg(y2 + 1);
        return *this;
    }
    DataFileBuilder &ruler(const QString &name, int x1, int y1, int x2, int y2, double length)
    {
        rulers << name;
        rulerLines << name + " (x1, y1, x2, y2, length): "
                   << QString("%1 %2 %3 %4 %5").arg(x1).arg(y1).arg(x2).arg(y2).arg(real(length));
        return *this;
    }
    DataFileBuilder &pointDist(const QString &name, int cx, int cy, int rx, int ry, double length)
    {
        pointDists << name;
        pointLines << name + " (centrex, centrey, radx, rady, length): "
                   << QString("%1 %2 %3 %4 %5").arg(cx).arg(cy).arg(rx).arg(ry).arg(real(length));
        return *this;
    }
    // One frame. `overlays` holds the zone flags, then the ruler and point-distance measures,
    // in column order.
    DataFileBuilder &row(
        double seconds, int x, int y, bool confident, const QList<double> &overlays = {})
    {
        const double movement = rows.isEmpty() ? 0.0 : std::hypot(x - lastX, y - lastY);
        lastX = x;
        lastY = y;
        QStringList fields { real(seconds), QString::number(x), QString::number(y), real(movement),
            real(confident ? 41.5 : 12.25), confident ? "1" : "0" };
        for (int i = 0; i < overlays.size(); ++i)
            fields << (i < zones.size() ? QString::number(int(overlays[i])) : real(overlays[i]));
        rows << fields.join(' ');
        return *this;
    }
    // A line written as it is, after the rows so far.
    DataFileBuilder &rawRow(const QString &line)
    {
        rows << line;
        return *this;
    }

    QStringList lines() const
    {
        QStringList out { "Tracking area (x1, y1, x2, y2): ", areaLine };
        out << zoneLines << rulerLines << pointLines;
        QString columns = "Seconds FishX FishY FishMovement Confidence Confidence>" + real(30.0);
        for (const QString &name : zones + rulers + pointDists)
            columns += ' ' + name;
        out << columns << rows;
        return out;
    }

    QString write(const QString &path, const char *lineEnd = "\n") const
    {
        writeLines(path, lines(), lineEnd);
        return path;
    }

    static void writeLines(
        const QString &path, const QStringList &lines, const char *lineEnd = "\n")
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write %s", qPrintable(path));
        for (const QString &line : lines) {
            file.write(line.toUtf8());
            file.write(lineEnd);
        }
    }

private:
    QStringList zones, rulers, pointDists;
    QStringList zoneLines, rulerLines, pointLines;
    QStringList rows;
    QString areaLine = "0 0 640 480";
    int lastX = 0, lastY = 0;
};

// A square walked clockwise (on screen, y downwards) or anticlockwise: the fish jumps 40 px
// every fourth frame, so every span of four frames holds exactly one jump and the heading
// turns in one step at each corner. Two jumps per side, eight in all.
inline DataFileBuilder squareWalk(bool clockwise)
{
    const QList<QPoint> steps = clockwise
        ? QList<QPoint> { { 40, 0 }, { 40, 0 }, { 0, 40 }, { 0, 40 }, { -40, 0 }, { -40, 0 },
              { 0, -40 }, { 0, -40 } }
        : QList<QPoint> { { 40, 0 }, { 40, 0 }, { 0, -40 }, { 0, -40 }, { -40, 0 }, { -40, 0 },
              { 0, 40 }, { 0, 40 } };
    DataFileBuilder file;
    QPoint p(200, 200);
    int frame = 0;
    for (int jump = 0; jump <= steps.size(); ++jump) {
        for (int i = 0; i < 4; ++i, ++frame)
            file.row(frame * 0.04, p.x(), p.y(), true);
        if (jump < steps.size())
            p += steps[jump];
    }
    return file;
}

} // namespace analysisfiles
