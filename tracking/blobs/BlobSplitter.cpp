#include "tracking/blobs/BlobSplitter.h"

#include "tracking/blobs/BlobMoments.h"

#include <opencv2/core.hpp>

#include <limits>

std::vector<Blob> BlobSplitter::split(const std::vector<cv::Point2f> &points,
    const std::vector<float> &weights, const std::vector<QPointF> &seeds, bool refine)
{
    const int parts = int(seeds.size());
    if (parts < 2 || int(points.size()) < parts)
        return {};
    // Each pixel starts with its nearest seed; k-means then moves the centres onto the bodies.
    cv::Mat labels(int(points.size()), 1, CV_32S);
    for (size_t i = 0; i < points.size(); ++i) {
        int best = 0;
        double bestDistance = std::numeric_limits<double>::max();
        for (int k = 0; k < parts; ++k) {
            const double dx = points[i].x - seeds[size_t(k)].x();
            const double dy = points[i].y - seeds[size_t(k)].y();
            if (dx * dx + dy * dy < bestDistance) {
                bestDistance = dx * dx + dy * dy;
                best = k;
            }
        }
        labels.at<int>(int(i)) = best;
    }
    if (refine) {
        cv::Mat data(int(points.size()), 2, CV_32F, const_cast<cv::Point2f *>(points.data()));
        cv::Mat centres;
        // An empty cluster is refilled from OpenCV's random generator: seeded for repeatable
        // runs.
        cv::theRNG().state = 0x5eed;
        cv::kmeans(data, parts, labels,
            cv::TermCriteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 20, 0.05), 1,
            cv::KMEANS_USE_INITIAL_LABELS, centres);
    }

    std::vector<BlobMoments> moments(static_cast<size_t>(parts));
    for (size_t i = 0; i < points.size(); ++i) {
        const int k = labels.at<int>(int(i));
        if (k >= 0 && k < parts)
            moments[size_t(k)].add(points[i].x, points[i].y, weights[i]);
    }
    std::vector<Blob> blobs;
    for (const BlobMoments &m : moments) {
        if (m.pixelCount() == 0 || m.weight() <= 0)
            continue;
        Blob b = m.blob();
        b.split = true;
        blobs.push_back(b);
    }
    return blobs;
}
