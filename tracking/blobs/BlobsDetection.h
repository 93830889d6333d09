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
#include "tracking/blobs/BackgroundRefresh.h"
#include "tracking/blobs/BlobSettings.h"

#include <opencv2/core.hpp>

#include <QPoint>
#include <QRect>

#include <optional>
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
    // A live session's start: the background from the warm-up's grey frames (or the chosen
    // picture), then kept up to date after every frame (BackgroundRefresh). shown: a frame of
    // the source, for its size. False with startFailure() as prepare().
    bool prepareLive(const QImage &shown, const std::vector<cv::Mat> &samples);
    QString startFailure() const override { return failure; }
    void trackFrame(const QImage &frame, qint64 frameNumber, qint64 frameTimeMs,
        TrackResults &results) override;
    QString description() const override;
    bool flagThreshold(float *threshold) const override;

    const BlobParameters &usedParameters() const { return used; }

private:
    bool fail(const QString &why);
    // The area, arenas and chosen background against the frame's size.
    bool check(const QImage &shown);
    // The background and the tracking parameters from the samples.
    void build(const QImage &shown, const std::vector<cv::Mat> &samples);
    // Every arena's foreground of the last frame, frame-sized.
    cv::Mat lastForeground() const;

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
    std::optional<BackgroundRefresh> refresh; // live sessions only
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
