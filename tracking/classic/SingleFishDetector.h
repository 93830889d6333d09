#pragma once
// Finds one fish per frame: the window with the highest box mean weighted by its proximity
// to the reference position (where the fish was last seen). Also fills the gap of missed
// frames when the fish is found again. Tracker thread only.

#include "model/TrackRecord.h"
#include "tracking/classic/ProximityWeights.h"
#include "tracking/classic/kernels/RowKernels.h"

#include <QPoint>
#include <QRect>
#include <QVector>

#include <atomic>
#include <cfloat>
#include <vector>

class BackgroundModel;
class BoxMeanRows;
class TrackerViewPainter;

class SingleFishDetector
{
public:
    // Once per run, after the parameters are read: the weight table for the area.
    void reset(const QRect &area, float gaussianVariance, float confidenceThreshold);

    // Optional, before the frame is added to the model: the frame's reference position. The
    // rows of box means can then be scored by scanRows() as the model's update completes
    // them, while they are still in the cache; detect() takes that result when its scan goes
    // row by row (the tracker view not painted, the reference within the weights' span), the
    // same maximum a scan after the update finds.
    void beginFrame(const BackgroundModel &model, QPoint reference);
    // Rows of box means as the pass completes them (BackgroundModel::MeanRows).
    void scanRows(const BackgroundModel &model, const BoxMeanRows &rows);

    // Scans the box means of the frame and returns its record, without frame number and
    // time. Paints the tracker view while showTrackerView is set (read at every pixel).
    TrackRecord detect(const BackgroundModel &model, QPoint reference,
        const std::atomic<bool> &showTrackerView, TrackerViewPainter &painter);

    // Called right after a record was appended: when the newest record is found and the one
    // before it is not, the missed records get positions on the straight line from the last
    // found record (or the first of the run) to the newest one.
    static void backFill(QVector<TrackRecord> &records);

private:
    struct Best
    {
        float score;
        float mean;
        int x = 0, y = 0;
    };
    // Rows yBegin ... yEnd of the scan by rows, into best; the reference within the span.
    // Rows whose scores cannot reach a guess at the frame's best score are passed over too,
    // and noted in *passedOverByGuess.
    void scoreRows(const BackgroundModel &model, QPoint reference, const BoxMeanRows &rows,
        int yBegin, int yEnd, Best &best, float guess = -FLT_MAX,
        bool *passedOverByGuess = nullptr) const;

    QRect area;
    float threshold = 0.0f;
    ProximityWeights weights;
    const RowKernels *kernels = &RowKernels::plain(); // RowKernels::active() at reset()
    float lastBestScore = -FLT_MAX; // the best score of the last frame detected

    // The rows scored so far this frame by scanRows().
    struct RowScan
    {
        bool active = false;
        QPoint reference;
        int nextRow = 0; // the first row not yet scored
        Best best;
        // Half the last frame's best score: the rows scanned ahead skip what cannot reach it.
        // Should the frame's best fall below it, the rows skipped for it may have held the
        // best, and detect() scans the whole map instead.
        float guess = -FLT_MAX;
        bool passedOverByGuess = false;
    } rowScan;
};
