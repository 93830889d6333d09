#include "tracking/blobs/SmallBlobFilter.h"

#include <algorithm>

int SmallBlobFilter::drop(std::vector<Blob> &blobs, int animals, double typicalArea)
{
    int dropped = 0;
    while (typicalArea > 0 && int(blobs.size()) > animals) {
        const auto smallest = std::min_element(blobs.begin(), blobs.end(),
            [](const Blob &a, const Blob &b) { return a.area < b.area; });
        if (smallest->area >= 0.5 * typicalArea)
            break;
        blobs.erase(smallest);
        ++dropped;
    }
    return dropped;
}
