#include "tracking/blobs/ArenaTracker.h"

#include "tracking/blobs/BlobSplitter.h"
#include "tracking/blobs/SmallBlobFilter.h"

#include <algorithm>
#include <cmath>

namespace {

cv::Rect cvRect(const QRect &r)
{
    return cv::Rect(r.x(), r.y(), r.width(), r.height());
}

// The lowest automatic threshold: below it, compression noise becomes foreground.
constexpr int thresholdFloor = 6;

} // namespace

ArenaRegion ArenaRegion::of(const Arena &arena, const QRect &frame)
{
    ArenaRegion region;
    region.fishCount = arena.fishCount;
    region.rect = arena.rect.intersected(frame);
    if (region.rect.isEmpty() || arena.shape == Arena::Shape::Rectangle)
        return region;
    region.mask = cv::Mat::zeros(region.rect.height(), region.rect.width(), CV_8UC1);
    for (int y = 0; y < region.mask.rows; ++y) {
        uchar *row = region.mask.ptr<uchar>(y);
        for (int x = 0; x < region.mask.cols; ++x)
            row[x] = arena.containsPixel(region.rect.left() + x, region.rect.top() + y) ? 255 : 0;
    }
    return region;
}

BlobParameters ArenaTracker::resolve(const BlobSettings &asked,
    const std::vector<ArenaRegion> &arenas, const std::vector<cv::Mat> &samples,
    const cv::Mat &background, ForegroundMask::Rule rule)
{
    BlobParameters p;
    // Per sample and arena: the differences inside the arena's mask for the threshold, then,
    // made again rather than kept (K of them would double the pre-pass's memory), those
    // inside the arena's rectangle (0 outside its mask) for the areas.
    auto differenceOf = [&](const cv::Mat &grey, const ArenaRegion &arena, cv::Mat &d) {
        ForegroundMask::difference(
            grey(cvRect(arena.rect)), background(cvRect(arena.rect)), rule, d);
    };
    ForegroundMask::Histogram histogram {};
    bool anyDifference = false;
    cv::Mat d, m;
    for (const cv::Mat &grey : samples)
        for (const ArenaRegion &arena : arenas) {
            if (arena.rect.isEmpty())
                continue;
            differenceOf(grey, arena, d);
            ForegroundMask::addToHistogram(d, arena.mask, histogram);
            anyDifference = true;
        }
    p.threshold = asked.threshold >= 0 ? int(std::lround(asked.threshold))
        : anyDifference ? ForegroundMask::thresholdFromHistogram(histogram, rule, thresholdFloor)
                        : thresholdFloor;

    // One fish's area: the median of each arena's fishCount largest components per sample.
    std::vector<int> areas;
    for (const cv::Mat &grey : samples)
        for (const ArenaRegion &arena : arenas) {
            if (arena.rect.isEmpty())
                continue;
            differenceOf(grey, arena, d);
            if (!arena.mask.empty())
                d.setTo(0, arena.mask == 0);
            ForegroundMask::threshold(d, p.threshold, m);
            const std::vector<int> all = BlobFinder::componentAreas(m);
            for (size_t k = 0; k < all.size() && k < size_t(arena.fishCount); ++k)
                if (all[k] >= 4)
                    areas.push_back(all[k]);
        }
    if (!areas.empty()) {
        std::nth_element(areas.begin(), areas.begin() + areas.size() / 2, areas.end());
        p.typicalArea = areas[areas.size() / 2];
        p.areaLearned = true;
    }
    fitBody(p, asked, arenas);
    return p;
}

void ArenaTracker::fitBody(
    BlobParameters &p, const BlobSettings &asked, const std::vector<ArenaRegion> &arenas)
{
    int mostFish = 0;
    for (const ArenaRegion &arena : arenas)
        mostFish = std::max(mostFish, arena.fishCount);
    double arenaArea = 0;
    for (const ArenaRegion &arena : arenas)
        arenaArea = std::max(arenaArea, double(arena.rect.width()) * arena.rect.height());

    p.minArea = asked.minArea > 0 ? asked.minArea
        : p.typicalArea > 0       ? std::max(4, int(p.typicalArea * 0.25))
                                  : 4;
    p.maxArea = asked.maxArea > 0 ? asked.maxArea
        : p.typicalArea > 0       ? int(p.typicalArea * (mostFish == 1 ? 3 : 5))
                                  : int(arenaArea / 4);
    p.maxArea = std::max(p.maxArea, p.minArea);
    if (p.typicalArea <= 0)
        p.typicalArea = asked.minArea > 0 && asked.maxArea > 0 ? (p.minArea + p.maxArea) / 2.0
                                                               : std::max(4.0 * p.minArea, 20.0);
    // An ellipse about 2.5 times as long as wide.
    p.bodyLength = 1.8 * std::sqrt(p.typicalArea);
    p.maxSpeed = asked.maxSpeed > 0 ? asked.maxSpeed : std::max(3.0, 1.5 * p.bodyLength);
}

void ArenaTracker::reset(const ArenaRegion &arena, const BlobParameters &p, ForegroundMask::Rule r)
{
    area = arena;
    outside = arena.mask.empty() ? cv::Mat() : cv::Mat(arena.mask == 0);
    parameters = p;
    rule = r;
    matcher.reset(arena.fishCount, p.maxSpeed, 0.5 * p.bodyLength, p.typicalArea);
    specks.reset(p.bodyLength);
    blobs.clear();
    fishOfBlob.clear();
}

