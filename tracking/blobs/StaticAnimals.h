#pragma once
// Animals that never move are in every sample, so every temporal background holds them. They
// are found against a spatial background instead: the background picture's median over a
// window twice a body long, in which a body is a minority of the pixels. Animal-sized blobs
// of the animals' polarity against it are the animals; the background takes the spatial
// values under them, so each frame's difference shows them as any other. Searched only in
// an arena whose sampled frames show fewer animals than it holds, for the missing ones, and
// only once a body size is known: learned from animals seen in the sampled frames, or, when
// none moves, from the strongest still candidates themselves (guessBody). Tracker thread.

#include "tracking/blobs/ArenaTracker.h"

#include <opencv2/core.hpp>

#include <vector>

class StaticAnimals
{
public:
    // How many animals each sample shows in `region` against `background` (blobs within the
    // area limits), the median over the samples.
    static int seenInSamples(const std::vector<cv::Mat> &samples, const cv::Mat &background,
        const ArenaRegion &region, const BlobParameters &p, ForegroundMask::Rule rule);

    // When no animal was seen moving: one animal's area, the median area of the strongest
    // blobs of the animals' polarity (as many per region as it holds) against a spatial
    // background a third of the region wide (0 when there are none), and the threshold that
    // sets them apart from the floor's texture (at least p.threshold).
    struct Body
    {
        double area = 0.0;
        int threshold = 0;
    };
    static Body guessBody(const cv::Mat &background, const std::vector<ArenaRegion> &regions,
        const BlobParameters &p, bool darkAnimals);

    // The `wanted` strongest animal-sized blobs of the animals' polarity in `region` of
    // `background` against its spatial background, and the background with them taken out.
    // Returns their centres (frame pixels).
    static std::vector<cv::Point2d> takeOut(cv::Mat &background, const ArenaRegion &region,
        const BlobParameters &p, bool darkAnimals, int wanted);
};
