#include "analysis/PlateMeasures.h"

#include "analysis/TrackTable.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double none = std::numeric_limits<double>::quiet_NaN();

QByteArray number(double value, int decimals)
{
    return std::isfinite(value) ? QByteArray::number(value, 'f', decimals) : QByteArray();
}

QByteArray csvField(const QString &text)
{
    QByteArray field = text.toUtf8();
    if (!field.contains(',') && !field.contains('"') && !field.contains('\n'))
        return field;
    field.replace("\"", "\"\"");
    return '"' + field + '"';
}

bool anyRound(const TrackTable &table)
{
    return std::any_of(table.overlays.arenas.begin(), table.overlays.arenas.end(),
        [](const Arena &a) { return a.shape == Arena::Shape::Ellipse; });
}

} // namespace

namespace PlateMeasures {

qint64 rowCount(const TrackTable &table, const MeasureSettings &settings)
{
    if (table.times.isEmpty())
        return 0;
    // In doubles: a file's times and a bin may be anything.
    const double bins = settings.binSeconds > 0.0
        ? std::floor(double(table.times.last()) / settings.binSeconds)
            - std::floor(double(table.times.first()) / settings.binSeconds) + 1.0
        : 1.0;
    const double rows = std::max(1.0, bins) * double(table.fish.size());
    return rows > double(maxRows) ? maxRows + 1 : qint64(rows);
}

QVector<MeasureRow> compute(const TrackTable &table, const MeasureSettings &settings)
{
    QVector<MeasureRow> out;
    const int rowCount = int(table.times.size());
    if (rowCount == 0 || PlateMeasures::rowCount(table, settings) > maxRows)
        return out;
    const double dt = table.framePeriod();
    const double bin = settings.binSeconds;
    const auto binOf = [&](int row) {
        return bin > 0.0 ? qint64(std::floor(double(table.times[row]) / bin)) : qint64(0);
    };
    const qint64 firstBin = binOf(0);
    const qint64 binCount = std::max<qint64>(1, binOf(rowCount - 1) - firstBin + 1);
    const QStringList wells = table.wellNames();
    const int zoneCount = int(table.zoneNames.size());
    // Mobility looks one second back; the threshold is a length per second in the unit.
    const int back = dt > 0.0 ? std::max(1, int(std::lround(1.0 / dt))) : 1;
    const double threshold = settings.immobileBelow >= 0.0
        ? settings.immobileBelow
        : table.scale.length(settings.minMovePixels);

    for (int k = 0; k < table.fish.size(); ++k) {
        const TrackTable::Fish &fish = table.fish[k];
        const int arenaIndex = table.arenaOfFish.value(k, -1);
        const Arena *arena = arenaIndex >= 0 ? &table.overlays.arenas[arenaIndex] : nullptr;
        const bool round = arena && arena->shape == Arena::Shape::Ellipse;
        QVector<MeasureRow> bins(static_cast<int>(binCount));
        for (int b = 0; b < binCount; ++b) {
            MeasureRow &row = bins[b];
            row.fish = k + 1;
            row.arena = arenaIndex + 1;
            row.well = wells.value(arenaIndex);
            row.start = bin > 0.0 ? double(firstBin + b) * bin : double(table.times[0]);
            row.end = bin > 0.0 ? row.start + bin : double(table.times.last()) + dt;
            row.zoneSeconds.fill(0.0, zoneCount);
            row.zoneEntries.fill(0, zoneCount);
            row.zoneLatency.fill(none, zoneCount);
            row.round = round;
        }
        double cumulative = 0.0; // pixels kept so far
        QVector<double> cumulativeAt(rowCount, 0.0);
        bool anchored = false;
        double anchorX = 0.0, anchorY = 0.0;
        QVector<bool> wasIn(zoneCount, false);
        for (int i = 0; i < rowCount; ++i) {
            MeasureRow &row = bins[int(binOf(i) - firstBin)];
            if (!fish.found[i]) {
                cumulativeAt[i] = cumulative;
                ++row.rowsNotFound;
                continue;
            }
            ++row.rows;
            const double x = double(fish.x[i]), y = double(fish.y[i]);
            if (!anchored) {
                anchored = true;
                anchorX = x, anchorY = y;
            } else {
                const double step = std::hypot(x - anchorX, y - anchorY);
                if (step >= settings.minMovePixels) {
                    cumulative += step;
                    row.distance += table.scale.length(step);
                    anchorX = x, anchorY = y;
                }
            }
            cumulativeAt[i] = cumulative;
            const int from = std::max(0, i - back);
            const double span = double(i - from) * dt;
            const double speed
                = span > 0.0 ? table.scale.length(cumulative - cumulativeAt[from]) / span : 0.0;
            (i > 0 && speed >= threshold && speed > 0.0 ? row.mobile : row.immobile) += dt;
            for (int z = 0; z < zoneCount; ++z) {
                const bool in = fish.zones[i * zoneCount + z] != 0;
                if (in) {
                    row.zoneSeconds[z] += dt;
                    if (!wasIn[z])
                        ++row.zoneEntries[z];
                    if (std::isnan(row.zoneLatency[z]))
                        row.zoneLatency[z] = std::max(0.0, double(table.times[i]) - row.start);
                }
                wasIn[z] = in;
            }
            if (round) {
                // The wall band: the outer share of the radius, from the centre of the
                // ellipse through the arena's outer pixel edges.
                const QRect &r = arena->rect;
                const double rx = r.width() / 2.0, ry = r.height() / 2.0;
                const double cx = r.left() + rx - 0.5, cy = r.top() + ry - 0.5;
                const double rho = std::hypot((x - cx) / rx, (y - cy) / ry);
                (rho > 1.0 - settings.wallBand ? row.wall : row.centre) += dt;
            }
        }
        for (MeasureRow &row : bins) {
            const double seconds = row.rows * dt;
            row.meanSpeed = seconds > 0.0 ? row.distance / seconds : none;
        }
        out << bins;
    }
    return out;
}

QStringList columnNames(const TrackTable &table)
{
    QStringList names = QStringLiteral("fish,arena,well,start_s,end_s,distance,unit,mean_speed,"
                                       "mobile_s,immobile_s")
                            .split(QLatin1Char(','));
    for (const QString &zone : table.zoneNames)
        names << zone + QStringLiteral("_s") << zone + QStringLiteral("_entries")
              << zone + QStringLiteral("_latency_s");
    if (anyRound(table))
        names << QStringLiteral("wall_s") << QStringLiteral("centre_s");
    names << QStringLiteral("rows") << QStringLiteral("rows_not_found");
    return names;
}

QByteArray csv(const TrackTable &table, const QVector<MeasureRow> &rows)
{
    QByteArray out;
    QByteArrayList header;
    for (const QString &name : columnNames(table))
        header << csvField(name);
    out += header.join(',') + '\n';
    const QByteArray unit = table.scale.lengthUnit().toLatin1();
    const bool wallColumns = anyRound(table);
    for (const MeasureRow &row : rows) {
        QByteArrayList f { QByteArray::number(row.fish),
            row.arena > 0 ? QByteArray::number(row.arena) : QByteArray(), csvField(row.well),
            number(row.start, 3), number(row.end, 3), number(row.distance, 4), unit,
            number(row.meanSpeed, 4), number(row.mobile, 3), number(row.immobile, 3) };
        for (int z = 0; z < row.zoneSeconds.size(); ++z)
            f << number(row.zoneSeconds[z], 3) << QByteArray::number(row.zoneEntries[z])
              << number(row.zoneLatency[z], 3);
        if (wallColumns)
            f << (row.round ? number(row.wall, 3) : QByteArray())
              << (row.round ? number(row.centre, 3) : QByteArray());
        f << QByteArray::number(row.rows) << QByteArray::number(row.rowsNotFound);
        out += f.join(',') + '\n';
    }
    return out;
}

} // namespace PlateMeasures
