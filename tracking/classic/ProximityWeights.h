#pragma once
// The Gaussian proximity weights of single-fish detection, tabulated once per run by the
// absolute offsets (|dx|, |dy|) from the reference position, relative to the area diagonal.
// The weight is 1 at zero offset and falls towards its floor 0.25 far away.

#include <algorithm>
#include <vector>

class ProximityWeights
{
public:
    // W columns of H weights for a W x H Tracking Area and the run's Gaussian variance.
    void build(int width, int height, float variance);

    // The weights of offset |dy| for the signed offsets dx = -(W-1) ... W-1, stored at
    // [dx + W - 1], so that a row of the area reads its weights as one contiguous run. An
    // offset beyond the table (a reference position outside the Tracking Area, which only a
    // manual correction can give) uses the table's last row, as columnIndex does for |dx|.
    const float *signedRow(int absDy) const
    {
        return bySignedDx.data() + size_t(row(absDy)) * size_t(2 * w - 1) + (w - 1);
    }
    int row(int absDy) const { return std::min(absDy, h - 1); }
    int columnIndex(int absDx) const { return std::min(absDx, w - 1); }
    float at(int absDx, int absDy) const { return signedRow(absDy)[columnIndex(absDx)]; }

    // The highest weight of offset |dy| (clamped as row() does), and whether every weight is
    // a number not below 0.
    float highestOfRow(int absDy) const { return highestOfRows[size_t(row(absDy))]; }
    bool nonNegative() const { return allNonNegative; }

    static float weight(int dx, int dy, float diagonal, float variance);

private:
    int w = 0, h = 0;
    std::vector<float> bySignedDx; // index dy * (2W - 1) + dx + W - 1
    std::vector<float> highestOfRows; // by |dy|
    bool allNonNegative = true;
};
