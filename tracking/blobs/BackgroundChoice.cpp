#include "tracking/blobs/BackgroundChoice.h"

#include "tracking/blobs/BackgroundEstimator.h"
#include "tracking/blobs/BlobFinder.h"
#include "tracking/blobs/StaticAnimals.h"

#include <algorithm>

namespace {

cv::Rect cvRect(const QRect &r)
{
    return cv::Rect(r.x(), r.y(), r.width(), r.height());
}

constexpr int thresholdFloor = 6;

// The threshold the difference of `rule` between the samples and `reference` calls an
// animal, over the regions.
int thresholdAgainst(const std::vector<cv::Mat> &samples, const cv::Mat &reference,
    const std::vector<ArenaRegion> &regions, ForegroundMask::Rule rule)
{
    ForegroundMask::Histogram histogram {};
    cv::Mat d;
    for (const cv::Mat &grey : samples)
        for (const ArenaRegion &region : regions) {
            if (region.rect.isEmpty())
                continue;
            const cv::Rect r = cvRect(region.rect);
            ForegroundMask::difference(grey(r), reference(r), rule, d);
            ForegroundMask::addToHistogram(d, region.mask, histogram);
        }
    return ForegroundMask::thresholdFromHistogram(histogram, rule, thresholdFloor);
}

// Whether the sampled frames depart from the median to the dark side more than to the
// bright one, counting the pixels beyond the absolute rule's threshold.
bool darkerThanMedian(const std::vector<cv::Mat> &samples, const cv::Mat &median,
    const std::vector<ArenaRegion> &regions)
{
    const int t = thresholdAgainst(samples, median, regions, ForegroundMask::Rule::Absolute);
    double dark = 0, bright = 0;
    cv::Mat d, m;
    for (const cv::Mat &grey : samples)
        for (const ArenaRegion &region : regions) {
            if (region.rect.isEmpty())
                continue;
            const cv::Rect r = cvRect(region.rect);
            for (const auto rule : { ForegroundMask::Rule::Dark, ForegroundMask::Rule::Bright }) {
                ForegroundMask::difference(grey(r), median(r), rule, d);
                ForegroundMask::threshold(d, t, m);
                if (!region.mask.empty())
                    m.setTo(0, region.mask == 0);
                (rule == ForegroundMask::Rule::Dark ? dark : bright) += cv::countNonZero(m);
            }
        }
    return dark >= bright;
}

} // namespace

bool BackgroundChoice::modeFromName(const QString &name, BackgroundMode *mode)
{
    for (const BackgroundMode m : { BackgroundMode::Auto, BackgroundMode::Median,
             BackgroundMode::Extreme, BackgroundMode::Masked })
        if (name == nameOf(m)) {
            *mode = m;
            return true;
        }
    return false;
}

QString BackgroundChoice::nameOf(BackgroundMode mode)
{
    switch (mode) {
    case BackgroundMode::Median:
        return QStringLiteral("median");
    case BackgroundMode::Extreme:
        return QStringLiteral("extreme");
    case BackgroundMode::Masked:
        return QStringLiteral("masked");
    case BackgroundMode::Auto:
        break;
    }
    return QStringLiteral("auto");
}

