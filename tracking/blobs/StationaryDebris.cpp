#include "tracking/blobs/StationaryDebris.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// At most this many places are remembered; the least recently seen goes first, a learned
// speck (no longer seen here, as it is dropped before matching) last.
constexpr size_t maxSpots = 64;
// A still blob's centroid wanders by compression noise only.
constexpr double stillReach = 1.5;

} // namespace

void StationaryDebris::reset(double bodyLength)
{
    spots.clear();
    body = bodyLength;
    frame = 0;
}

bool StationaryDebris::onSpot(const Blob &blob, const Spot &spot) const
{
    return std::hypot(blob.centre.x() - spot.x, blob.centre.y() - spot.y) <= stillReach
        && blob.area <= 1.5 * spot.area + 4 && blob.area >= spot.area / 1.5 - 4;
}

int StationaryDebris::drop(std::vector<Blob> &blobs) const
{
    const auto speck = [this](const Blob &b) {
        return std::any_of(spots.begin(), spots.end(),
            [&](const Spot &s) { return s.frames >= framesToLearn && onSpot(b, s); });
    };
    const size_t before = blobs.size();
    blobs.erase(std::remove_if(blobs.begin(), blobs.end(), speck), blobs.end());
    return int(before - blobs.size());
}

void StationaryDebris::learn(const std::vector<Blob> &blobs, const std::vector<int> &blobOf)
{
    ++frame;
    if (blobOf.empty() || std::find(blobOf.begin(), blobOf.end(), -1) != blobOf.end())
        return; // an animal not seen: a blob left over may be it
    for (size_t k = 0; k < blobs.size(); ++k) {
        const Blob &b = blobs[k];
        bool claimed = false, elsewhere = true;
        for (int owned : blobOf) {
            claimed = claimed || owned == int(k);
            const QPointF d = blobs[size_t(owned)].centre - b.centre;
            elsewhere = elsewhere && std::hypot(d.x(), d.y()) > body;
        }
        if (claimed || !elsewhere || b.split)
            continue;
        auto spot
            = std::find_if(spots.begin(), spots.end(), [&](const Spot &s) { return onSpot(b, s); });
        if (spot == spots.end()) {
            if (spots.size() == maxSpots)
                spots.erase(
                    std::min_element(spots.begin(), spots.end(), [](const Spot &a, const Spot &c) {
                        return std::make_pair(a.frames >= framesToLearn, a.lastFrame)
                            < std::make_pair(c.frames >= framesToLearn, c.lastFrame);
                    }));
            spots.push_back({ b.centre.x(), b.centre.y(), b.area, 0, 0 });
            spot = spots.end() - 1;
        }
        if (spot->lastFrame != frame)
            ++spot->frames;
        spot->lastFrame = frame;
    }
}
