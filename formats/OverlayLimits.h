#pragma once
// The range of overlay coordinates that can be meant. No video is anywhere near 2^24 pixels
// wide, and within that range every sum, difference, doubled radius and one-past-the-end
// coordinate the measures, the drawing and the data files take stays within int. Readers of
// user input (the command line, a data file's header) refuse anything beyond it.

#include "model/OverlayShapes.h"

#include <QString>

#include <initializer_list>

namespace overlaylimits {

constexpr int maxCoordinate = 1 << 24;

inline bool inRange(qint64 value)
{
    return value >= -maxCoordinate && value <= maxCoordinate;
}

// Why `set` cannot be meant, naming the first overlay (arenas included) with a coordinate out
// of range and the coordinate; empty when every coordinate is within range.
QString firstOutOfRange(const OverlaySet &set);
// The same words for `what` ("--arena 1,2,3,4") with the coordinates it has, taken wide so
// that corners worked out from a centre and a radius are checked before they can wrap.
QString outOfRange(const QString &what, std::initializer_list<qint64> values);

} // namespace overlaylimits
