#pragma once
// The blobs of one arena's foreground: 8-connected components of the mask (limited to the
// arena's own mask when it has one), kept when their area lies within the limits, each
// measured from the differences of its pixels. Tracker thread (one finder per arena).

#include "tracking/blobs/Blob.h"
#include "tracking/blobs/ComponentLabeller.h"

#include <opencv2/core.hpp>

#include <QPoint>

#include <vector>

class BlobFinder
{
public:
    // difference and mask cover the arena's rectangle, whose top-left pixel is `origin` in
    // the frame. Blobs come in label order.
    std::vector<Blob> find(
        const cv::Mat &difference, const cv::Mat &mask, QPoint origin, int minArea, int maxArea);

    // The areas of every component of a mask, largest first (for the automatic limits).
    static std::vector<int> componentAreas(const cv::Mat &mask);

    // The pixels of blob `label` in the last labelling, as x, y (frame coordinates) and
    // difference, for splitting.
    void pixelsOf(const Blob &blob, const cv::Mat &difference, QPoint origin,
        std::vector<cv::Point2f> *points, std::vector<float> *weights) const;

private:
    ComponentLabeller labeller;
};
