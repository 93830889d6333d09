#pragma once
// Finds several fish per frame and keeps their identities: candidates are the local maxima
// of the box-mean map that reach the threshold; they are matched to the previous frame's
// fish greedily, nearest pair first, within three filter widths; fish left over take the
// nearest free candidate, and such a jump clears the fish's flag in the previous record.
// Tracker thread only. The box-mean map is the background model's, filled with each frame.

#include "model/TrackRecord.h"
#include "tracking/classic/CandidateScan.h"

#include <QPoint>
#include <QRect>
#include <QVector>

#include <atomic>
#include <vector>

class BackgroundModel;
class BoxMeanRows;
class TrackerViewPainter;

class MultiFishDetector
{
public:
    using Candidate = FishCandidate;

    struct Result
    {
        QVector<QPoint> positions; // one per fish, fish index order
        QVector<float> confidences;
        QVector<bool> found;
        // Fish that took a candidate outside the matching: their flag in the previous
        // record is to be cleared.
        QVector<int> clearPrevious;
    };

    void reset(const QRect &area, int fishCount, int filterSide, float confidenceThreshold);

    // Before a frame's update: its candidates are then found from the rows of box means the
    // update hands to scanRows(), and detect() needs the whole map only for the tracker view.
    void beginFrame(const BackgroundModel &model);
    void scanRows(const BoxMeanRows &rows) { scan.addRows(rows); }

    // previous: the newest record of the run, or null in the first frame.
    Result detect(const BackgroundModel &model, const TrackRecord *previous,
        const std::atomic<bool> &showTrackerView, TrackerViewPainter &painter);

    // The steps after the map, open to tests: candidates of a box-mean map (W x H, index
    // y * W + x) and the assignment to the fish.
    static std::vector<Candidate> findCandidates(
        const float *map, int width, int height, int half, QPoint origin, float threshold);
    static Result assign(const std::vector<Candidate> &candidates, const TrackRecord *previous,
        int fishCount, QPoint centre, int filterSide);

    static float distance(QPoint a, QPoint b);

private:
    QRect area;
    int fishCount = 2;
    int filterSide = 3;
    float threshold = 0.0f;
    CandidateScan scan; // this frame's, when beginFrame() started it
};
