#pragma once
// The records of the current or last run, shared between the tracker thread (append,
// back-fill, flag clearing) and the GUI thread (newest record, trails, review, correction).
// Every access goes through one call that holds resultsLock for that access only; no caller
// keeps the lock across a frame's computation.

#include "model/TrackRecord.h"

#include <QMutex>
#include <QMutexLocker>
#include <QVector>

class TrackResults
{
public:
    // Runs f(QVector<TrackRecord> &) while holding resultsLock and returns its result.
    template<typename F> auto withLock(F &&f)
    {
        QMutexLocker locker(&resultsLock);
        return f(records);
    }
    template<typename F> auto withLock(F &&f) const
    {
        QMutexLocker locker(&resultsLock);
        return f(static_cast<const QVector<TrackRecord> &>(records));
    }

    void clear();
    int size() const;
    // A copy of the newest record; false (and *record untouched) when there is none.
    bool newest(TrackRecord *record) const;
    QVector<TrackRecord> snapshot() const;

private:
    mutable QMutex resultsLock;
    QVector<TrackRecord> records; // guarded by resultsLock
};
