#pragma once
// The whole-video background method over several arenas: one ArenaTracker per arena, fish
// numbered arena by arena (arena 1's fish first). Without arenas, the Tracking Area is the
// one arena and holds every fish. Tracker thread.

#include "model/Arena.h"
#include "tracking/blobs/ArenaTracker.h"

#include <QList>
#include <QPointF>
#include <QRect>

#include <vector>

class ArenaSet
{
public:
    // The regions to track: `arenas` clipped to `frame`, or the Tracking Area `area` with
    // `fishCount` fish when there are none.
    static std::vector<ArenaRegion> regions(
        const QList<Arena> &arenas, const QRect &area, int fishCount, const QRect &frame);

    void reset(const std::vector<ArenaRegion> &regions, const BlobParameters &parameters,
        ForegroundMask::Rule rule);

    // Every fish's result for one frame's grey plane, in fish order.
    std::vector<ArenaTracker::FishResult> track(const cv::Mat &grey, const cv::Mat &background);

    int fishCount() const { return int(arenaOfFish.size()); }
    // The user placed `fish` at `position`: its arena's matcher goes on from there (inside
    // the arena). Returns where the fish now stands.
    QPointF correct(int fish, QPointF position);
    // Where a fish stands before it is first found: the middle of its arena.
    QPointF restingPlace(int fish) const;
    // The arena trackers, and the number of the first fish of each.
    const std::vector<ArenaTracker> &trackers() const { return arenaTrackers; }
    int firstFish(int arena) const { return firstFishOf[size_t(arena)]; }

private:
    std::vector<ArenaTracker> arenaTrackers;
    std::vector<int> firstFishOf; // per arena
    std::vector<int> arenaOfFish; // per fish
};
