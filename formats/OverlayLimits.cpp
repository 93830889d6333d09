#include "formats/OverlayLimits.h"

#include <initializer_list>

namespace overlaylimits {

QString outOfRange(const QString &what, std::initializer_list<qint64> values)
{
    for (const qint64 v : values)
        if (!inRange(v))
            return QStringLiteral("%1 has the coordinate %2, beyond the %3 pixels a coordinate "
                                  "may lie from 0")
                .arg(what)
                .arg(v)
                .arg(maxCoordinate);
    return QString();
}

QString firstOutOfRange(const OverlaySet &set)
{
    QString why;
    for (int k = 0; k < set.areas.size() && why.isEmpty(); ++k) {
        const QRect &r = set.areas[k];
        why = outOfRange(k == 0 ? QStringLiteral("the Tracking Area")
                                : QStringLiteral("the zone '%1'").arg(set.areaLabels.value(k)),
            { r.left(), r.top(), r.right(), r.bottom() });
    }
    for (int k = 0; k < set.rulers.size() && why.isEmpty(); ++k) {
        const Ruler &r = set.rulers[k];
        why = outOfRange(QStringLiteral("the ruler '%1'").arg(r.label), { r.x1, r.y1, r.x2, r.y2 });
    }
    for (int k = 0; k < set.pointDists.size() && why.isEmpty(); ++k) {
        const PointDist &p = set.pointDists[k];
        why = outOfRange(QStringLiteral("the point distance '%1'").arg(p.label),
            { p.centrex, p.centrey, p.radx, p.rady });
    }
    for (int k = 0; k < set.arenas.size() && why.isEmpty(); ++k) {
        const QRect &r = set.arenas[k].rect;
        why = outOfRange(Arena::label(k), { r.left(), r.top(), r.right(), r.bottom() });
    }
    return why;
}

} // namespace overlaylimits
