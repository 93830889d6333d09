#pragma once
// One processing run without a window: prepares the chosen detection method, steps the host's
// decoder from the frame after the one on display to the end (or a stop request) and hands
// each frame to the method, which detects one or several fish in the Tracking Area and
// appends one record per frame. The data file is written by
// the caller (VideoTracker) afterwards. Runs on the tracker thread.

#include "tracking/RunParameters.h"
#include "tracking/TrackerViewPainter.h"

#include <QImage>

#include <functional>

class TrackingHost;
class TrackResults;
struct TrackerFlags;

class TrackingRun
{
public:
    // currentFrame and trackerView are the tracker's two images (guarded by imageLock);
    // results is cleared at the start of the run.
    TrackingRun(TrackingHost &host, TrackResults &results, QImage &currentFrame,
        QImage &trackerView, TrackerFlags &flags);

    // The run, in order; returns the parameters it held (the fish count picks the file).
    RunParameters trackVideo();

    // Called after each record is appended, with the number of records (a test seam).
    void setFrameHook(std::function<void(int)> hook) { frameHook = std::move(hook); }

private:
    TrackingHost &host;
    TrackResults &results;
    QImage &currentFrame;
    TrackerFlags &flags;
    TrackerViewPainter painter;

    RunParameters parameters;
    std::function<void(int)> frameHook;
};
