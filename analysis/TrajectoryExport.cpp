#include "analysis/TrajectoryExport.h"

#include "analysis/TrackTable.h"

#include <QtMath>

#include <cmath>

namespace {

QByteArray fixed(double value, int decimals)
{
    return std::isfinite(value) ? QByteArray::number(value, 'f', decimals) : QByteArray();
}

} // namespace

namespace TrajectoryExport {

bool formatFromName(const QString &name, Format *format)
{
    if (name == QLatin1String("tidy"))
        *format = Format::Tidy;
    else if (name == QLatin1String("dlc"))
        *format = Format::DeepLabCut;
    else
        return false;
    return true;
}

QByteArray tidy(const TrackTable &table)
{
    const bool scaled = table.scale.isSet();
    QByteArray out = "frame,time_s,fish,arena,found,x_px,y_px,heading_deg";
    if (scaled) {
        const QByteArray unit = table.scale.unit.toLatin1();
        out += ",x_" + unit + ",y_" + unit;
    }
    out += '\n';
    for (int row = 0; row < table.times.size(); ++row) {
        const QByteArray lead = QByteArray::number(table.frameOf(row)) + ','
            + fixed(double(table.times[row]), 6) + ',';
        for (int k = 0; k < table.fish.size(); ++k) {
            const TrackTable::Fish &fish = table.fish[k];
            const bool found = fish.found[row];
            out += lead + QByteArray::number(k + 1) + ',';
            if (k < table.arenaOfFish.size())
                out += QByteArray::number(table.arenaOfFish[k] + 1);
            out += found ? ",1," : ",0,";
            if (found) {
                out += fixed(double(fish.x[row]), 3) + ',' + fixed(double(fish.y[row]), 3) + ','
                    + (fish.heading.isEmpty() ? QByteArray() : fixed(double(fish.heading[row]), 2));
                if (scaled)
                    out += ',' + fixed(table.scale.length(double(fish.x[row])), 4) + ','
                        + fixed(table.scale.length(double(fish.y[row])), 4);
            } else {
                out += scaled ? ",,,," : ",,";
            }
            out += '\n';
        }
    }
    return out;
}

QByteArray deepLabCut(const TrackTable &table)
{
    // Head and tail need both the direction and the length of the body.
    const bool ends = table.hasHeading && table.hasBodyLength;
    const QList<QByteArray> parts = ends ? QList<QByteArray> { "centroid", "head", "tail" }
                                         : QList<QByteArray> { "centroid" };
    QByteArray scorer = "scorer", individuals = "individuals", bodyparts = "bodyparts",
               coords = "coords";
    for (int k = 0; k < table.fish.size(); ++k) {
        for (const QByteArray &part : parts) {
            for (const char *coord : { "x", "y", "likelihood" }) {
                scorer += ",pondwatch";
                individuals += ",fish" + QByteArray::number(k + 1);
                bodyparts += ',' + part;
                coords += ',';
                coords += coord;
            }
        }
    }
    QByteArray out = scorer + '\n' + individuals + '\n' + bodyparts + '\n' + coords + '\n';
    const auto point = [&out](bool known, double x, double y) {
        if (known && std::isfinite(x) && std::isfinite(y))
            out += ',' + fixed(x, 3) + ',' + fixed(y, 3) + ",1.0";
        else
            out += ",,,";
    };
    for (int row = 0; row < table.times.size(); ++row) {
        out += QByteArray::number(table.frameOf(row));
        for (const TrackTable::Fish &fish : table.fish) {
            const bool found = fish.found[row];
            const double x = double(fish.x[row]), y = double(fish.y[row]);
            point(found, x, y);
            if (!ends)
                continue;
            // The head lies half a body length along the heading, the tail as far behind.
            const double heading = qDegreesToRadians(double(fish.heading[row]));
            const double half = double(fish.bodyLength[row]) / 2.0;
            const double dx = half * std::cos(heading), dy = half * std::sin(heading);
            point(found, x + dx, y + dy);
            point(found, x - dx, y - dy);
        }
        out += '\n';
    }
    return out;
}

} // namespace TrajectoryExport
