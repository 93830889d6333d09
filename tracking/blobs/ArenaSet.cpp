#include "tracking/blobs/ArenaSet.h"

std::vector<ArenaRegion> ArenaSet::regions(
    const QList<Arena> &arenas, const QRect &area, int fishCount, const QRect &frame)
{
    std::vector<ArenaRegion> result;
    if (arenas.isEmpty()) {
        Arena whole;
        whole.rect = area;
        whole.fishCount = fishCount;
        result.push_back(ArenaRegion::of(whole, frame));
    }
    for (const Arena &arena : arenas)
        result.push_back(ArenaRegion::of(arena, frame));
    return result;
}

void ArenaSet::reset(const std::vector<ArenaRegion> &regions, const BlobParameters &parameters,
    ForegroundMask::Rule rule)
{
    arenaTrackers.assign(regions.size(), ArenaTracker());
    firstFishOf.clear();
    arenaOfFish.clear();
    for (size_t a = 0; a < regions.size(); ++a) {
        arenaTrackers[a].reset(regions[a], parameters, rule);
        firstFishOf.push_back(int(arenaOfFish.size()));
        for (int f = 0; f < regions[a].fishCount; ++f)
            arenaOfFish.push_back(int(a));
    }
}

std::vector<ArenaTracker::FishResult> ArenaSet::track(
    const cv::Mat &grey, const cv::Mat &background)
{
    std::vector<ArenaTracker::FishResult> all;
    all.reserve(arenaOfFish.size());
    for (ArenaTracker &tracker : arenaTrackers) {
        const ArenaRegion &region = tracker.arena();
        if (region.fishCount <= 0)
            continue;
        if (region.rect.isEmpty()) {
            // An arena outside the frame: its fish are never found.
            all.resize(all.size() + size_t(region.fishCount));
            continue;
        }
        const std::vector<ArenaTracker::FishResult> fish = tracker.track(grey, background);
        all.insert(all.end(), fish.begin(), fish.end());
    }
    return all;
}

QPointF ArenaSet::restingPlace(int fish) const
{
    const QRect r = arenaTrackers[size_t(arenaOfFish[size_t(fish)])].arena().rect;
    return QPointF(r.left() + r.width() / 2, r.top() + r.height() / 2);
}

QPointF ArenaSet::correct(int fish, QPointF position)
{
    if (fish < 0 || fish >= fishCount())
        return position;
    const int arena = arenaOfFish[size_t(fish)];
    return arenaTrackers[size_t(arena)].correct(fish - firstFishOf[size_t(arena)], position);
}
