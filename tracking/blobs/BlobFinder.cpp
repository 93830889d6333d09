#include "tracking/blobs/BlobFinder.h"

#include "tracking/blobs/BlobMoments.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <functional>

std::vector<Blob> BlobFinder::find(
    const cv::Mat &difference, const cv::Mat &mask, QPoint origin, int minArea, int maxArea)
{
    std::vector<Blob> blobs;
    const int count = cv::connectedComponentsWithStats(mask, labels, stats, centroids, 8, CV_32S);
    for (int label = 1; label < count; ++label) {
        const int area = stats.at<int>(label, cv::CC_STAT_AREA);
        if (area < minArea || area > maxArea)
            continue;
        const int left = stats.at<int>(label, cv::CC_STAT_LEFT);
        const int top = stats.at<int>(label, cv::CC_STAT_TOP);
        const int width = stats.at<int>(label, cv::CC_STAT_WIDTH);
        const int height = stats.at<int>(label, cv::CC_STAT_HEIGHT);
        BlobMoments moments;
        for (int y = top; y < top + height; ++y) {
            const int *l = labels.ptr<int>(y);
            const uchar *d = difference.ptr<uchar>(y);
            for (int x = left; x < left + width; ++x)
                if (l[x] == label)
                    moments.add(x + origin.x(), y + origin.y(), d[x]);
        }
        Blob blob = moments.blob();
        blob.label = label;
        blobs.push_back(blob);
    }
    return blobs;
}

std::vector<int> BlobFinder::componentAreas(const cv::Mat &mask)
{
    cv::Mat l, s, c;
    const int count = cv::connectedComponentsWithStats(mask, l, s, c, 8, CV_32S);
    std::vector<int> areas;
    for (int label = 1; label < count; ++label)
        areas.push_back(s.at<int>(label, cv::CC_STAT_AREA));
    std::sort(areas.begin(), areas.end(), std::greater<int>());
    return areas;
}

void BlobFinder::pixelsOf(const Blob &blob, const cv::Mat &difference, QPoint origin,
    std::vector<cv::Point2f> *points, std::vector<float> *weights) const
{
    points->clear();
    weights->clear();
    const int label = blob.label;
    const int left = stats.at<int>(label, cv::CC_STAT_LEFT);
    const int top = stats.at<int>(label, cv::CC_STAT_TOP);
    const int width = stats.at<int>(label, cv::CC_STAT_WIDTH);
    const int height = stats.at<int>(label, cv::CC_STAT_HEIGHT);
    for (int y = top; y < top + height; ++y) {
        const int *l = labels.ptr<int>(y);
        const uchar *d = difference.ptr<uchar>(y);
        for (int x = left; x < left + width; ++x)
            if (l[x] == label) {
                points->emplace_back(float(x + origin.x()), float(y + origin.y()));
                weights->push_back(d[x]);
            }
    }
}
