#include "tracking/VideoTracker.h"

#include "tracking/TrackingHost.h"

// Placeholder until the tracking run lands: a run ends at once.
VideoTracker::VideoTracker(TrackingHost *owner) : owner(owner) {}
VideoTracker::~VideoTracker() {}
void VideoTracker::requestStop()
{
    stopRequested = true;
    paused = false;
}
void VideoTracker::setPaused(bool p) { paused = p; }
bool VideoTracker::isPaused() const { return paused; }
void VideoTracker::waitUntilAsleep() {}
void VideoTracker::setShowTrackerView(bool show) { showTrackerView = show; }
QImage &VideoTracker::frameImage() { return currentFrame; }
QImage &VideoTracker::trackerViewImage() { return trackerView; }
QPoint VideoTracker::lastPosition(bool *ok) const
{
    QMutexLocker locker(&resultsLock);
    if (ok)
        *ok = !results.isEmpty();
    return results.isEmpty() ? QPoint() : QPoint(results.last().x, results.last().y);
}
QVector<QPoint> VideoTracker::lastPositions() const
{
    QMutexLocker locker(&resultsLock);
    return results.isEmpty() ? QVector<QPoint>() : results.last().fishPositions;
}
TrackRecord VideoTracker::recordFromEnd(int index, bool *ok) const
{
    QMutexLocker locker(&resultsLock);
    const bool inRange = index >= 0 && index < results.size();
    if (ok)
        *ok = inRange;
    return inRange ? results.at(results.size() - 1 - index) : emptyRecord;
}
bool VideoTracker::setRecordFromEnd(int index, const TrackRecord &record)
{
    QMutexLocker locker(&resultsLock);
    if (index < 0 || index >= results.size())
        return false;
    results[results.size() - 1 - index] = record;
    return true;
}
QVector<TrackRecord> VideoTracker::resultsSnapshot() const
{
    QMutexLocker locker(&resultsLock);
    return results;
}
bool VideoTracker::writeSingleFishFile() { return false; }
bool VideoTracker::writeMultiFishFile() { return false; }
void VideoTracker::run() { stopRequested = false; }
