#pragma once
// How many of a run's rows found every animal: over the whole run and per arena, for the
// line at the end of a run (standard error of the CLI, the window's end-of-run notice). A
// share under a half is a warning; no animal found in any row is a run that tracked nothing.
// GUI-free; any thread, on a copy of the records.

#include "model/Arena.h"
#include "model/TrackRecord.h"

#include <QList>
#include <QString>
#include <QVector>

struct FoundShare
{
    int rows = 0;
    int everyFound = 0; // rows in which every animal was found
    int anyFound = 0; // rows in which at least one was
    QVector<int> arenaEveryFound; // per arena: rows in which each of its animals was found

    // `fishCount` animals, numbered arena by arena when there are arenas.
    static FoundShare of(
        const QVector<TrackRecord> &records, int fishCount, const QList<Arena> &arenas);

    bool low() const { return rows > 0 && 2 * everyFound < rows; }
    bool nothingFound() const { return rows > 0 && anyFound == 0; }
    // "every animal found in 97.5% of 120 rows", then per arena "(arena 1 100%, arena 2
    // 95%)".
    QString describe() const;
};