std::vector<ArenaTracker::FishResult> ArenaTracker::track(
    const cv::Mat &grey, const cv::Mat &background)
{
    const cv::Rect rect = cvRect(area.rect);
    ForegroundMask::difference(grey(rect), background(rect), rule, difference);
    ForegroundMask::threshold(difference, parameters.threshold, mask);
    if (!outside.empty())
        mask.setTo(0, outside);
    blobs = finder.find(
        difference, mask, area.rect.topLeft(), parameters.minArea, parameters.maxArea);
    specks.drop(blobs);
    splitTouching();
    SmallBlobFilter::drop(blobs, area.fishCount, parameters.typicalArea);

    const std::vector<int> blobOf = matcher.match(blobs);
    specks.learn(blobs, blobOf);
    fishOfBlob.assign(blobs.size(), -1);
    std::vector<FishResult> results(size_t(area.fishCount));
    for (int i = 0; i < area.fishCount; ++i) {
        const IdentityMatcher::Fish &f = matcher.fish()[size_t(i)];
        FishResult &r = results[size_t(i)];
        r.position = f.position;
        r.shapeKnown = f.heading.known();
        r.heading = float(f.heading.heading());
        r.bodyLength = float(f.bodyLength);
        const int b = blobOf[size_t(i)];
        if (b >= 0) {
            const Blob &blob = blobs[size_t(b)];
            r.found = true;
            r.confidence = blob.meanDifference;
            r.area = float(blob.split ? blob.regionArea : blob.area);
            fishOfBlob[size_t(b)] = i;
        }
    }
    return results;
}

QPointF ArenaTracker::correct(int fish, QPointF position)
{
    const QRect &r = area.rect;
    if (r.isEmpty())
        return position;
    auto inside = [this, &r](QPointF p) {
        const QPoint q(int(std::lround(p.x())), int(std::lround(p.y())));
        return r.contains(q)
            && (area.mask.empty() || area.mask.at<uchar>(q.y() - r.top(), q.x() - r.left()) != 0);
    };
    const QPointF middle(r.left() + (r.width() - 1) / 2.0, r.top() + (r.height() - 1) / 2.0);
    const QPointF toMiddle = middle - position;
    const double length = std::hypot(toMiddle.x(), toMiddle.y());
    // Half-pixel steps towards the middle until inside (the middle itself always is).
    QPointF p = position;
    for (int step = 1; !inside(p) && step <= int(std::ceil(2 * length)); ++step)
        p = position + toMiddle * std::min(1.0, step / (2 * length));
    if (!inside(p))
        p = middle;
    matcher.correct(fish, p);
    return p;
}

void ArenaTracker::splitTouching()
{
    const int fishCount = area.fishCount;
    // One body's area: from the sampled frames, or larger when the fish seen on blobs of their
    // own have shown it is (a sample's pieces of bodies or specks can make the first small,
    // and two fish would then be put on one).
    const double body = std::max(parameters.typicalArea, 0.8 * matcher.largestBodyArea());
    if (int(blobs.size()) >= fishCount || body <= 0)
        return;
    std::vector<size_t> order(blobs.size());
    for (size_t k = 0; k < order.size(); ++k)
        order[k] = k;
    std::sort(order.begin(), order.end(),
        [this](size_t a, size_t b) { return blobs[a].area > blobs[b].area; });

    std::vector<QPointF> predictions;
    for (int i = 0; i < fishCount; ++i)
        if (matcher.fish()[size_t(i)].everFound)
            predictions.push_back(matcher.predicted(i));

    int budget = fishCount - int(blobs.size());
    std::vector<Blob> kept, parts;
    std::vector<bool> replaced(blobs.size(), false);
    std::vector<cv::Point2f> points;
    std::vector<float> weights;
    for (size_t k : order) {
        const Blob &b = blobs[k];
        if (budget <= 0 || b.area < 1.6 * body)
            break;
        const int wanted = std::min(budget + 1, std::max(2, int(std::lround(b.area / body))));
        // Seeds: the predicted positions nearest the blob, then points along its long axis.
        std::vector<QPointF> near = predictions;
        std::sort(near.begin(), near.end(), [&b](QPointF p, QPointF q) {
            const QPointF dp = p - b.centre, dq = q - b.centre;
            return dp.x() * dp.x() + dp.y() * dp.y() < dq.x() * dq.x() + dq.y() * dq.y();
        });
        std::vector<QPointF> seeds;
        const double reach = b.length;
        for (const QPointF &p : near) {
            const QPointF d = p - b.centre;
            if (int(seeds.size()) < wanted && std::hypot(d.x(), d.y()) <= reach)
                seeds.push_back(p);
        }
        const bool guessed = int(seeds.size()) < wanted;
        const double radians = b.angleDegrees * M_PI / 180.0;
        const QPointF axis(std::cos(radians), std::sin(radians));
        for (int s = 0; int(seeds.size()) < wanted; ++s)
            seeds.push_back(b.centre + axis * (b.length / wanted) * (s - (wanted - 1) / 2.0));
        finder.pixelsOf(b, difference, area.rect.topLeft(), &points, &weights);
        std::vector<Blob> pieces = BlobSplitter::split(points, weights, seeds, guessed);
        if (int(pieces.size()) < 2)
            continue;
        for (Blob &piece : pieces) {
            piece.label = b.label;
            piece.regionArea = b.area;
        }
        budget -= int(pieces.size()) - 1;
        replaced[k] = true;
        parts.insert(parts.end(), pieces.begin(), pieces.end());
    }
    for (size_t k = 0; k < blobs.size(); ++k)
        if (!replaced[k])
            kept.push_back(blobs[k]);
    kept.insert(kept.end(), parts.begin(), parts.end());
    blobs = kept;
}
