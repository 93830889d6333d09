#include "tracking/FoundShare.h"

#include <QStringList>

namespace {

QString percent(int part, int whole)
{
    return QString::number(whole > 0 ? 100.0 * part / whole : 0.0, 'f', 1) + QLatin1Char('%');
}

} // namespace

FoundShare FoundShare::of(
    const QVector<TrackRecord> &records, int fishCount, const QList<Arena> &arenas)
{
    FoundShare share;
    share.arenaEveryFound.fill(0, arenas.size());
    for (const TrackRecord &r : records) {
        // A single fish's file keeps its flag in the record itself.
        auto found = [&r, fishCount](int fish) {
            return r.fishFoundFlags.isEmpty() && fishCount == 1 ? r.found
                                                                : r.fishFoundFlags.value(fish);
        };
        ++share.rows;
        bool every = fishCount > 0, any = false;
        for (int i = 0; i < fishCount; ++i) {
            every = every && found(i);
            any = any || found(i);
        }
        share.everyFound += every ? 1 : 0;
        share.anyFound += any ? 1 : 0;
        int first = 0;
        for (int a = 0; a < arenas.size(); ++a) {
            bool all = true;
            for (int i = first; i < first + arenas[a].fishCount; ++i)
                all = all && found(i);
            share.arenaEveryFound[a] += all ? 1 : 0;
            first += arenas[a].fishCount;
        }
    }
    return share;
}

QString FoundShare::describe() const
{
    QString text = QStringLiteral("every animal found in %1 of %2 rows")
                       .arg(percent(everyFound, rows))
                       .arg(rows);
    if (!arenaEveryFound.isEmpty()) {
        QStringList parts;
        for (int a = 0; a < arenaEveryFound.size(); ++a)
            parts
                << QStringLiteral("arena %1 %2").arg(a + 1).arg(percent(arenaEveryFound[a], rows));
        text += QStringLiteral(" (%1)").arg(parts.join(QStringLiteral(", ")));
    }
    return text;
}
