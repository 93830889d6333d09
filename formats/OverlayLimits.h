#pragma once
// The range of overlay coordinates that can be meant. No video is anywhere near 2^24 pixels
// wide, and within that range every sum, difference, doubled radius and one-past-the-end
// coordinate the measures, the drawing and the data files take stays within int. Readers of
// user input (the command line, a data file's header) refuse anything beyond it.

#include "model/OverlayShapes.h"

#include <QString>

namespace overlaylimits {

constexpr int maxCoordinate = 1 << 24;

inline bool inRange(qint64 value)
{
    return value >= -maxCoordinate && value <= maxCoordinate;
}

// Why `set` cannot be meant, naming the first overlay with a coordinate out of range and the
// coordinate; empty when every coordinate is within range.
QString firstOutOfRange(const OverlaySet &set);

} // namespace overlaylimits
