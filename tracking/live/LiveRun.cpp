#include "tracking/live/LiveRun.h"

#include "model/ArenaLayout.h"
#include "tracking/ImageLock.h"
#include "tracking/TrackResults.h"
#include "tracking/TrackingHost.h"
#include "tracking/blobs/BlobsDetection.h"
#include "tracking/blobs/GreyPlane.h"
#include "tracking/classic/ClassicDetection.h"
#include "tracking/classic/TrackerFlags.h"
#include "tracking/live/EventSender.h"
#include "tracking/live/LiveDataFile.h"
#include "tracking/live/ZoneCrossings.h"
#include "video/LiveSource.h"

#include <QMutexLocker>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <future>
#include <memory>

namespace {

constexpr size_t latencyWindow = 1024; // the pictures a median is taken over

float median(std::vector<float> values)
{
    if (values.empty())
        return -1.0f;
    const auto middle = values.begin() + values.size() / 2;
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

} // namespace

LiveRun::LiveRun(TrackingHost &runHost, LiveSource &liveSource, TrackResults &runResults,
    QImage &frameImage, QImage &trackerView, TrackerFlags &runFlags, const Settings &runSettings)
    : host(runHost)
    , source(liveSource)
    , results(runResults)
    , currentFrame(frameImage)
    , flags(runFlags)
    , painter(trackerView)
    , settings(runSettings)
{
}

void LiveRun::requestStop()
{
    flags.stopRequested = true;
}

LiveRun::Status LiveRun::status() const
{
    QMutexLocker locker(&statusLock);
    Status s = current;
    s.rowLatencyMs = median(rowLatencies);
    s.eventLatencyMs = median(eventLatencies);
    if (firstTakenNs != 0)
        s.wallSeconds = double(LiveSource::nowNs() - firstTakenNs) / 1e9;
    return s;
}

QString LiveRun::failure() const
{
    QMutexLocker locker(&statusLock);
    return failed;
}

void LiveRun::fail(const QString &why)
{
    QMutexLocker locker(&statusLock);
    if (failed.isEmpty())
        failed = why;
}

void LiveRun::addLatency(std::vector<float> &ring, size_t &next, int64_t arrivalNs)
{
    const float ms = float(double(LiveSource::nowNs() - arrivalNs) / 1e6);
    if (ring.size() < latencyWindow)
        ring.push_back(ms);
    else
        ring[next] = ms;
    next = (next + 1) % latencyWindow;
}

TrackRecord LiveRun::notFound(const TrackRecord *like) const
{
    TrackRecord r;
    if (like) {
        r = *like;
    } else {
        const QPoint centre(area.left() + area.width() / 2, area.top() + area.height() / 2);
        const int n = parameters.fishCount;
        r.x = centre.x();
        r.y = centre.y();
        if (parameters.multiFishFile()) {
            r.fishPositions.fill(centre, n);
            r.fishConfidences.fill(0.0f, n);
            r.fishFoundFlags.fill(false, n);
        }
        if (parameters.method == DetectionKind::Blobs) {
            r.exactPositions.fill(QPointF(centre), n);
            r.headings.fill(0.0f, n);
            r.bodyLengths.fill(0.0f, n);
            r.areas.fill(0.0f, n);
        }
    }
    r.found = false;
    r.confidence = 0.0f;
    r.movement = 0.0f;
    r.fishFoundFlags.fill(false);
    r.fishConfidences.fill(0.0f);
    r.areas.fill(0.0f);
    return r;
}

RunParameters LiveRun::run()
{
    results.clear();
    parameters = RunParameters::fromControls(host.trackingControls());
    if (settings.method)
        parameters.method = *settings.method;
    OverlaySet overlays = host.viewOverlays();
    // No Tracking Area (nothing drawn yet), or one off the picture: the whole picture.
    const QRect picture(QPoint(0, 0), source.frameSize());
    if (overlays.areas.isEmpty()) {
        overlays.areas << QRect();
        overlays.areaLabels << QStringLiteral("Tracking Area");
    }
    if (!picture.intersects(overlays.areas[0]))
        overlays.areas[0] = picture;
    overlays.areas[0] &= picture;
    area = overlays.areas.value(0);
    const bool blobs = parameters.method == DetectionKind::Blobs;
    if (blobs && !overlays.arenas.isEmpty()) {
        parameters.arenas = overlays.arenas;
        parameters.fishCount = ArenaLayout::totalFish(overlays.arenas);
    }
    painter.reset(host.viewImage());
    std::unique_ptr<DetectionMethod> method;
    BlobsDetection *blobsMethod = nullptr;
    if (blobs) {
        auto made = std::make_unique<BlobsDetection>(host, flags, painter, parameters, area);
        blobsMethod = made.get();
        method = std::move(made);
    } else {
        method = std::make_unique<ClassicDetection>(host, flags, painter, parameters, area);
    }

    EventSender sender;
    if (!settings.events.isEmpty()) {
        QString error;
        if (!sender.open(settings.events, &error)) {
            fail(error);
            return parameters;
        }
    }
    // The file's overlays and kind, as an offline run of the same settings writes them.
    TrackingDataFile::Content content;
    content.multiFish = parameters.multiFishFile();
    content.fishCount = parameters.fishCount;
    content.confidenceThreshold = parameters.confidenceThreshold;
    content.overlays = overlays;
    ZoneCrossings crossings(overlays, parameters.fishCount);
    LiveDataFile file;
    bool started = false;
    bool warmingUp = blobs; // the whole-video background's warm-up is not over
    auto startFile = [&]() {
        content.detection = !blobs ? QStringLiteral("classic")
            : warmingUp            ? QStringLiteral("blobs warm-up-unfinished")
                                   : method->description();
        float threshold = 0.0f;
        if (method->flagThreshold(&threshold))
            content.confidenceThreshold = threshold;
        content.detection
            += QStringLiteral(" live time=%1 source=%2")
                   .arg(source.streamTime() ? QStringLiteral("stream")
                                            : QStringLiteral("wall-clock"),
                       QString::fromLatin1(QUrl::toPercentEncoding(host.fileName(), "/:@")));
        if (!parameters.arenas.isEmpty()) {
            content.overlays.arenas = parameters.arenas;
            const QString groups = ArenaLayout::describeGroups(parameters.arenas);
            if (!groups.isEmpty())
                content.detection += QLatin1Char(' ') + groups;
            content.detection += QLatin1Char(' ') + ArenaLayout::describeRects(parameters.arenas);
        }
        content.records = results.snapshot();
        QString error;
        if (!file.start(settings.dataFile, content, blobs, &error)) {
            fail(error);
            return false;
        }
        started = true;
        return true;
    };
    auto appendRecord = [&](const TrackRecord &record) {
        results.withLock([&record](QVector<TrackRecord> &r) { r.append(record); });
    };
    // A row made: to the file (once it is started), then its events out.
    auto rowMade = [&](const TrackRecord &record, qint64 index, int64_t arrivalNs, bool tracked) {
        QString error;
        if (started && !file.append(record, &error)) {
            fail(error);
            return false;
        }
        QMutexLocker locker(&statusLock);
        ++current.rows;
        current.seconds = record.seconds;
        if (!tracked)
            return true;
        ++current.tracked;
        if (started)
            addLatency(rowLatencies, rowNext, arrivalNs);
        locker.unlock();
        const QList<ZoneCrossings::Event> events = crossings.crossings(record, index);
        for (const ZoneCrossings::Event &event : events) {
            if (settings.events.isEmpty())
                break;
            if (!sender.send(event.json(), &error)) {
                fail(error);
                return false;
            }
        }
        if (!events.isEmpty() && !settings.events.isEmpty()) {
            locker.relock();
            current.events += events.size();
            addLatency(eventLatencies, eventNext, arrivalNs);
        }
        return true;
    };

    // The whole-video background's warm-up: samples spread over its first seconds.
    const int samplesWanted = std::max(1, host.trackingControls().blobs.backgroundFrames.load());
    std::vector<cv::Mat> samples;
    double nextSampleAt = 0.0;
    // The background made of the samples on a thread of its own, so that the pictures coming
    // meanwhile are taken (as warm-up rows) rather than dropped; only that thread touches the
    // method until the future is ready.
    std::future<bool> preparing;
    {
        QMutexLocker locker(&statusLock);
        current.warmingUp = warmingUp;
    }

    const int64_t startNs = LiveSource::nowNs();
    qint64 nextIndex = 0;
    double lastSeconds = 0.0;
    for (;;) {
        // At the end, reading stops and the pictures still waiting are the last ones taken, so
        // that the rows of the pictures dropped before them are written too.
        const bool ending = flags.stopRequested
            || (settings.durationSeconds > 0
                && double(LiveSource::nowNs() - startNs) / 1e9 >= settings.durationSeconds);
        if (ending)
            source.stop();
        LiveSource::Frame frame;
        if (!source.take(&frame, ending ? 0 : 100)) {
            if (ending || source.ended())
                break;
            continue;
        }
        {
            QMutexLocker locker(&imageLock);
            currentFrame = frame.image;
        }
        // The pictures dropped since the last one taken: rows marked not found, their times
        // spread evenly between the two taken (the first picture's time is 0).
        const qint64 anchor = nextIndex > 0 ? nextIndex - 1 : 0;
        const double anchorSeconds = nextIndex > 0 ? lastSeconds : 0.0;
        bool ok = true;
        for (qint64 i = nextIndex; i < frame.index && ok; ++i) {
            TrackRecord newest;
            const bool has = results.newest(&newest);
            TrackRecord row = notFound(has ? &newest : nullptr);
            row.frameNumber = i;
            row.seconds = float(anchorSeconds
                + (frame.seconds - anchorSeconds) * double(i - anchor)
                    / double(frame.index - anchor));
            appendRecord(row);
            ok = rowMade(row, i, frame.arrivalNs, false);
        }
        if (!ok)
            break;
        {
            QMutexLocker locker(&statusLock);
            current.dropped = source.dropped();
            current.streamTime = source.streamTime();
            if (firstTakenNs == 0)
                firstTakenNs = frame.arrivalNs;
        }
        nextIndex = frame.index + 1;
        lastSeconds = frame.seconds;

        if (warmingUp) {
            if (!preparing.valid() && frame.seconds >= nextSampleAt) {
                samples.push_back(GreyPlane::of(frame.image));
                nextSampleAt = settings.warmUpSeconds * double(samples.size()) / samplesWanted;
            }
            TrackRecord newest;
            const bool has = results.newest(&newest);
            TrackRecord row = notFound(has ? &newest : nullptr);
            row.frameNumber = frame.index;
            row.seconds = float(frame.seconds);
            appendRecord(row);
            rowMade(row, frame.index, frame.arrivalNs, false);
            if (!preparing.valid()) {
                if (frame.seconds < settings.warmUpSeconds && int(samples.size()) < samplesWanted)
                    continue;
                preparing = std::async(std::launch::async,
                    [blobsMethod, shown = frame.image, taken = std::move(samples)] {
                        return blobsMethod->prepareLive(shown, taken);
                    });
                samples.clear();
                continue;
            }
            if (preparing.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
                continue;
            warmingUp = false;
            if (!preparing.get()) {
                fail(blobsMethod->startFailure());
                break;
            }
            {
                QMutexLocker locker(&statusLock);
                current.warmingUp = false;
            }
            if (!startFile())
                break;
            continue;
        }
        if (!started && !startFile())
            break;
        method->trackFrame(
            frame.image, frame.index, qint64(std::llround(frame.seconds * 1000.0)), results);
        TrackRecord made;
        results.newest(&made);
        if (!rowMade(made, frame.index, frame.arrivalNs, true))
            break;
    }
    source.stop();
    if (preparing.valid())
        preparing.wait();
    // A session that ended during the warm-up still keeps its rows (all marked not found).
    if (!started && failure().isEmpty() && results.size() > 0)
        startFile();
    if (!source.endReason().isEmpty())
        fail(QStringLiteral("%1: %2").arg(host.fileName(), source.endReason()));
    QString error;
    if (started && !file.sync(&error))
        fail(error);
    {
        QMutexLocker locker(&statusLock);
        current.dropped = source.dropped();
    }
    host.setShowResults(false);
    parameters.detectionDescription = content.detection;
    return parameters;
}
