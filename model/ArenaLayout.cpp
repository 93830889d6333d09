#include "model/ArenaLayout.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <functional>

namespace ArenaLayout {

std::optional<Scale> wellScale(const QList<Arena> &grid, double wellSize, const QString &unit)
{
    if (grid.isEmpty() || !(wellSize > 0.0) || grid.first().rect.width() < 1)
        return std::nullopt;
    return Scale::parse(
        QStringLiteral("%1 %2/px").arg(wellSize / grid.first().rect.width(), 0, 'g', 12).arg(unit));
}

QRect groupSpan(const QList<Arena> &arenas, int group)
{
    QRect span;
    for (const Arena &a : arenas)
        if (a.group == group)
            span = span.isNull() ? a.rect : span.united(a.rect);
    return span;
}

bool resizeGroup(QList<Arena> &arenas, int group, const QRect &outer)
{
    if (group < 1)
        return false;
    QList<int> members;
    QList<int> tops, lefts;
    for (int i = 0; i < arenas.size(); ++i) {
        if (arenas[i].group != group)
            continue;
        members << i;
        if (!tops.contains(arenas[i].rect.top()))
            tops << arenas[i].rect.top();
        if (!lefts.contains(arenas[i].rect.left()))
            lefts << arenas[i].rect.left();
    }
    const qint64 rows = tops.size(), columns = lefts.size();
    if (members.isEmpty() || rows * columns != members.size())
        return false;
    const QList<Arena> laid = grid(outer, int(rows), int(columns), arenas[members.first()].shape,
        arenas[members.first()].fishCount, group);
    if (laid.size() != members.size())
        return false;
    // The wells keep their order, shapes and fish; only their rectangles follow the grid (a
    // grid is laid out with one shape).
    for (int k = 0; k < members.size(); ++k)
        arenas[members[k]].rect = laid[k].rect;
    return true;
}

QList<Arena> grid(
    const QRect &outer, int rows, int columns, Arena::Shape shape, int fishPerArena, int group)
{
    QList<Arena> arenas;
    if (rows < 1 || columns < 1 || outer.width() < 2 * columns || outer.height() < 2 * rows)
        return arenas;
    const double pitchX = outer.width() / double(columns);
    const double pitchY = outer.height() / double(rows);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            // Cell edges rounded once each, so neighbouring cells share no pixel and leave none.
            const int left = outer.left() + int(std::lround(c * pitchX));
            const int right = outer.left() + int(std::lround((c + 1) * pitchX)) - 1;
            const int top = outer.top() + int(std::lround(r * pitchY));
            const int bottom = outer.top() + int(std::lround((r + 1) * pitchY)) - 1;
            QRect cell(QPoint(left, top), QPoint(right, bottom));
            if (shape == Arena::Shape::Ellipse) {
                const int side = std::min(cell.width(), cell.height());
                cell = QRect(cell.left() + (cell.width() - side) / 2,
                    cell.top() + (cell.height() - side) / 2, side, side);
            }
            Arena a;
            a.rect = cell;
            a.shape = shape;
            a.fishCount = fishPerArena;
            a.group = group;
            arenas << a;
        }
    }
    return arenas;
}

void moveGroup(QList<Arena> &arenas, int index, const QPoint &offset)
{
    if (index < 0 || index >= arenas.size())
        return;
    const int group = arenas[index].group;
    for (int i = 0; i < arenas.size(); ++i)
        if (i == index || (group > 0 && arenas[i].group == group))
            arenas[i].rect.translate(offset);
}

int nextGroup(const QList<Arena> &arenas)
{
    int highest = 0;
    for (const Arena &a : arenas)
        highest = std::max(highest, a.group);
    return highest + 1;
}

qint64 totalFish(const QList<Arena> &arenas)
{
    qint64 total = 0;
    for (const Arena &a : arenas)
        total += a.fishCount;
    return total;
}

QList<int> arenaOfFish(const QList<Arena> &arenas)
{
    QList<int> owners;
    for (int i = 0; i < arenas.size(); ++i)
        for (int f = 0; f < arenas[i].fishCount; ++f)
            owners << i;
    return owners;
}

