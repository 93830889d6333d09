#include "tracking/classic/ClassicDetection.h"

#include "tracking/TrackResults.h"
#include "tracking/TrackingHost.h"
#include "tracking/classic/TrackerFlags.h"

ClassicDetection::ClassicDetection(TrackingHost &runHost, TrackerFlags &runFlags,
    TrackerViewPainter &viewPainter, const RunParameters &runParameters, const QRect &trackingArea)
    : host(runHost)
    , flags(runFlags)
    , painter(viewPainter)
    , parameters(runParameters)
    , area(trackingArea)
    , centre(area.left() + area.width() / 2, area.top() + area.height() / 2)
{
    model.reset(area, parameters.filterSide, parameters.framesToAverage);
    if (parameters.fishCount == 1)
        singleFish.reset(area, parameters.gaussianVariance, parameters.confidenceThreshold);
    else
        multiFish.reset(
            area, parameters.fishCount, parameters.filterSide, parameters.confidenceThreshold);
}

void ClassicDetection::trackFrame(
    const QImage &frame, qint64 frameNumber, qint64 frameTimeMs, TrackResults &results)
{
    // The newest record: the reference position of single-fish detection and the previous
    // frame of the multi-fish matching. A position the user corrected while paused counts.
    TrackRecord previous;
    const bool hasPrevious = results.newest(&previous);

    const bool single = parameters.fishCount == 1;
    const QPoint reference = hasPrevious ? QPoint(previous.x, previous.y) : centre;
    bool completed;
    // While the tracker view is shown, the scan walks the whole map of means in column order,
    // which the update then writes out as it goes.
    if (single && !flags.showTrackerView.load(std::memory_order_relaxed)) {
        // The single-fish scan scores the rows of box means as the update completes them.
        singleFish.beginFrame(model, reference);
        completed = model.update(frame, host.trackingControls(),
            [this](const BoxMeanRows &rows) { singleFish.scanRows(model, rows); });
    } else if (!single && !flags.showTrackerView.load(std::memory_order_relaxed)) {
        // So does the multi-fish search for candidates.
        multiFish.beginFrame(model);
        completed = model.update(frame, host.trackingControls(),
            [this](const BoxMeanRows &rows) { multiFish.scanRows(rows); });
    } else {
        completed = model.update(frame, host.trackingControls());
    }
    if (completed)
        host.setShowResults(true);

    TrackRecord record;
    if (single) {
        record = singleFish.detect(model, reference, flags.showTrackerView, painter);
        host.setFishFound(record.found);
    } else {
        MultiFishDetector::Result found = multiFish.detect(
            model, hasPrevious ? &previous : nullptr, flags.showTrackerView, painter);
        record.x = centre.x();
        record.y = centre.y();
        record.fishPositions = found.positions;
        record.fishConfidences = found.confidences;
        record.fishFoundFlags = found.found;
        if (!found.clearPrevious.isEmpty()) {
            results.withLock([&found](QVector<TrackRecord> &r) {
                if (r.isEmpty())
                    return;
                QVector<bool> &flagsOfPrevious = r.last().fishFoundFlags;
                for (int i : std::as_const(found.clearPrevious))
                    if (i < flagsOfPrevious.size())
                        flagsOfPrevious[i] = false;
            });
        }
    }
    record.frameNumber = frameNumber;
    record.seconds = float(double(frameTimeMs) / 1000.0);

    results.withLock([&record, single](QVector<TrackRecord> &r) {
        r.append(record);
        if (single)
            SingleFishDetector::backFill(r);
    });
}
