#pragma once
// Finds one fish per frame: the window with the highest box mean weighted by its proximity
// to the reference position (where the fish was last seen). Also fills the gap of missed
// frames when the fish is found again. Tracker thread only.

#include "tracking/ProximityWeights.h"
#include "tracking/TrackRecord.h"

#include <QPoint>
#include <QRect>
#include <QVector>

#include <atomic>

class BackgroundModel;
class TrackerViewPainter;

class SingleFishDetector
{
public:
    // Once per run, after the parameters are read: the weight table for the area.
    void reset(const QRect &area, float gaussianVariance, float confidenceThreshold);

    // Scans the box means of the frame and returns its record, without frame number and
    // time. Paints the tracker view while showTrackerView is set (read at every pixel).
    TrackRecord detect(const BackgroundModel &model, QPoint reference,
                       const std::atomic<bool> &showTrackerView, TrackerViewPainter &painter) const;

    // Called right after a record was appended: when the newest record is found and the one
    // before it is not, the missed records get positions on the straight line from the last
    // found record (or the first of the run) to the newest one.
    static void backFill(QVector<TrackRecord> &records);

private:
    QRect area;
    float threshold = 0.0f;
    ProximityWeights weights;
};
