#pragma once
// A live session's zone events: each fish's entries into and exits from the zones of the data
// file (the zone columns), and for fish with arenas their first entry into their own arena,
// found from each record as it is made. A fish that is not found keeps its state, so a lost
// fish makes no event. Tracker thread.

#include "model/ArenaLayout.h"
#include "model/OverlayShapes.h"
#include "model/TrackRecord.h"

#include <QList>
#include <QString>
#include <QVector>

class ZoneCrossings
{
public:
    struct Event
    {
        double seconds = 0.0;
        qint64 frame = 0; // the decoded picture's index, from 0
        int fish = 1; // from 1, as the data file's columns count them
        QString zone; // the zone's label ("Zone1-left", "Arena3")
        bool enter = true;

        // {"t": 1.234, "frame": 37, "fish": 1, "zone": "Zone1-left", "event": "enter"}
        QByteArray json() const;
    };

    ZoneCrossings(const OverlaySet &overlays, int fishCount);

    // The events of one record, in fish order then zone order.
    QList<Event> crossings(const TrackRecord &record, qint64 frame);

private:
    OverlaySet overlays;
    ArenaLayout::ZoneMembership zones;
    int fishCount;
    QList<int> arenaOfFish; // -1: no arena
    QVector<QVector<bool>> inside; // per fish, per zone (index k - 1)
    QVector<bool> inArena; // per fish: entered its arena
};
