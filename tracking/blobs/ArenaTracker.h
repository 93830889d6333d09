#pragma once
// Detection and identities inside one arena: its foreground against the background, its
// blobs, the split of blobs shared by touching fish, and the matching of its own fish. A run
// holds one per arena (ArenaSet), so arenas never trade fish. Tracker thread.

#include "model/Arena.h"
#include "tracking/blobs/BlobFinder.h"
#include "tracking/blobs/BlobSettings.h"
#include "tracking/blobs/ForegroundMask.h"
#include "tracking/blobs/IdentityMatcher.h"
#include "tracking/blobs/StationaryDebris.h"

#include <opencv2/core.hpp>

#include <QPointF>
#include <QRect>

#include <vector>

// An arena as the tracker sees it: its rectangle clipped to the frame and its pixel mask.
struct ArenaRegion
{
    QRect rect; // inside the frame
    cv::Mat mask; // rect-sized, nonzero inside the arena; empty: the whole rectangle
    int fishCount = 1;

    // The part of `arena` inside `frame`; an empty rect when none is.
    static ArenaRegion of(const Arena &arena, const QRect &frame);
};

class ArenaTracker
{
public:
    struct FishResult
    {
        QPointF position;
        bool found = false;
        float confidence = 0.0f; // the mean difference of its blob; 0 when not found
        // Tail to head in degrees, [0, 360), and the body's length: held while the fish is not
        // seen on a blob of its own; known false until it first is.
        float heading = 0.0f;
        float bodyLength = 0.0f;
        bool shapeKnown = false;
        // The area of its blob, the whole region when it shares one with other fish; 0 when
        // not found.
        float area = 0.0f;
    };

    // The parameters asked for, with the automatic ones taken from the sampled frames' grey
    // planes against the background, over all the arenas together (so an empty arena gets
    // the threshold and sizes its neighbours' fish set).
    static BlobParameters resolve(const BlobSettings &asked, const std::vector<ArenaRegion> &arenas,
        const std::vector<cv::Mat> &samples, const cv::Mat &background, ForegroundMask::Rule rule);

    // The sizes that follow from one body's area, p.typicalArea (0: unknown), and the limits
    // asked for: the area limits, the body's length and the maximum speed.
    static void fitBody(
        BlobParameters &p, const BlobSettings &asked, const std::vector<ArenaRegion> &arenas);

    void reset(
        const ArenaRegion &arena, const BlobParameters &parameters, ForegroundMask::Rule rule);

    // One frame's grey plane (the whole frame) against the background (the same size).
    std::vector<FishResult> track(const cv::Mat &grey, const cv::Mat &background);

    // The user placed the arena's fish `fish` at `position` (frame pixels); a place outside
    // the arena is moved to the nearest of its pixels on the way to its middle, since a fish
    // never leaves its arena. Returns where the fish now stands.
    QPointF correct(int fish, QPointF position);

    // The last frame's foreground (arena-sized) and blobs, with the fish of each blob (-1: none).
    const cv::Mat &lastMask() const { return mask; }
    const std::vector<Blob> &lastBlobs() const { return blobs; }
    const std::vector<int> &lastFishOfBlob() const { return fishOfBlob; }
    const ArenaRegion &arena() const { return area; }

private:
    // Splits blobs shared by touching fish while fewer blobs than fish are seen.
    void splitTouching();

    ArenaRegion area;
    cv::Mat outside; // nonzero outside the arena's mask; empty when it has none
    BlobParameters parameters;
    ForegroundMask::Rule rule = ForegroundMask::Rule::Absolute;
    BlobFinder finder;
    IdentityMatcher matcher;
    StationaryDebris specks;
    cv::Mat difference, mask;
    std::vector<Blob> blobs;
    std::vector<int> fishOfBlob;
};
