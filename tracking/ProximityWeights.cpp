#include "tracking/ProximityWeights.h"

#include <cmath>

float ProximityWeights::weight(int dx, int dy, float diagonal, float variance)
{
    // With variance 0 the formula is 0 / 0 at zero offset; the fish's own position keeps the
    // full weight there, and every other offset gets the floor (exp(-inf) = 0).
    if (dx == 0 && dy == 0)
        return 1.0f;
    const float d = float(std::sqrt(double(dx) * dx + double(dy) * dy));
    const float r = d / diagonal;
    const double e = std::exp(double(r) * double(r) / (double(variance) * -2.0));
    return float(e * 0.75 + 0.25);
}

void ProximityWeights::build(int width, int height, float variance)
{
    w = std::max(0, width);
    h = std::max(0, height);
    table.assign(size_t(w) * h, 0.0f);
    const size_t span = w > 0 ? size_t(2 * w - 1) : 0;
    bySignedDx.assign(span * h, 0.0f);
    const float diagonal = float(std::sqrt(double(w) * w + double(h) * h));
    for (int dx = 0; dx < w; ++dx)
        for (int dy = 0; dy < h; ++dy)
            table[size_t(dx) * h + dy] = weight(dx, dy, diagonal, variance);
    for (int dy = 0; dy < h; ++dy) {
        float *row = bySignedDx.data() + dy * span + (w - 1);
        for (int dx = 0; dx < w; ++dx)
            row[dx] = row[-dx] = table[size_t(dx) * h + dy];
    }
}