OverlaySet withArenaZones(const OverlaySet &overlays, const QList<Arena> &arenas)
{
    OverlaySet set = overlays;
    if (set.areas.isEmpty()) {
        set.areas << QRect();
        set.areaLabels << QStringLiteral("Tracking Area");
    }
    while (set.areaLabels.size() < set.areas.size())
        set.areaLabels << QString();
    for (int i = 0; i < arenas.size(); ++i) {
        set.areas << arenas[i].rect;
        set.areaLabels << Arena::label(i);
    }
    set.arenas = arenas;
    return set;
}

ZoneMembership::ZoneMembership(const OverlaySet &set)
    : overlays(set)
    , roundArenaOfZone(set.areas.size(), -1)
    , arenaOfEachFish(arenaOfFish(set.arenas))
{
    // The arenas' zones are the last ones, each with its arena's label and rectangle.
    const int first = int(set.areas.size() - set.arenas.size());
    for (int i = 0; i < set.arenas.size() && first > 0; ++i) {
        const int k = first + i;
        const Arena &arena = set.arenas[i];
        if (arena.shape == Arena::Shape::Ellipse && set.areas[k] == arena.rect
            && set.areaLabels.value(k) == Arena::label(i))
            roundArenaOfZone[k] = i;
    }
}

bool ZoneMembership::holds(int k, int fish, int x, int y) const
{
    if (!areaContains(overlays.areas[k], x, y))
        return false;
    const int arena = roundArenaOfZone[k];
    return arena < 0 || arenaOfEachFish.value(fish, -1) == arena
        || overlays.arenas[arena].containsPixel(x, y);
}

QString describeFish(const QList<Arena> &arenas)
{
    QStringList counts;
    for (const Arena &a : arenas)
        counts << QString::number(a.fishCount);
    return QStringLiteral("arena-fish=") + counts.join(QLatin1Char(','));
}

namespace {

// The whole numbers of a detection line's word "key=1,0,2"; nothing when it has none or one
// of them is not a whole number from 0 up.
std::optional<QList<int>> countsFromDetection(const QString &detection, const QString &key)
{
    for (const QString &word : detection.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!word.startsWith(key))
            continue;
        QList<int> counts;
        for (const QString &n : word.mid(key.size()).split(QLatin1Char(','))) {
            bool ok = false;
            const int count = n.toInt(&ok);
            if (!ok || count < 0)
                return std::nullopt;
            counts << count;
        }
        return counts;
    }
    return std::nullopt;
}

} // namespace

std::optional<QList<int>> fishFromDetection(const QString &detection)
{
    const auto counts = countsFromDetection(detection, QStringLiteral("arena-fish="));
    if (counts)
        for (const int count : *counts)
            if (count < 1 || count > maxFish)
                return std::nullopt;
    return counts;
}

QString describeShapes(const QList<Arena> &arenas)
{
    QStringList round;
    bool any = false;
    for (const Arena &a : arenas) {
        const bool ellipse = a.shape == Arena::Shape::Ellipse;
        any = any || ellipse;
        round << QString::number(int(ellipse));
    }
    return any ? QStringLiteral("arena-round=") + round.join(QLatin1Char(',')) : QString();
}

QRect span(const QList<Arena> &arenas)
{
    QRect spanned;
    for (const Arena &a : arenas)
        spanned = spanned.united(a.rect);
    return spanned;
}

QString describeGroups(const QList<Arena> &arenas)
{
    QStringList groups;
    bool any = false;
    for (const Arena &a : arenas) {
        any = any || a.group > 0;
        groups << QString::number(a.group);
    }
    return any ? QStringLiteral("arena-group=") + groups.join(QLatin1Char(',')) : QString();
}

QString describeRects(const QList<Arena> &arenas)
{
    QStringList rects;
    for (const Arena &a : arenas)
        rects << QStringLiteral("%1:%2:%3:%4")
                     .arg(a.rect.left())
                     .arg(a.rect.top())
                     .arg(a.rect.right())
                     .arg(a.rect.bottom());
    return QStringLiteral("arena-rects=") + rects.join(QLatin1Char(','));
}

