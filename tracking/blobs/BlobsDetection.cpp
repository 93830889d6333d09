#include "tracking/blobs/BlobsDetection.h"

#include "model/ArenaLayout.h"
#include "model/FishPalette.h"
#include "tracking/TrackResults.h"
#include "tracking/TrackerViewPainter.h"
#include "tracking/TrackingHost.h"
#include "tracking/blobs/BackgroundChoice.h"
#include "tracking/blobs/BackgroundEstimator.h"
#include "tracking/blobs/GreyPlane.h"
#include "tracking/blobs/StaticAnimals.h"
#include "tracking/classic/TrackerFlags.h"
#include "video/QVideoDecoder.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QPainter>
#include <QUrl>

#include <cmath>

namespace {

QPoint rounded(QPointF p)
{
    return QPoint(int(std::lround(p.x())), int(std::lround(p.y())));
}

// Puts fish `fish` of a record at p: its sub-pixel position and its whole-pixel one (the
// record's own for a single fish).
void place(TrackRecord &record, int fish, QPointF p, bool single)
{
    if (fish < record.exactPositions.size())
        record.exactPositions[fish] = p;
    if (single) {
        record.x = rounded(p).x();
        record.y = rounded(p).y();
    } else if (fish < record.fishPositions.size()) {
        record.fishPositions[fish] = rounded(p);
    }
}

// The 0-based index of the picture numbered `number` in the video at `path`, counted by
// decoding from its first picture on a decoder of its own: a container's timestamps need not
// start at 0 nor come at an even rate, so a picture's index cannot be had from its time. -1
// when the video cannot be read up to that picture or the run is stopped meanwhile.
qint64 pictureIndexOf(const QString &path, qint64 number, const std::atomic<bool> &stop)
{
    QVideoDecoder counter;
    // The first picture itself (a step after opening passes over it).
    if (!counter.open(path) || !counter.decodeUpTo(-1))
        return -1;
    qint64 index = 0;
    while (counter.frameNumber() < number) {
        if (stop || !counter.seekNextFrame())
            return -1;
        ++index;
    }
    return counter.frameNumber() == number ? index : -1;
}

} // namespace

BlobsDetection::BlobsDetection(TrackingHost &runHost, TrackerFlags &runFlags,
    TrackerViewPainter &viewPainter, const RunParameters &runParameters, const QRect &trackingArea)
    : host(runHost)
    , flags(runFlags)
    , painter(viewPainter)
    , parameters(runParameters)
    , area(trackingArea)
    , centre(area.left() + area.width() / 2, area.top() + area.height() / 2)
{
    asked = BlobSettings::fromControls(host.trackingControls());
}

