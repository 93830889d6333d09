#pragma once
// The whole-video background method's controls as atomics, beside the classic ones in
// TrackingControls: written by the GUI thread (the Detection widget) or the CLI, read by the
// tracker thread when a run starts. The pre-pass progress goes the other way. The two
// background pictures are guarded by backgroundLock.

#include <QImage>
#include <QMutex>
#include <QMutexLocker>
#include <QString>

#include <atomic>

struct BlobControls
{
    std::atomic<int> backgroundFrames { 50 }; // K, frames sampled by the pre-pass
    std::atomic<int> backgroundMode { 0 }; // a BackgroundMode: auto, median, extreme, masked
    std::atomic<float> threshold { -1.0f }; // below 0: chosen from the sampled frames
    std::atomic<int> minArea { 0 }; // pixels; 0: from the sampled frames
    std::atomic<int> maxArea { 0 }; // pixels; 0: from the sampled frames
    std::atomic<float> maxSpeed { 0.0f }; // pixels per frame; 0: from the body length

    // Written by the tracker thread during the pre-pass (through the const controls the run
    // holds, hence mutable): frames read so far and wanted.
    mutable std::atomic<int> backgroundFramesRead { 0 };
    mutable std::atomic<int> backgroundFramesWanted { 0 };

    // A background the user chose (an empty tank) and the file it came from; a null image
    // means the pre-pass makes one.
    void setChosenBackground(const QImage &image, const QString &path = QString())
    {
        QMutexLocker locker(&backgroundLock);
        chosen = image;
        chosenPath = path;
    }
    QImage chosenBackground() const
    {
        QMutexLocker locker(&backgroundLock);
        return chosen;
    }
    QString chosenBackgroundPath() const
    {
        QMutexLocker locker(&backgroundLock);
        return chosenPath;
    }
    // The background of the last run (grey, Format_Grayscale8), for viewing and saving.
    void setLastBackground(const QImage &image) const
    {
        QMutexLocker locker(&backgroundLock);
        last = image;
    }
    QImage lastBackground() const
    {
        QMutexLocker locker(&backgroundLock);
        return last;
    }

private:
    mutable QMutex backgroundLock;
    QImage chosen; // guarded by backgroundLock
    QString chosenPath; // guarded by backgroundLock
    mutable QImage last; // guarded by backgroundLock
};
