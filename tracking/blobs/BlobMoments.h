#pragma once
// Sums of the weighted moments of a set of pixels, and the blob they describe. Any thread.

#include "tracking/blobs/Blob.h"

class BlobMoments
{
public:
    void add(double x, double y, double weight)
    {
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
    // The centroid, orientation and length; the area is the pixel count.
    Blob blob() const;

private:
    double w = 0, wx = 0, wy = 0, wxx = 0, wxy = 0, wyy = 0;
    int pixels = 0;
};
