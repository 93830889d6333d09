#include "analysis/OccupancyGrid.h"

#include <algorithm>

OccupancyGrid OccupancyGrid::compute(const FishTracks &tracks, int binPixels, int fishIndex)
{
    OccupancyGrid grid;
    grid.area = tracks.overlays.areas.value(0);
    grid.bin = std::max(1, binPixels);
    if (grid.area.isEmpty())
        return grid;
    grid.columns = (grid.area.width() + grid.bin - 1) / grid.bin;
    grid.rows = (grid.area.height() + grid.bin - 1) / grid.bin;
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
            const int c = (track.xs[i] - grid.area.left()) / grid.bin;
            const int r = (track.ys[i] - grid.area.top()) / grid.bin;
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
    return QRect(area.left() + column * bin, area.top() + row * bin, bin, bin).intersected(area);
}

double OccupancyGrid::largest() const
{
    return fractions.isEmpty() ? 0.0 : *std::max_element(fractions.begin(), fractions.end());
}
