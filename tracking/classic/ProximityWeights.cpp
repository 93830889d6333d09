#include "tracking/classic/ProximityWeights.h"

#include <cfloat>
#include <cmath>

float ProximityWeights::weight(int dx, int dy, float diagonal, float variance)
{
    // With variance 0 the formula is 0 / 0 at zero offset; the fish's own position keeps the
    // full weight there, and every other offset gets the floor (exp(-inf) = 0).
    if (dx == 0 && dy == 0)
        return 1.0f;
    const float d = float(std::sqrt(double(dx) * dx + double(dy) * dy));
    const float r = d / diagonal;
    const double exponent = double(r) * double(r) / (double(variance) * -2.0);
    // Below e^-19 (5.6e-9) the term 0.75 e is under 2^-26, half a float step at 0.25: the
    // weight rounds to the floor itself, and the exp need not be taken.
    if (exponent < -19.0)
        return 0.25f;
    const double e = std::exp(exponent);
    return float(e * 0.75 + 0.25);
}

void ProximityWeights::build(int width, int height, float variance)
{
    w = std::max(0, width);
    h = std::max(0, height);
    const size_t span = w > 0 ? size_t(2 * w - 1) : 0;
    bySignedDx.assign(span * h, 0.0f);
    highestOfRows.assign(size_t(h), -FLT_MAX);
    allNonNegative = true;
    const float diagonal = float(std::sqrt(double(w) * w + double(h) * h));
    // Row by row of |dy|. The weight of (dx, dy) is that of (dy, dx), the same sum of squares:
    // where that offset's row came earlier, its weight is copied from there.
    for (int dy = 0; dy < h; ++dy) {
        float *row = bySignedDx.data() + size_t(dy) * span + (w - 1);
        for (int dx = 0; dx < w; ++dx) {
            const float value = dx < dy && dy < w ? bySignedDx[size_t(dx) * span + (w - 1) + dy]
                                                  : weight(dx, dy, diagonal, variance);
            row[dx] = row[-dx] = value;
        }
        // The row's highest weight and whether any is negative or not a number, for
        // the bound of the single-fish scan.
        float highest = -FLT_MAX;
        for (int dx = 0; dx < w; ++dx) {
            highest = std::max(highest, row[dx]);
            if (!(row[dx] >= 0.0f))
                allNonNegative = false;
        }
        highestOfRows[size_t(dy)] = highest;
    }
}