namespace {

// The coordinate limit every overlay read from a file keeps (formats/OverlayLimits.h, which
// this layer below it cannot include).
constexpr qint64 overlayCoordinateLimit = qint64(1) << 24;

// The arenas a detection line's arena-rects= gives, with their fish, shapes and groups;
// nothing when it has none or any of it does not add up.
std::optional<QList<Arena>> arenasFromRects(const QString &detection)
{
    static const QString key = QStringLiteral("arena-rects=");
    QString text;
    for (const QString &word : detection.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        if (word.startsWith(key))
            text = word.mid(key.size());
    if (text.isEmpty())
        return std::nullopt;
    const QStringList rects = text.split(QLatin1Char(','));
    const QList<int> fish = fishFromDetection(detection).value_or(QList<int>());
    const QList<int> round
        = countsFromDetection(detection, QStringLiteral("arena-round=")).value_or(QList<int>());
    const QList<int> groups
        = countsFromDetection(detection, QStringLiteral("arena-group=")).value_or(QList<int>());
    if (rects.size() > maxFish || fish.size() != rects.size()
        || (!round.isEmpty() && round.size() != rects.size())
        || (!groups.isEmpty() && groups.size() != rects.size()))
        return QList<Arena>();
    qint64 total = 0;
    for (int n : fish)
        total += n;
    if (total > maxFish)
        return QList<Arena>();
    QList<Arena> arenas;
    for (int i = 0; i < rects.size(); ++i) {
        const QStringList corners = rects[i].split(QLatin1Char(':'));
        if (corners.size() != 4)
            return QList<Arena>();
        qint64 v[4];
        for (int c = 0; c < 4; ++c) {
            bool ok = false;
            v[c] = corners[c].toLongLong(&ok);
            if (!ok || v[c] < -overlayCoordinateLimit || v[c] > overlayCoordinateLimit)
                return QList<Arena>();
        }
        if (v[2] < v[0] || v[3] < v[1])
            return QList<Arena>();
        Arena a;
        a.rect = QRect(QPoint(int(v[0]), int(v[1])), QPoint(int(v[2]), int(v[3])));
        a.fishCount = fish[i];
        a.shape = round.value(i) == 1 ? Arena::Shape::Ellipse : Arena::Shape::Rectangle;
        a.group = groups.value(i);
        arenas << a;
    }
    return arenas;
}

} // namespace

QList<Arena> takeArenas(OverlaySet *overlays, const QString &detection)
{
    if (const auto fromRects = arenasFromRects(detection))
        return *fromRects;
    static const QRegularExpression arenaLabel(QStringLiteral("^Arena([1-9][0-9]{0,3})$"));
    QList<int> zoneOf; // per arena number - 1: its index among the areas
    QList<int> taken;
    for (int k = 1; k < overlays->areas.size(); ++k) {
        const QRegularExpressionMatch m = arenaLabel.match(overlays->areaLabels.value(k));
        if (!m.hasMatch())
            continue;
        const int number = m.captured(1).toInt();
        if (number > overlays->areas.size())
            return {};
        if (zoneOf.size() < number)
            zoneOf.resize(number, -1);
        if (zoneOf[number - 1] >= 0)
            return {};
        zoneOf[number - 1] = k;
        taken << k;
    }
    if (zoneOf.contains(-1))
        return {};

    const QList<int> fish = fishFromDetection(detection).value_or(QList<int>());
    const QList<int> round
        = countsFromDetection(detection, QStringLiteral("arena-round=")).value_or(QList<int>());
    const QList<int> groups
        = countsFromDetection(detection, QStringLiteral("arena-group=")).value_or(QList<int>());
    QList<Arena> arenas;
    for (int i = 0; i < zoneOf.size(); ++i) {
        Arena a;
        a.rect = overlays->areas[zoneOf[i]];
        a.fishCount = fish.size() == zoneOf.size() ? fish[i] : 1;
        a.shape = round.size() == zoneOf.size() && round[i] == 1 ? Arena::Shape::Ellipse
                                                                 : Arena::Shape::Rectangle;
        a.group = groups.size() == zoneOf.size() ? groups[i] : 0;
        arenas << a;
    }
    std::sort(taken.begin(), taken.end(), std::greater<int>());
    for (int k : taken) {
        overlays->areas.removeAt(k);
        overlays->areaLabels.removeAt(k);
    }
    return arenas;
}

} // namespace ArenaLayout
