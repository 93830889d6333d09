#include "tracking/blobs/StaticAnimals.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

cv::Rect cvRect(const QRect &r)
{
    return cv::Rect(r.x(), r.y(), r.width(), r.height());
}

} // namespace

int StaticAnimals::seenInSamples(const std::vector<cv::Mat> &samples, const cv::Mat &background,
    const ArenaRegion &region, const BlobParameters &p, ForegroundMask::Rule rule)
{
    if (samples.empty() || region.rect.isEmpty())
        return 0;
    const cv::Rect r = cvRect(region.rect);
    std::vector<int> counts;
    cv::Mat d, m;
    for (const cv::Mat &grey : samples) {
        ForegroundMask::difference(grey(r), background(r), rule, d);
        ForegroundMask::threshold(d, p.threshold, m);
        if (!region.mask.empty())
            m.setTo(0, region.mask == 0);
        int count = 0;
        for (int area : BlobFinder::componentAreas(m))
            count += area >= p.minArea && area <= p.maxArea ? 1 : 0;
        counts.push_back(count);
    }
    std::nth_element(counts.begin(), counts.begin() + long(counts.size() / 2), counts.end());
    return counts[counts.size() / 2];
}

std::vector<cv::Point2d> StaticAnimals::takeOut(cv::Mat &background, const ArenaRegion &region,
    const BlobParameters &p, bool darkAnimals, int wanted)
{
    std::vector<cv::Point2d> centres;
    // Without a body seen moving, texture of about any size could pass for one.
    if (wanted <= 0 || region.rect.isEmpty() || !p.areaLearned)
        return centres;
    const cv::Rect r = cvRect(region.rect);
    cv::Mat picture = background(r);
    // Twice a body long, odd; medianBlur takes any odd size for bytes.
    const int side = std::max(5, 2 * int(std::ceil(p.bodyLength)) + 1) | 1;
    if (side >= std::min(picture.rows, picture.cols))
        return centres;
    cv::Mat spatial, d, m;
    cv::medianBlur(picture, spatial, side);
    ForegroundMask::difference(picture, spatial,
        darkAnimals ? ForegroundMask::Rule::Dark : ForegroundMask::Rule::Bright, d);
    ForegroundMask::threshold(d, p.threshold, m);
    if (!region.mask.empty()) {
        // The arena's rim (a well's wall) is no animal.
        cv::Mat inner;
        cv::erode(region.mask, inner, cv::getStructuringElement(cv::MORPH_ELLIPSE, { 7, 7 }));
        m.setTo(0, inner == 0);
    }
    cv::Mat labels, stats, centroids;
    const int n = cv::connectedComponentsWithStats(m, labels, stats, centroids, 8, CV_32S);
    const double body = p.typicalArea;
    struct Candidate
    {
        int label;
        double strength;
    };
    std::vector<Candidate> candidates;
    for (int k = 1; k < n; ++k) {
        const int area = stats.at<int>(k, cv::CC_STAT_AREA);
        if (area < std::max(double(p.minArea), 0.4 * body) || area > 2.5 * body)
            continue;
        candidates.push_back({ k, cv::mean(d, labels == k)[0] * area });
    }
    std::sort(candidates.begin(), candidates.end(),
        [](const Candidate &a, const Candidate &b) { return a.strength > b.strength; });
    if (int(candidates.size()) > wanted)
        candidates.resize(size_t(wanted));
    for (const Candidate &c : candidates) {
        cv::Mat under = labels == c.label;
        cv::dilate(under, under, cv::getStructuringElement(cv::MORPH_ELLIPSE, { 5, 5 }));
        spatial.copyTo(picture, under);
        centres.emplace_back(
            centroids.at<double>(c.label, 0) + r.x, centroids.at<double>(c.label, 1) + r.y);
    }
    return centres;
}