bool BlobsDetection::prepare(QVideoDecoder *decoder)
{
    QElapsedTimer clock; // the pre-pass's time, said with the background (bench/ reads it)
    clock.start();
    const BlobControls &blobControls = host.trackingControls().blobs;
    const QString video = host.fileName();
    QImage shown;
    if (!decoder || !decoder->copyFrame(shown) || shown.isNull())
        return fail(QStringLiteral("%1: no frame on display to start from").arg(video));
    if (!check(shown))
        return false;
    const QString frameSize = QStringLiteral("%1x%2").arg(shown.width()).arg(shown.height());
    // The samples come from the part of the video to be tracked: after the frame on display.
    const qint64 startNumber = decoder->frameNumber();
    // The run's first record is the picture after the one on display.
    const qint64 shownIndex = pictureIndexOf(video, startNumber, flags.stopRequested);
    nextPictureIndex = shownIndex < 0 ? -1 : shownIndex + 1;
    const qint64 startMs = decoder->frameTime();
    const qint64 endMs = decoder->lengthMs();
    // The samples' memory is bounded: a large frame takes fewer (said in the Detection line).
    const int sampleCount = BackgroundEstimator::samplesWithin(asked.backgroundFrames,
        shown.width(), shown.height(), BackgroundEstimator::sampleBudgetBytes);
    if (sampleCount < asked.backgroundFrames)
        qWarning("Whole-video background: %d frames of %s fit in the pre-pass's memory, not %d",
            sampleCount, qPrintable(frameSize), asked.backgroundFrames);
    blobControls.backgroundFramesWanted = sampleCount;
    blobControls.backgroundFramesRead = 0;
    const std::vector<cv::Mat> samples = BackgroundEstimator::sample(
        *decoder, video, sampleCount, startMs, endMs, [this, &blobControls](int read, int) {
            blobControls.backgroundFramesRead = read;
            return !flags.stopRequested;
        });
    // The progress bar goes when the pre-pass is over, whatever ended it.
    blobControls.backgroundFramesRead = sampleCount;
    // A stop during the pre-pass ends the run before its first frame.
    if (flags.stopRequested) {
        decoder->seekToFrame(startNumber);
        return false;
    }
    if (!decoder->seekToFrame(startNumber) || decoder->frameNumber() != startNumber)
        return fail(QStringLiteral("%1: cannot return to the frame on display after sampling the "
                                   "video")
                        .arg(video));

    build(shown, samples);
    qDebug("Whole-video background from %d frames in %.3f s; %s", int(samples.size()),
        double(clock.nsecsElapsed()) / 1e9, qPrintable(description()));
    return true;
}

bool BlobsDetection::prepareLive(const QImage &shown, const std::vector<cv::Mat> &samples)
{
    if (!check(shown))
        return false;
    build(shown, samples);
    qDebug("Whole-video background from %d frames; %s", int(samples.size()),
        qPrintable(description()));
    refresh.emplace(background);
    return true;
}

bool BlobsDetection::fail(const QString &why)
{
    failure = why;
    qWarning("Whole-video background: %s", qPrintable(why));
    return false;
}

bool BlobsDetection::check(const QImage &shown)
{
    const BlobControls &blobControls = host.trackingControls().blobs;
    const QString video = host.fileName();
    const QRect frameRect(QPoint(0, 0), shown.size());
    const QRect inside = area.intersected(frameRect);
    const QString frameSize = QStringLiteral("%1x%2").arg(shown.width()).arg(shown.height());
    if (parameters.arenas.isEmpty() && inside.isEmpty())
        return fail(QStringLiteral("%1: the Tracking Area lies outside the %2 frame")
                        .arg(video, frameSize));
    bool anyArenaInside = parameters.arenas.isEmpty();
    for (const Arena &a : parameters.arenas)
        anyArenaInside = anyArenaInside || a.rect.intersects(frameRect);
    if (!anyArenaInside)
        return fail(
            QStringLiteral("%1: every arena lies outside the %2 frame").arg(video, frameSize));

    // A background of another size is refused before the video is read for samples.
    const QImage chosen = blobControls.chosenBackground();
    if (!chosen.isNull() && chosen.size() != shown.size()) {
        const QString picture = blobControls.chosenBackgroundPath();
        return fail(QStringLiteral("the background picture %1is %2x%3, the video %4 %5")
                        .arg(picture.isEmpty() ? QString() : picture + QLatin1Char(' '))
                        .arg(chosen.width())
                        .arg(chosen.height())
                        .arg(video, frameSize));
    }
    return true;
}

