#pragma once
// Where the fish spent their time: the Tracking Area cut into square bins, each holding the
// fraction of the tracked positions that fell in it (all bins of the area add up to the share
// of positions inside it). GUI-free; any thread.

#include "analysis/FishTracks.h"

#include <QRect>
#include <QVector>

class OccupancyGrid
{
public:
    // Counts the found positions of fish `fishIndex` (0-based), or of every fish when it is
    // negative. `binPixels` below 1 counts as 1; it is doubled as often as needed to keep the
    // grid within maximumCells.
    static OccupancyGrid compute(const FishTracks &tracks, int binPixels, int fishIndex = -1);

    static constexpr qint64 maximumCells = 4'000'000;

    QRect area; // the Tracking Area, inclusive pixels
    int bin = 1;
    int columns = 0;
    int rows = 0;
    int positions = 0; // positions counted, inside the area or not
    QVector<double> fractions; // row-major, columns * rows

    double at(int column, int row) const { return fractions[row * columns + column]; }
    // The pixels of a bin, clipped to the area.
    QRect cell(int column, int row) const;
    double largest() const;
};
