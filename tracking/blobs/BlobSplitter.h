#pragma once
// Splits a region shared by touching fish into as many parts as fish: k-means on its
// pixels, started from the fish's predicted positions, each part then measured as a blob.
// Any thread; deterministic for the same input.

#include "tracking/blobs/Blob.h"

#include <opencv2/core.hpp>

#include <QPointF>

#include <vector>

class BlobSplitter
{
public:
    // points and weights: the region's pixels and their differences; seeds: one start per part.
    static std::vector<Blob> split(const std::vector<cv::Point2f> &points,
        const std::vector<float> &weights, const std::vector<QPointF> &seeds);
};