void BlobsDetection::build(const QImage &shown, const std::vector<cv::Mat> &samples)
{
    const TrackingControls &controls = host.trackingControls();
    const BlobControls &blobControls = controls.blobs;
    const QRect frameRect(QPoint(0, 0), shown.size());
    const QRect inside = area.intersected(frameRect);
    const QImage chosen = blobControls.chosenBackground();
    const ForegroundMask::Rule rule = ForegroundMask::ruleFrom(controls);
    const std::vector<ArenaRegion> regions
        = ArenaSet::regions(parameters.arenas, inside, parameters.fishCount, frameRect);
    samplesTaken = int(samples.size());
    rulePicked = rule;
    if (!chosen.isNull()) {
        background = GreyPlane::of(chosen);
        backgroundWords = QStringLiteral("background=picture:%1")
                              .arg(QString::fromLatin1(QUrl::toPercentEncoding(
                                  blobControls.chosenBackgroundPath(), "/\\:")));
    } else if (samples.empty()) {
        // Not one sample could be read: the frame on display.
        background = GreyPlane::of(shown);
        backgroundWords = QStringLiteral("background=frame-shown");
    } else {
        const BackgroundChoice choice
            = BackgroundChoice::make(asked.background, samples, regions, rule, asked);
        background = choice.background;
        backgroundWords = choice.describe(asked.background);
        darkAnimals = choice.darkAnimals;
    }
    used = ArenaTracker::resolve(asked, regions, samples, background, rule);
    if (chosen.isNull() && !samples.empty()) {
        if (!used.areaLearned) {
            // No animal was seen moving: the body is learned from the still ones, or, when
            // none shows, taken from the area limits asked for; the threshold rises above the
            // floor's texture, which the noise alone set it under.
            const StaticAnimals::Body body
                = StaticAnimals::guessBody(background, regions, used, darkAnimals);
            if (asked.threshold < 0)
                used.threshold = std::max(used.threshold, body.threshold);
            if (body.area > 0 || (asked.minArea > 0 && asked.maxArea > 0)) {
                used.typicalArea
                    = body.area > 0 ? body.area : (asked.minArea + asked.maxArea) / 2.0;
                used.areaLearned = true;
                ArenaTracker::fitBody(used, asked, regions);
            }
        }
        int still = 0;
        for (const ArenaRegion &region : regions) {
            const int seen = StaticAnimals::seenInSamples(samples, background, region, used, rule);
            if (seen < region.fishCount)
                still += int(StaticAnimals::takeOut(
                    background, region, used, darkAnimals, region.fishCount - seen)
                                 .size());
        }
        backgroundWords += QStringLiteral(" static-animals=%1").arg(still);
    }
    blobControls.setLastBackground(QImage(background.data, background.cols, background.rows,
        int(background.step), QImage::Format_Grayscale8)
                                       .copy());
    arenas.reset(regions, used, rule);
    placed.assign(size_t(parameters.fishCount), false);
    measured.assign(size_t(parameters.fishCount), false);
    prepared = true;
}

QString BlobsDetection::description() const
{
    if (!prepared)
        return QString();
    // The frames sampled, which a short video holds fewer of than asked.
    QString line = QStringLiteral("blobs background-frames=%1 %2")
                       .arg(samplesTaken)
                       .arg(used.describe(asked));
    if (samplesTaken != asked.backgroundFrames)
        line += QStringLiteral(" background-frames-asked=%1").arg(asked.backgroundFrames);
    const char *ruleName = rulePicked == ForegroundMask::Rule::Absolute ? "abs"
        : rulePicked == ForegroundMask::Rule::Bright                    ? "bright"
                                                                        : "dark";
    line += QStringLiteral(" difference=%1 %2").arg(QLatin1String(ruleName), backgroundWords);
    if (!parameters.arenas.isEmpty()) {
        const QString shapes = ArenaLayout::describeShapes(parameters.arenas);
        if (!shapes.isEmpty())
            line += QLatin1Char(' ') + shapes;
        line += QLatin1Char(' ') + ArenaLayout::describeFish(parameters.arenas);
    }
    if (refresh)
        line += QLatin1Char(' ') + BackgroundRefresh::describe();
    return line;
}

bool BlobsDetection::flagThreshold(float *threshold) const
{
    if (!prepared)
        return false;
    *threshold = float(used.threshold);
    return true;
}

