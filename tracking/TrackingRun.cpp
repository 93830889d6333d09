#include "tracking/TrackingRun.h"

#include "model/ArenaLayout.h"
#include "tracking/ImageLock.h"
#include "tracking/TrackResults.h"
#include "tracking/TrackingHost.h"
#include "tracking/blobs/BlobsDetection.h"
#include "tracking/classic/ClassicDetection.h"
#include "tracking/classic/TrackerFlags.h"
#include "video/QVideoDecoder.h"

#include <QDebug>
#include <QMutexLocker>
#include <QThread>

#include <memory>

TrackingRun::TrackingRun(TrackingHost &runHost, TrackResults &runResults, QImage &frameImage,
    QImage &trackerView, TrackerFlags &runFlags)
    : host(runHost)
    , results(runResults)
    , currentFrame(frameImage)
    , flags(runFlags)
    , painter(trackerView)
{
}

RunParameters TrackingRun::trackVideo()
{
    results.clear();
    qDebug("Processing...");

    parameters = RunParameters::fromControls(host.trackingControls());

    const OverlaySet overlays = host.viewOverlays();
    const QRect area = overlays.areas.value(0);
    // Arenas belong to the whole-video background method; the classic method tracks the
    // Tracking Area alone.
    if (parameters.method == DetectionKind::Blobs && !overlays.arenas.isEmpty()) {
        parameters.arenas = overlays.arenas;
        parameters.fishCount = ArenaLayout::totalFish(overlays.arenas);
    }

    painter.reset(host.viewImage());

    std::unique_ptr<DetectionMethod> method;
    if (parameters.method == DetectionKind::Blobs)
        method = std::make_unique<BlobsDetection>(host, flags, painter, parameters, area);
    else
        method = std::make_unique<ClassicDetection>(host, flags, painter, parameters, area);

    QVideoDecoder *decoder = host.videoDecoder();
    // A method that cannot start (it says why) leaves the run without records.
    if (decoder && !method->prepare(decoder)) {
        parameters.startFailure = method->startFailure();
        decoder = nullptr;
    }
    // The decoder prepares the next frame on a helper thread while this one is tracked.
    if (decoder)
        decoder->setReadAhead(true);
    while (decoder && !flags.stopRequested) {
        if (!decoder->seekNextFrame())
            break;
        QImage frame;
        qint64 frameNumber = 0, frameTime = 0;
        // Decoded and converted outside the lock; the GUI only ever sees a whole frame.
        if (!decoder->copyFrame(frame, &frameNumber, &frameTime))
            break;
        {
            QMutexLocker locker(&imageLock);
            currentFrame = frame;
        }
        method->trackFrame(frame, frameNumber, frameTime, results);
        if (frameHook)
            frameHook(results.size());
        // Pausing acts between frames; a stop request ends the pause.
        if (flags.paused && !flags.stopRequested) {
            flags.asleep = true;
            while (flags.paused && !flags.stopRequested)
                QThread::msleep(100);
            flags.asleep = false;
        }
    }

    if (decoder)
        decoder->setReadAhead(false);
    host.setShowResults(false);
    parameters.detectionDescription = method->description();
    float threshold = 0.0f;
    if (method->flagThreshold(&threshold))
        parameters.flagThreshold = threshold;
    return parameters;
}
