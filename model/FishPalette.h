#pragma once
// One colour per fish index, the same in the window, the annotated export, trajectories and
// plots, so fish 3 is the same colour wherever a user meets it. The first ten colours are a
// fixed qualitative set that stays distinct on light and dark water; later indices step the
// hue by the golden angle so neighbours never look alike. GUI-free; safe on any thread.

#include <QColor>

#include <array>
#include <cmath>

namespace FishPalette {

inline QColor colour(int fishIndex)
{
    static const std::array<QRgb, 10> fixed = {
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
    };
    if (fishIndex < 0)
        fishIndex = 0;
    if (fishIndex < int(fixed.size()))
        return QColor::fromRgb(fixed[size_t(fishIndex)]);
    const double hue = std::fmod(fishIndex * 137.50776405, 360.0);
    const int value = 255 - 40 * (fishIndex % 3);
    return QColor::fromHsv(int(hue), 200, value);
}

} // namespace FishPalette
