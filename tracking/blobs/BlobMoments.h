#pragma once
// Sums of the weighted moments of a set of pixels, and the blob they describe. Any thread.

#include "tracking/blobs/Blob.h"

class BlobMoments
{
public:
    void add(double x, double y, double weight)
    {
        if (pixels == 0) {
            ox = x;
            oy = y;
        }
        // The third moments from a pixel of the blob, so that the cubes stay small.
        const double X = x - ox, Y = y - oy;
        sx += weight * X;
        sy += weight * Y;
        sxx += weight * X * X;
        sxy += weight * X * Y;
        syy += weight * Y * Y;
        sxxx += weight * X * X * X;
        sxxy += weight * X * X * Y;
        sxyy += weight * X * Y * Y;
        syyy += weight * Y * Y * Y;
        w += weight;
        wx += weight * x;
        wy += weight * y;
        wxx += weight * x * x;
        wxy += weight * x * y;
        wyy += weight * y * y;
        ++pixels;
    }
    int pixelCount() const { return pixels; }
    double weight() const { return w; }
    // The centroid, orientation, length and skew; the area is the pixel count.
    Blob blob() const;

private:
    double w = 0, wx = 0, wy = 0, wxx = 0, wxy = 0, wyy = 0;
    double ox = 0, oy = 0;
    double sx = 0, sy = 0, sxx = 0, sxy = 0, syy = 0, sxxx = 0, sxxy = 0, sxyy = 0, syyy = 0;
    int pixels = 0;
};
