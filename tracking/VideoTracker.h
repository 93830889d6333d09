#pragma once
// The worker thread of a processing run. It drives the host's decoder frame after frame,
// keeps one TrackRecord per processed frame and writes the tracking data file at the end.
// Created once by the main window (or the CLI) and reused for every run.
//
// Shared with the GUI thread:
//   currentFrame, trackerView  - guarded by imageLock (held for a copy or one pixel)
//   results                    - guarded by its resultsLock (held for one access, never a frame)
//   stop / pause / tracker-view flags - atomics written by the GUI
//   the outcome of the last file write - guarded by fileLock

#include "formats/TrackingDataFile.h"
#include "model/TrackRecord.h"
#include "tracking/TrackResults.h"
#include "tracking/classic/TrackerFlags.h"

#include <QImage>
#include <QMutex>
#include <QThread>
#include <QVector>

#include <functional>
#include <optional>

class TrackingHost;

class VideoTracker : public QThread
{
    Q_OBJECT

public:
    explicit VideoTracker(TrackingHost *host);
    ~VideoTracker() override;

    void requestStop();
    bool isStopRequested() const;
    // Pausing is setPaused(true) followed by waitUntilAsleep(). setPaused(false) returns once
    // the tracker has left its sleep, so the next pause never takes the old sleep for a new one.
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
    int recordCount() const;

    // Test seam: called on the tracker thread after each record is appended, with the number
    // of records, before the pause is tested. Null unless a test sets it; set it only while
    // the tracker is idle (start() hands it to the thread).
    void setFrameHook(std::function<void(int recordCount)> hook);

    // Write the file of the run's records beside the video (or to the path set with
    // setDataFilePath). True when the whole file was written.
    bool writeSingleFishFile();
    bool writeMultiFishFile();

    // Where the data file goes; empty (the default) means beside the video, named after it.
    void setDataFilePath(const QString &path);
    // When off, a run that gave no record writes no file, so an earlier data file of the same
    // name is kept (lastWriteError() then says so). On by default: the window writes the
    // header-only file it always has.
    void setWriteWhenEmpty(bool write);
    // The outcome of the last write: the path written or tried, and an empty error on
    // success or a one-line reason on failure. Read them after the thread has finished.
    QString lastWrittenPath() const;
    QString lastWriteError() const;
    // Why the last run's detection method could not start (then lastWriteError() says the
    // same and no file was written); empty when it started. Read after the thread has finished.
    QString startFailure() const;
    // Writes the same file as the last write (same records, overlays and settings) to another
    // path, for a user whose first choice could not be written.
    bool writeDataFileTo(const QString &path);

protected:
    void run() override;

private:
    bool save(const QString &path, const TrackingDataFile::Content &content);
    TrackingDataFile::Content contentFromHost(bool multiFish) const;

    TrackingHost *owner;
    QImage currentFrame; // guarded by imageLock
    QImage trackerView; // guarded by imageLock
    TrackResults results;
    TrackRecord emptyRecord;
    TrackerFlags flags;
    std::function<void(int)> frameHook; // written only while idle, read by run()

    mutable QMutex fileLock;
    QString dataFilePath; // guarded by fileLock
    TrackingDataFile::Content lastContent; // guarded by fileLock
    bool hasLastContent = false; // guarded by fileLock
    QString lastPath; // guarded by fileLock
    QString lastError; // guarded by fileLock
    // The last run's detection line and single-fish flag threshold, when its method set them.
    QString runDetection; // guarded by fileLock
    std::optional<float> runFlagThreshold; // guarded by fileLock
    // The last run's fish count and arenas (the file's fish and its Arena zones).
    std::optional<int> runFishCount; // guarded by fileLock
    QList<Arena> runArenas; // guarded by fileLock
    QString runStartFailure; // guarded by fileLock
    bool writeWhenEmpty = true; // guarded by fileLock
};
