#include "tracking/blobs/StaticAnimals.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <functional>

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

namespace {

// Blobs of the animals' polarity in `picture` against its median over a window `side` wide,
// away from the arena's rim, with their strength (the summed difference).
struct Candidates
{
    cv::Mat spatial, labels, stats, centroids;
    struct Candidate
    {
        int label;
        int area;
        double strength;
    };
    std::vector<Candidate> list; // strongest first

    Candidates(const cv::Mat &picture, const cv::Mat &arenaMask, int side, int threshold,
        bool darkAnimals, const std::function<bool(int)> &sized)
    {
        cv::Mat d, m;
        cv::medianBlur(picture, spatial, side);
        ForegroundMask::difference(picture, spatial,
            darkAnimals ? ForegroundMask::Rule::Dark : ForegroundMask::Rule::Bright, d);
        ForegroundMask::threshold(d, threshold, m);
        if (!arenaMask.empty()) {
            // The arena's rim (a well's wall) is no animal.
            cv::Mat inner;
            cv::erode(arenaMask, inner, cv::getStructuringElement(cv::MORPH_ELLIPSE, { 7, 7 }));
            m.setTo(0, inner == 0);
        }
        const int n = cv::connectedComponentsWithStats(m, labels, stats, centroids, 8, CV_32S);
        for (int k = 1; k < n; ++k) {
            const int area = stats.at<int>(k, cv::CC_STAT_AREA);
            if (sized(area))
                list.push_back({ k, area, cv::mean(d, labels == k)[0] * area });
        }
        std::sort(list.begin(), list.end(),
            [](const Candidate &a, const Candidate &b) { return a.strength > b.strength; });
    }
};

} // namespace

StaticAnimals::Body StaticAnimals::guessBody(const cv::Mat &background,
    const std::vector<ArenaRegion> &regions, const BlobParameters &p, bool darkAnimals)
{
    // A body is not known yet: the window is a third of the region, in which an animal is
    // still a minority of the pixels.
    auto sideOf = [](const cv::Mat &picture) {
        return std::min(std::min(picture.rows, picture.cols) / 3, 101) | 1;
    };
    const ForegroundMask::Rule polarity
        = darkAnimals ? ForegroundMask::Rule::Dark : ForegroundMask::Rule::Bright;
    // The floor's texture against its spatial median takes the place of the noise.
    ForegroundMask::Histogram histogram {};
    cv::Mat spatial, d;
    for (const ArenaRegion &region : regions) {
        const cv::Mat picture = region.rect.isEmpty() ? cv::Mat() : background(cvRect(region.rect));
        if (picture.empty() || sideOf(picture) < 5)
            continue;
        cv::medianBlur(picture, spatial, sideOf(picture));
        ForegroundMask::difference(picture, spatial, polarity, d);
        ForegroundMask::addToHistogram(d, region.mask, histogram);
    }
    Body body;
    body.threshold = ForegroundMask::thresholdFromHistogram(histogram, polarity, p.threshold);
    std::vector<int> areas;
    for (const ArenaRegion &region : regions) {
        const cv::Mat picture = region.rect.isEmpty() ? cv::Mat() : background(cvRect(region.rect));
        if (picture.empty() || region.fishCount <= 0 || sideOf(picture) < 5)
            continue;
        const Candidates found(picture, region.mask, sideOf(picture), body.threshold, darkAnimals,
            [&p](int area) { return area >= std::max(p.minArea, 4) && area <= p.maxArea; });
        for (size_t k = 0; k < found.list.size() && k < size_t(region.fishCount); ++k)
            areas.push_back(found.list[k].area);
    }
    if (!areas.empty()) {
        std::nth_element(areas.begin(), areas.begin() + long(areas.size() / 2), areas.end());
        body.area = areas[areas.size() / 2];
    }
    return body;
}

std::vector<cv::Point2d> StaticAnimals::takeOut(cv::Mat &background, const ArenaRegion &region,
    const BlobParameters &p, bool darkAnimals, int wanted)
{
    std::vector<cv::Point2d> centres;
    // Without a body size, texture of about any size could pass for one.
    if (wanted <= 0 || region.rect.isEmpty() || !p.areaLearned)
        return centres;
    const cv::Rect r = cvRect(region.rect);
    cv::Mat picture = background(r);
    // Twice a body long, odd; medianBlur takes any odd size for bytes.
    const int side = std::max(5, 2 * int(std::ceil(p.bodyLength)) + 1) | 1;
    if (side >= std::min(picture.rows, picture.cols))
        return centres;
    const double body = p.typicalArea;
    Candidates found(picture, region.mask, side, p.threshold, darkAnimals, [&](int area) {
        return area >= std::max(double(p.minArea), 0.4 * body) && area <= 2.5 * body;
    });
    if (int(found.list.size()) > wanted)
        found.list.resize(size_t(wanted));
    for (const Candidates::Candidate &c : found.list) {
        cv::Mat under = found.labels == c.label;
        cv::dilate(under, under, cv::getStructuringElement(cv::MORPH_ELLIPSE, { 5, 5 }));
        found.spatial.copyTo(picture, under);
        centres.emplace_back(found.centroids.at<double>(c.label, 0) + r.x,
            found.centroids.at<double>(c.label, 1) + r.y);
    }
    return centres;
}
