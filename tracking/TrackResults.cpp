#include "tracking/TrackResults.h"

void TrackResults::clear()
{
    withLock([](QVector<TrackRecord> &r) { r.clear(); });
}

int TrackResults::size() const
{
    return withLock([](const QVector<TrackRecord> &r) { return int(r.size()); });
}

bool TrackResults::newest(TrackRecord *record) const
{
    return withLock([record](const QVector<TrackRecord> &r) {
        if (r.isEmpty())
            return false;
        *record = r.last();
        return true;
    });
}

QVector<TrackRecord> TrackResults::snapshot() const
{
    return withLock([](const QVector<TrackRecord> &r) { return r; });
}
