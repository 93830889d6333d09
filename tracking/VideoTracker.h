#pragma once
// The worker thread of a processing run. It drives the host's decoder frame after frame,
// keeps one TrackRecord per processed frame and writes the tracking data file at the end.
// Created once by the main window and reused for every run.
//
// Shared with the GUI thread:
//   currentFrame, trackerView  - guarded by imageLock (held for a copy or one pixel)
//   results                    - guarded by resultsLock (held for one access, never a frame)
//   stop / pause / tracker-view flags - atomics written by the GUI

#include "tracking/TrackRecord.h"

#include <QImage>
#include <QMutex>
#include <QThread>
#include <QVector>

#include <atomic>

class TrackingHost;

class VideoTracker : public QThread
{
    Q_OBJECT

public:
    explicit VideoTracker(TrackingHost *owner);
    ~VideoTracker() override;

    void requestStop();
    void setPaused(bool paused);
    bool isPaused() const;
    // After setPaused(true): waits until the tracker has finished its frame and sleeps, so the
    // decoder and the records can be used by the GUI. Returns at once when not running.
    void waitUntilAsleep();
    void setShowTrackerView(bool show);

    // Copy these only while holding imageLock.
    QImage &frameImage();
    QImage &trackerViewImage();

    QPoint lastPosition(bool *ok) const;
    QVector<QPoint> lastPositions() const;
    // Record `index` places before the newest (0 = newest); ok is false when out of range.
    TrackRecord recordFromEnd(int index, bool *ok) const;
    // Replaces that record (manual correction while paused); false when out of range.
    bool setRecordFromEnd(int index, const TrackRecord &record);
    QVector<TrackRecord> resultsSnapshot() const;

    bool writeSingleFishFile();
    bool writeMultiFishFile();

protected:
    void run() override;

private:
    TrackingHost *owner;
    QImage currentFrame;  // guarded by imageLock
    QImage trackerView;   // guarded by imageLock
    mutable QMutex resultsLock;
    QVector<TrackRecord> results;  // guarded by resultsLock
    TrackRecord emptyRecord;
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> paused{false};
    std::atomic<bool> showTrackerView{false};
};
