#include "tracking/live/ZoneCrossings.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

QByteArray ZoneCrossings::Event::json() const
{
    // Fixed key order and millisecond times, one line: what a reader splits on newlines wants.
    const QString zoneText = QString::fromUtf8(QJsonDocument(
        QJsonObject {
            { QStringLiteral("z"), zone } }).toJson(QJsonDocument::Compact));
    // zoneText is {"z":"..."}: the label quoted and escaped as JSON.
    const QString quoted = zoneText.mid(5, zoneText.size() - 6);
    return QStringLiteral(
        "{\"t\": %1, \"frame\": %2, \"fish\": %3, \"zone\": %4, \"event\": \"%5\"}")
        .arg(seconds, 0, 'f', 3)
        .arg(frame)
        .arg(fish)
        .arg(quoted, enter ? QStringLiteral("enter") : QStringLiteral("exit"))
        .toUtf8();
}

ZoneCrossings::ZoneCrossings(const OverlaySet &zoneOverlays, int fish)
    : overlays(zoneOverlays)
    , zones(overlays)
    , fishCount(fish)
{
    const int zoneCount = std::max(0, int(overlays.areas.size()) - 1);
    inside.fill(QVector<bool>(zoneCount, false), fishCount);
    inArena.fill(false, fishCount);
    for (int a = 0; a < overlays.arenas.size(); ++a) {
        for (int k = 0; k < overlays.arenas[a].fishCount; ++k)
            arenaOfFish << a;
    }
    while (arenaOfFish.size() < fishCount)
        arenaOfFish << -1;
}

QList<ZoneCrossings::Event> ZoneCrossings::crossings(const TrackRecord &record, qint64 frame)
{
    QList<Event> events;
    const bool single = record.fishFoundFlags.isEmpty();
    for (int f = 0; f < fishCount; ++f) {
        const bool found = single ? record.found : record.fishFoundFlags.value(f, false);
        if (!found)
            continue;
        // The whole-pixel position the zone columns are found from.
        const QPoint p = single ? QPoint(record.x, record.y) : record.fishPositions.value(f);
        auto add = [&](const QString &zone, bool enter) {
            events << Event { double(record.seconds), frame, f + 1, zone, enter };
        };
        const int arena = arenaOfFish.value(f, -1);
        if (arena >= 0 && !inArena[f] && overlays.arenas[arena].containsPixel(p.x(), p.y())) {
            inArena[f] = true;
            add(Arena::label(arena), true);
        }
        for (int k = 1; k < overlays.areas.size(); ++k) {
            const bool now = zones.holds(k, f, p.x(), p.y());
            if (now == inside[f][k - 1])
                continue;
            inside[f][k - 1] = now;
            add(overlays.areaLabels.value(k), now);
        }
    }
    return events;
}