BackgroundChoice BackgroundChoice::make(BackgroundMode mode, const std::vector<cv::Mat> &samples,
    const std::vector<ArenaRegion> &regions, ForegroundMask::Rule rule, const BlobSettings &asked)
{
    BackgroundChoice choice;
    const int n = int(samples.size());
    const cv::Mat median = BackgroundEstimator::median(samples);
    choice.darkAnimals = rule == ForegroundMask::Rule::Absolute
        ? darkerThanMedian(samples, median, regions)
        : rule == ForegroundMask::Rule::Dark;
    const ForegroundMask::Rule polarity
        = choice.darkAnimals ? ForegroundMask::Rule::Dark : ForegroundMask::Rule::Bright;
    if (mode == BackgroundMode::Median) {
        choice.background = median;
        for (size_t k = 0; k < regions.size(); ++k)
            choice.regionKinds << QStringLiteral("median");
        return choice;
    }
    const cv::Mat extreme = BackgroundEstimator::ranked(
        samples, BackgroundEstimator::extremeRank(n, choice.darkAnimals));
    if (mode == BackgroundMode::Extreme) {
        choice.background = extreme;
        for (size_t k = 0; k < regions.size(); ++k)
            choice.regionKinds << QStringLiteral("extreme");
        return choice;
    }
    // Half the threshold that calls a pixel an animal: an animal's faint edge is left out
    // too, and leaving out a few noisy samples moves the median of the rest but little.
    const int animal
        = std::max(thresholdFloor, thresholdAgainst(samples, extreme, regions, polarity) / 2);
    const cv::Mat masked
        = BackgroundEstimator::masked(samples, extreme, choice.darkAnimals, animal);
    if (mode == BackgroundMode::Masked) {
        choice.background = masked;
        for (size_t k = 0; k < regions.size(); ++k)
            choice.regionKinds << QStringLiteral("masked");
        return choice;
    }

    // auto: an animal resting in the median shows as an animal-sized patch of the animals'
    // polarity between the median and the masked background.
    const BlobParameters p = ArenaTracker::resolve(asked, regions, samples, masked, rule);
    choice.background = median.clone();
    cv::Mat d, m;
    for (const ArenaRegion &region : regions) {
        if (region.rect.isEmpty() || n < 3) {
            choice.regionKinds << QStringLiteral("median");
            choice.reasons << (n < 3 ? QStringLiteral("too-few-samples")
                                     : QStringLiteral("outside-the-frame"));
            continue;
        }
        const cv::Rect r = cvRect(region.rect);
        ForegroundMask::difference(median(r), masked(r), polarity, d);
        ForegroundMask::threshold(d, p.threshold, m);
        if (!region.mask.empty())
            m.setTo(0, region.mask == 0);
        const std::vector<int> areas = BlobFinder::componentAreas(m);
        const bool resting = !areas.empty() && areas.front() >= p.minArea;
        // The extreme background holds no animal that has left a pixel in a tenth of the
        // samples, whatever the masked one's first pass left in: it is taken when it alone
        // shows the sampled frames every animal the region holds.
        const bool extremeSees
            = StaticAnimals::seenInSamples(samples, resting ? masked : median, region, p, rule)
                < region.fishCount
            && StaticAnimals::seenInSamples(samples, extreme, region, p, rule) >= region.fishCount;
        const cv::Mat &taken = extremeSees ? extreme : resting ? masked : median;
        if (extremeSees || resting) {
            if (region.mask.empty())
                taken(r).copyTo(choice.background(r));
            else
                taken(r).copyTo(choice.background(r), region.mask);
        }
        choice.regionKinds << (extremeSees ? QStringLiteral("extreme")
                : resting                  ? QStringLiteral("masked")
                                           : QStringLiteral("median"));
        choice.reasons << (extremeSees ? QStringLiteral("only-extreme-shows-every-animal")
                : resting              ? QStringLiteral("an-animal-rests-in-the-median")
                                       : QStringLiteral("no-animal-rests-in-the-median"));
    }
    return choice;
}

QString BackgroundChoice::describe(BackgroundMode mode) const
{
    QString words = QStringLiteral("background=%1").arg(nameOf(mode));
    QStringList kinds = regionKinds;
    kinds.removeDuplicates();
    if (mode == BackgroundMode::Auto && kinds.size() == 1)
        words += QLatin1Char(':') + kinds.front();
    if (mode == BackgroundMode::Auto) {
        QStringList why = reasons;
        why.removeDuplicates();
        words += QStringLiteral(" background-why=") + why.join(QLatin1Char(','));
    }
    if (regionKinds.size() > 1 && kinds.size() > 1)
        words += QStringLiteral(" arena-background=") + regionKinds.join(QLatin1Char(','));
    words += QStringLiteral(" animals=%1").arg(darkAnimals ? "dark" : "bright");
    return words;
}
