#pragma once
// Splits a region shared by touching fish into as many parts as fish, each part then measured
// as a blob. Each pixel goes to its nearest seed; when the seeds are only guesses (fish not
// seen before), k-means then moves them onto the bodies. Seeds that are the fish's predicted
// positions are kept as they are: two fish lying side by side make one compact region, which
// k-means would cut across both bodies. Any thread; deterministic for the same input.

#include "tracking/blobs/Blob.h"

#include <opencv2/core.hpp>

#include <QPointF>

#include <vector>

class BlobSplitter
{
public:
    // points and weights: the region's pixels and their differences; seeds: one start per part.
    static std::vector<Blob> split(const std::vector<cv::Point2f> &points,
        const std::vector<float> &weights, const std::vector<QPointF> &seeds, bool refine);
};
