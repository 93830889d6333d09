#include "analysis/OccupancyGrid.h"

#include <algorithm>
#include <climits>

OccupancyGrid OccupancyGrid::compute(const FishTracks &tracks, int binPixels, int fishIndex)
{
    OccupancyGrid grid;
    grid.area = tracks.overlays.areas.value(0);
    grid.bin = std::max(1, binPixels);
    if (grid.area.isEmpty())
        return grid;
    // A file's area may be far larger than any frame: the bins grow until the grid stays small.
    const qint64 width = qint64(grid.area.right()) - grid.area.left() + 1;
    const qint64 height = qint64(grid.area.bottom()) - grid.area.top() + 1;
    const auto cells
        = [&](qint64 bin) { return ((width + bin - 1) / bin) * ((height + bin - 1) / bin); };
    while (cells(grid.bin) > maximumCells)
        grid.bin *= 2;
    grid.columns = int((width + grid.bin - 1) / grid.bin);
    grid.rows = int((height + grid.bin - 1) / grid.bin);
    QVector<qint64> counts(grid.columns * grid.rows, 0);
    for (int f = 0; f < tracks.fish.size(); ++f) {
        if (fishIndex >= 0 && f != fishIndex)
            continue;
        const FishTrack &track = tracks.fish[f];
        for (int i = 0; i < track.xs.size(); ++i) {
            if (!track.found[i])
                continue;
            ++grid.positions;
            if (!areaContains(grid.area, track.xs[i], track.ys[i]))
                continue;
            const int c = int((qint64(track.xs[i]) - grid.area.left()) / grid.bin);
            const int r = int((qint64(track.ys[i]) - grid.area.top()) / grid.bin);
            ++counts[r * grid.columns + c];
        }
    }
    grid.fractions.resize(counts.size());
    for (int i = 0; i < counts.size(); ++i)
        grid.fractions[i] = grid.positions > 0 ? double(counts[i]) / grid.positions : 0.0;
    return grid;
}

QRect OccupancyGrid::cell(int column, int row) const
{
    const auto clamp = [](qint64 v) { return int(std::clamp<qint64>(v, INT_MIN, INT_MAX)); };
    const qint64 left = qint64(area.left()) + qint64(column) * bin;
    const qint64 top = qint64(area.top()) + qint64(row) * bin;
    const QRect corners(QPoint(clamp(left), clamp(top)),
        QPoint(clamp(std::min<qint64>(left + bin - 1, area.right())),
            clamp(std::min<qint64>(top + bin - 1, area.bottom()))));
    return corners;
}

double OccupancyGrid::largest() const
{
    return fractions.isEmpty() ? 0.0 : *std::max_element(fractions.begin(), fractions.end());
}
