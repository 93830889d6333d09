#pragma once
// The whole-video background method: a pre-pass makes the background from frames spread over
// the video (or takes the user's picture of the empty tank), then each frame's blobs are found
// and matched to the fish inside each arena (the Tracking Area when there are none). Records carry
// sub-pixel positions; before a fish is first found its rows hold its first found position, marked
// not found. Tracker thread.

#include "model/TrackRecord.h"
#include "tracking/DetectionMethod.h"
#include "tracking/RunParameters.h"
#include "tracking/blobs/ArenaSet.h"
#include "tracking/blobs/BlobSettings.h"

#include <opencv2/core.hpp>

#include <QPoint>
#include <QRect>

#include <vector>

class TrackingHost;
class TrackerViewPainter;
struct TrackerFlags;

class BlobsDetection : public DetectionMethod
{
public:
    BlobsDetection(TrackingHost &host, TrackerFlags &flags, TrackerViewPainter &painter,
        const RunParameters &parameters, const QRect &area);

    bool prepare(QVideoDecoder *decoder) override;
    QString startFailure() const override { return failure; }
    void trackFrame(const QImage &frame, qint64 frameNumber, qint64 frameTimeMs,
        TrackResults &results) override;
    QString description() const override;
    bool flagThreshold(float *threshold) const override;

    const BlobParameters &usedParameters() const { return used; }

private:
    // A correction the user made while paused shows as a newest record other than the one
    // appended last: each fish placed elsewhere goes on from its new place, inside its arena.
    void takeCorrections(TrackResults &results);
    void paintTrackerView(const QSize &frameSize);

    TrackingHost &host;
    TrackerFlags &flags;
    TrackerViewPainter &painter;
    RunParameters parameters;
    QRect area;
    QPoint centre;
    BlobSettings asked;
    BlobParameters used;
    bool prepared = false;
    QString failure; // why prepare() failed, naming the file
    cv::Mat background;
    int samplesTaken = 0; // frames the pre-pass sampled
    // The index of the next picture tracked, counted from the video's first (0); -1 when it
    // could not be counted.
    qint64 nextPictureIndex = -1;
    ForegroundMask::Rule rulePicked = ForegroundMask::Rule::Absolute;
    QString backgroundWords; // how the background was made, for the Detection line
    bool darkAnimals = true; // the animals' polarity the background was made for
    cv::Mat grey;
    ArenaSet arenas;
    std::vector<bool> placed; // per fish: found once, its earlier rows filled in
    std::vector<bool> measured; // per fish: heading known, its earlier rows filled in
    bool firstFrame = true;
    TrackRecord lastAppended; // the record of the last frame, as appended
    bool appended = false;
};
