#pragma once
// The classic detection method: a running-average background of the Tracking Area, then
// the single-fish scan of box means or the multi-fish candidates and their greedy matching.
// Tracker thread only.

#include "tracking/DetectionMethod.h"
#include "tracking/RunParameters.h"
#include "tracking/classic/BackgroundModel.h"
#include "tracking/classic/MultiFishDetector.h"
#include "tracking/classic/SingleFishDetector.h"

#include <QPoint>
#include <QRect>

class TrackingHost;
class TrackerViewPainter;
struct TrackerFlags;

class ClassicDetection : public DetectionMethod
{
public:
    ClassicDetection(TrackingHost &host, TrackerFlags &flags, TrackerViewPainter &painter,
        const RunParameters &parameters, const QRect &area);

    void trackFrame(const QImage &frame, qint64 frameNumber, qint64 frameTimeMs,
        TrackResults &results) override;

private:
    TrackingHost &host;
    TrackerFlags &flags;
    TrackerViewPainter &painter;
    RunParameters parameters;
    QRect area;
    QPoint centre;
    BackgroundModel model;
    SingleFishDetector singleFish;
    MultiFishDetector multiFish;
};