void BlobsDetection::trackFrame(
    const QImage &frame, qint64 frameNumber, qint64 frameTimeMs, TrackResults &results)
{
    takeCorrections(results);
    GreyPlane::convert(frame, grey);
    const bool fits = grey.rows == background.rows && grey.cols == background.cols;
    std::vector<ArenaTracker::FishResult> fish;
    if (fits) {
        fish = arenas.track(grey, background);
        if (refresh)
            refresh->update(grey, lastForeground(), background);
    } else {
        // A frame of another size (never from one video): nothing is found in it.
        fish.resize(size_t(parameters.fishCount));
        for (size_t i = 0; i < fish.size(); ++i)
            fish[i].position = arenas.restingPlace(int(i));
    }
    if (firstFrame) {
        host.setShowResults(true);
        firstFrame = false;
    }

    // A lone fish in an arena is written in the multi-fish layout (with its arena's zone), so
    // its record keeps the per-fish lists that layout reads.
    const bool single = !parameters.multiFishFile();
    TrackRecord record;
    record.frameNumber = frameNumber;
    record.seconds = float(double(frameTimeMs) / 1000.0);
    // One record per picture decoded after the one on display.
    record.pictureIndex = nextPictureIndex;
    if (nextPictureIndex >= 0)
        ++nextPictureIndex;
    record.x = centre.x();
    record.y = centre.y();
    for (size_t i = 0; i < fish.size(); ++i) {
        // Until a fish is first found, its rows hold its arena's centre; they get its first
        // found position when it is.
        const QPointF p
            = placed[i] || fish[i].found ? fish[i].position : arenas.restingPlace(int(i));
        record.exactPositions << p;
        record.fishPositions << rounded(p);
        record.fishConfidences << fish[i].confidence;
        record.fishFoundFlags << fish[i].found;
        record.headings << fish[i].heading;
        record.bodyLengths << fish[i].bodyLength;
        record.areas << fish[i].area;
    }
    if (fish.size() == 1) { // the window's one-fish marker and review read these
        record.x = record.fishPositions[0].x();
        record.y = record.fishPositions[0].y();
        record.confidence = record.fishConfidences[0];
        record.found = record.fishFoundFlags[0];
        host.setFishFound(record.found);
    }
    if (single) {
        // Released, not just emptied (clear() keeps the capacity): every record of a run stays
        // in memory.
        record.fishPositions = QVector<QPoint>();
        record.fishConfidences = QVector<float>();
        record.fishFoundFlags = QVector<bool>();
    }

    results.withLock([&](QVector<TrackRecord> &r) {
        for (size_t i = 0; i < fish.size(); ++i) {
            if (placed[i] || !fish[i].found)
                continue;
            placed[i] = true;
            const QPointF p = fish[i].position;
            for (TrackRecord &earlier : r) {
                place(earlier, int(i), p, single);
                if (single)
                    earlier.movement = 0.0f;
            }
        }
        // The rows before a fish's body was first measured take its first measure, as its
        // position is held back to its first found one.
        for (size_t i = 0; i < fish.size(); ++i) {
            if (measured[i] || !fish[i].shapeKnown)
                continue;
            measured[i] = true;
            for (TrackRecord &earlier : r) {
                if (int(i) < earlier.headings.size()) {
                    earlier.headings[int(i)] = fish[i].heading;
                    earlier.bodyLengths[int(i)] = fish[i].bodyLength;
                }
            }
        }
        if (single && !r.isEmpty() && !r.last().exactPositions.isEmpty()) {
            const QPointF d = record.exactPositions[0] - r.last().exactPositions[0];
            record.movement = float(std::hypot(d.x(), d.y()));
        }
        r.append(record);
    });
    lastAppended = record;
    appended = true;

    if (flags.showTrackerView && fits)
        paintTrackerView(frame.size());
}

