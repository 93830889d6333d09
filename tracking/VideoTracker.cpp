#include "tracking/VideoTracker.h"

#include "model/ArenaLayout.h"
#include "tracking/TrackingHost.h"
#include "tracking/TrackingRun.h"

#include <QMutexLocker>

VideoTracker::VideoTracker(TrackingHost *host)
    : owner(host)
{
}

VideoTracker::~VideoTracker()
{
    // The owner stops and waits for a run before it goes; this covers any other owner.
    requestStop();
    wait();
}

void VideoTracker::requestStop()
{
    flags.stopRequested = true;
    flags.paused = false;
}

bool VideoTracker::isStopRequested() const
{
    return flags.stopRequested;
}

void VideoTracker::setPaused(bool p)
{
    flags.paused = p;
    // A tracker still inside its 100 ms sleep would otherwise look asleep to a pause that
    // follows at once, while it is in fact about to take the next frame.
    if (!p)
        while (isRunning() && flags.asleep)
            QThread::msleep(1);
}
bool VideoTracker::isPaused() const
{
    return flags.paused;
}

void VideoTracker::waitUntilAsleep()
{
    // At most one frame's work: the tracker tests the pause right after each frame.
    while (isRunning() && flags.paused && !flags.asleep)
        QThread::msleep(1);
}

void VideoTracker::setShowTrackerView(bool show)
{
    flags.showTrackerView = show;
}
QImage &VideoTracker::frameImage()
{
    return currentFrame;
}
QImage &VideoTracker::trackerViewImage()
{
    return trackerView;
}

QPoint VideoTracker::lastPosition(bool *ok) const
{
    TrackRecord newest;
    const bool any = results.newest(&newest);
    if (ok)
        *ok = any;
    return any ? QPoint(newest.x, newest.y) : QPoint();
}

QVector<QPoint> VideoTracker::lastPositions() const
{
    TrackRecord newest;
    return results.newest(&newest) ? newest.fishPositions : QVector<QPoint>();
}

TrackRecord VideoTracker::recordFromEnd(int index, bool *ok) const
{
    return results.withLock([&](const QVector<TrackRecord> &r) {
        const bool inRange = index >= 0 && index < r.size();
        if (ok)
            *ok = inRange;
        return inRange ? r.at(r.size() - 1 - index) : emptyRecord;
    });
}

bool VideoTracker::setRecordFromEnd(int index, const TrackRecord &record)
{
    return results.withLock([&](QVector<TrackRecord> &r) {
        if (index < 0 || index >= r.size())
            return false;
        r[r.size() - 1 - index] = record;
        return true;
    });
}

QVector<TrackRecord> VideoTracker::resultsSnapshot() const
{
    return results.snapshot();
}
int VideoTracker::recordCount() const
{
    return results.size();
}

void VideoTracker::setFrameHook(std::function<void(int)> hook)
{
    if (!isRunning())
        frameHook = std::move(hook);
}

void VideoTracker::run()
{
    flags.stopRequested = false;
    TrackingRun trackingRun(*owner, results, currentFrame, trackerView, flags);
    trackingRun.setFrameHook(frameHook);
    const RunParameters parameters = trackingRun.trackVideo();
    {
        QMutexLocker locker(&fileLock);
        runDetection = parameters.detectionDescription;
        runFlagThreshold = parameters.flagThreshold;
        runFishCount = parameters.fishCount;
        runArenas = parameters.arenas;
        runStartFailure = parameters.startFailure;
        // A run that could not start writes no file: an earlier one is kept, and the reason
        // is the outcome.
        if (!runStartFailure.isEmpty()) {
            lastPath = dataFilePath;
            lastError = runStartFailure;
            return;
        }
    }
    const bool empty = results.size() == 0;
    {
        QMutexLocker locker(&fileLock);
        if (!writeWhenEmpty && empty) {
            lastPath = dataFilePath;
            lastError = QStringLiteral("the run gave no record, so no file was written");
            return;
        }
    }
    if (!parameters.multiFishFile())
        writeSingleFishFile();
    else
        writeMultiFishFile();
}

TrackingDataFile::Content VideoTracker::contentFromHost(bool multiFish) const
{
    TrackingDataFile::Content content;
    content.multiFish = multiFish;
    content.fishCount = owner->trackingControls().fishCount;
    content.confidenceThreshold = owner->trackingControls().confidenceThreshold;
    content.overlays = owner->viewOverlays();
    {
        QMutexLocker locker(&fileLock);
        content.detection = runDetection;
        if (runFlagThreshold)
            content.confidenceThreshold = *runFlagThreshold;
        if (runFishCount)
            content.fishCount = *runFishCount;
        // The arenas go on the detection line, not a zone column per fish per arena: a
        // plate's file grows with its fish alone. Each fish's arena follows from the counts.
        if (!runArenas.isEmpty()) {
            content.overlays.arenas = runArenas;
            // Each grid's arenas, so that the results name them as a plate's wells.
            const QString groups = ArenaLayout::describeGroups(runArenas);
            if (!groups.isEmpty())
                content.detection += QLatin1Char(' ') + groups;
            content.detection += QLatin1Char(' ') + ArenaLayout::describeRects(runArenas);
        }
    }
    content.records = results.snapshot();
    return content;
}

bool VideoTracker::writeSingleFishFile()
{
    QString path;
    {
        QMutexLocker locker(&fileLock);
        path = dataFilePath;
    }
    if (path.isEmpty())
        path = TrackingDataFile::singleFishPath(owner->fileName());
    return save(path, contentFromHost(false));
}

bool VideoTracker::writeMultiFishFile()
{
    QString path;
    {
        QMutexLocker locker(&fileLock);
        path = dataFilePath;
    }
    if (path.isEmpty())
        path = TrackingDataFile::multiFishPath(owner->fileName());
    return save(path, contentFromHost(true));
}

bool VideoTracker::save(const QString &path, const TrackingDataFile::Content &content)
{
    QString error;
    const bool ok = TrackingDataFile::save(path, content, &error);
    QMutexLocker locker(&fileLock);
    lastContent = content;
    hasLastContent = true;
    lastPath = path;
    lastError = ok ? QString() : error;
    return ok;
}

bool VideoTracker::writeDataFileTo(const QString &path)
{
    TrackingDataFile::Content content;
    bool known;
    {
        QMutexLocker locker(&fileLock);
        known = hasLastContent;
        if (known)
            content = lastContent;
    }
    if (!known)
        content = contentFromHost(owner->trackingControls().fishCount != 1);
    return save(path, content);
}

void VideoTracker::setDataFilePath(const QString &path)
{
    QMutexLocker locker(&fileLock);
    dataFilePath = path;
}

void VideoTracker::setWriteWhenEmpty(bool write)
{
    QMutexLocker locker(&fileLock);
    writeWhenEmpty = write;
}

QString VideoTracker::lastWrittenPath() const
{
    QMutexLocker locker(&fileLock);
    return lastPath;
}

QString VideoTracker::lastWriteError() const
{
    QMutexLocker locker(&fileLock);
    return lastError;
}

QString VideoTracker::startFailure() const
{
    QMutexLocker locker(&fileLock);
    return runStartFailure;
}
