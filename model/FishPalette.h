#pragma once
// One colour per fish index, the same in the window, the annotated export, trajectories and
// plots, so fish 3 is the same colour wherever a user meets it. Twenty colours chosen to be
// told apart (the first ten stay distinct on light and dark water); past twenty the colours
// come round again with another marker shape, so that up to 200 fish each have their own
// colour and shape. GUI-free; safe on any thread.

#include <QColor>

#include <array>

namespace FishPalette {

constexpr int colourCount = 20;

inline QColor colour(int fishIndex)
{
    static const std::array<QRgb, colourCount> fixed = {
        0xffe6194b, // red
        0xff3cb44b, // green
        0xff4363d8, // blue
        0xfff58231, // orange
        0xff911eb4, // purple
        0xff42d4f4, // cyan
        0xfff032e6, // magenta
        0xffbfef45, // lime
        0xffffe119, // yellow
        0xff9a6324, // brown
        0xff469990, // teal
        0xfffabed4, // pink
        0xffdcbeff, // lavender
        0xff800000, // maroon
        0xffaaffc3, // mint
        0xff808000, // olive
        0xffffd8b1, // apricot
        0xff000075, // navy
        0xffffffff, // white
        0xffa9a9a9, // grey
    };
    if (fishIndex < 0)
        fishIndex = 0;
    return QColor::fromRgb(fixed[size_t(fishIndex % colourCount)]);
}

// The marker's shape: squares for the first twenty fish, then one shape per round of colours.
enum class Marker {
    Square,
    Circle,
    Diamond,
    TriangleUp,
    TriangleDown,
    Plus,
    Cross,
    Hexagon,
    Star,
    SquareDot
};
constexpr int markerCount = 10;

inline Marker marker(int fishIndex)
{
    if (fishIndex < 0)
        fishIndex = 0;
    return Marker((fishIndex / colourCount) % markerCount);
}

} // namespace FishPalette