cv::Mat BlobsDetection::lastForeground() const
{
    cv::Mat all = cv::Mat::zeros(background.size(), CV_8UC1);
    for (const ArenaTracker &tracker : arenas.trackers()) {
        const QRect r = tracker.arena().rect;
        const cv::Mat &mask = tracker.lastMask();
        if (r.isEmpty() || mask.rows != r.height() || mask.cols != r.width())
            continue;
        mask.copyTo(all(cv::Rect(r.x(), r.y(), r.width(), r.height())), mask);
    }
    return all;
}

void BlobsDetection::takeCorrections(TrackResults &results)
{
    if (!appended)
        return;
    const bool single = !parameters.multiFishFile();
    results.withLock([&](QVector<TrackRecord> &r) {
        if (r.isEmpty() || r.last().frameNumber != lastAppended.frameNumber)
            return;
        TrackRecord &newest = r.last();
        for (int i = 0; i < lastAppended.exactPositions.size(); ++i) {
            const QPointF was = lastAppended.exactPositions[i];
            // The window corrects the whole-pixel position of a single fish; a sub-pixel one
            // that differs takes precedence.
            QPointF now = newest.exactPositions.value(i, was);
            const QPoint pixel
                = single ? QPoint(newest.x, newest.y) : newest.fishPositions.value(i);
            const QPoint pixelWas = single ? QPoint(lastAppended.x, lastAppended.y)
                                           : lastAppended.fishPositions.value(i);
            if (now == was && pixel != pixelWas)
                now = QPointF(pixel);
            if (now == was)
                continue;
            const QPointF p = arenas.correct(i, now);
            if (p != now) // clicked outside the fish's arena: the record shows where it stands
                place(newest, i, p, single);
            if (placed[size_t(i)])
                continue;
            // Placed by the user before it was ever found: its earlier rows, still at its
            // arena's middle, take this place as they would its first found one.
            placed[size_t(i)] = true;
            const QPointF resting = arenas.restingPlace(i);
            for (int k = 0; k + 1 < r.size(); ++k) {
                TrackRecord &earlier = r[k];
                if (i < earlier.exactPositions.size() && earlier.exactPositions[i] == resting)
                    place(earlier, i, p, single);
            }
        }
    });
}

void BlobsDetection::paintTrackerView(const QSize &frameSize)
{
    // The foreground in grey, each blob ringed in its fish's colour (white when it went to no
    // fish). No number: the window numbers each fish beside its marker over this picture, and
    // a second number by the ring read as "3 3".
    QImage view(frameSize, QImage::Format_RGB32);
    view.fill(Qt::black);
    const std::vector<ArenaTracker> &trackers = arenas.trackers();
    for (const ArenaTracker &tracker : trackers) {
        const QRect r = tracker.arena().rect;
        const cv::Mat &mask = tracker.lastMask();
        if (r.isEmpty() || mask.rows != r.height() || mask.cols != r.width())
            continue;
        for (int y = 0; y < mask.rows; ++y) {
            const uchar *m = mask.ptr<uchar>(y);
            QRgb *out = reinterpret_cast<QRgb *>(view.scanLine(r.top() + y)) + r.left();
            for (int x = 0; x < mask.cols; ++x)
                if (m[x])
                    out[x] = qRgb(128, 128, 128);
        }
    }
    QPainter p(&view);
    p.setRenderHint(QPainter::Antialiasing);
    for (size_t a = 0; a < trackers.size(); ++a) {
        const ArenaTracker &tracker = trackers[a];
        const std::vector<Blob> &blobs = tracker.lastBlobs();
        const std::vector<int> &owner = tracker.lastFishOfBlob();
        for (size_t k = 0; k < blobs.size(); ++k) {
            const int fish = owner[k] >= 0 ? arenas.firstFish(int(a)) + owner[k] : -1;
            const QColor colour = fish >= 0 ? FishPalette::colour(fish) : QColor(Qt::white);
            const double radius = std::max(3.0, blobs[k].length / 2);
            p.setPen(QPen(colour, 1.5));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(blobs[k].centre, radius, radius);
        }
    }
    p.end();
    painter.replace(view);
}
