#pragma once
// Sets of arenas: the grid laid out over a plate's outer wells, a grid moved as a whole, the
// fish they hold, and how they appear in a data file (each arena a zone "ArenaN", their fish
// counts on the detection line). Fish are numbered arena by arena. GUI-free.

#include "model/Arena.h"
#include "model/OverlayShapes.h"
#include "model/Scale.h"

#include <QList>
#include <QString>

#include <optional>

namespace ArenaLayout {

// The most fish all arenas together may hold.
constexpr int maxFish = 200;

// rows x columns arenas filling `outer` (the rectangle from the outer edge of the top-left
// well to that of the bottom-right one), numbered row by row from the top left. A round
// arena is the circle centred in its cell, as wide as the cell's shorter side. Every arena
// gets `group` and fishPerArena fish. Empty when rows or columns are below 1 or a cell would
// be narrower than two pixels.
QList<Arena> grid(
    const QRect &outer, int rows, int columns, Arena::Shape shape, int fishPerArena, int group);

// The scale a grid's wells give: their real size (a round well's diameter, a square one's
// width) in `unit` over the first well's width in pixels. Nothing when the size is not above 0,
// the grid is empty or the length per pixel is none a scale takes.
std::optional<Scale> wellScale(const QList<Arena> &grid, double wellSize, const QString &unit);

// Lays the grid `group` out again over `outer` (the rectangle from the outer edge of its
// top-left well to that of its bottom-right one), with its rows, columns, shapes and fish as
// they are. False, changing nothing, when the group is no full grid of rows and columns or
// `outer` is too small for it.
bool resizeGroup(QList<Arena> &arenas, int group, const QRect &outer);
// The rectangle spanning the arenas of `group` (null when it has none).
QRect groupSpan(const QList<Arena> &arenas, int group);

// Moves every arena of `group` (or just `index` when its group is 0) by `offset`.
void moveGroup(QList<Arena> &arenas, int index, const QPoint &offset);

// The first group number not in use.
int nextGroup(const QList<Arena> &arenas);

// Summed in 64 bits: counts read from a file are checked, but a sum must never wrap.
qint64 totalFish(const QList<Arena> &arenas);
// The rectangle spanning every arena (null when there are none): the Tracking Area of a run
// given arenas and no area.
QRect span(const QList<Arena> &arenas);
// The arena of each fish, in fish order.
QList<int> arenaOfFish(const QList<Arena> &arenas);

// The overlays with every arena appended as a zone labelled "ArenaN" (its bounding
// rectangle), for the data file's zone columns; their arenas are the given ones.
OverlaySet withArenaZones(const OverlaySet &overlays, const QList<Arena> &arenas);

// The data file's zone columns: whether a fish's position is in each zone. A zone holds what
// its rectangle holds, except that the zone of a round arena (as withArenaZones appends it)
// holds another arena's fish only inside the ellipse, so that overlapping arenas do not share
// a fish that sits in a corner of one's square. Its own fish it holds wherever its rectangle
// does: their positions never leave the arena, though rounding may put one a pixel past the
// curve.
class ZoneMembership
{
public:
    explicit ZoneMembership(const OverlaySet &overlays);
    // Zone k (1 and above; 0 is the Tracking Area) and fish `fish` (from 0) at (x, y).
    bool holds(int k, int fish, int x, int y) const;

private:
    const OverlaySet &overlays;
    QList<int> roundArenaOfZone; // by zone: the round arena it is, or -1
    QList<int> arenaOfEachFish;
};

// "arena-fish=1,1,0,2": the detection line's record of each arena's fish count.
QString describeFish(const QList<Arena> &arenas);
// The fish counts read back from a detection line; nothing when it has none, or when a count
// is not from 1 to maxFish (an arena without fish, or a count no run could have written).
std::optional<QList<int>> fishFromDetection(const QString &detection);
// "arena-round=0,1,1": which arenas are round, for the detection line (before describeFish's
// word); empty when none is, so files of rectangular arenas read as before.
QString describeShapes(const QList<Arena> &arenas);
// "arena-group=1,1,0": the grid each arena belongs to, so that a grid saved in a setup moves as
// a whole again once loaded, and results name a grid's arenas as wells; empty when no arena is
// in a grid.
QString describeGroups(const QList<Arena> &arenas);

// "arena-rects=0:0:99:99,100:0:199:99": each arena's rectangle (inclusive corners), for the
// detection line of a data file, whose rows have no column per arena.
QString describeRects(const QList<Arena> &arenas);

// The arenas of a data file read back. From the detection line's arena-rects= when it has one
// (nothing when a rectangle is bad, lies beyond the coordinate limits or the counts do not
// match; the overlays stay as they are), else, in older files, its "ArenaN" zones, taken out
// of `overlays`, in number order, round where the detection line says so and holding the fish it
// gives them (one each when it has no counts for them all), in the grids it gives them (none when
// it has none). Nothing is taken when the zones are not numbered 1 to N once each (a zone the user
// named so), and the overlays are left as they are.
QList<Arena> takeArenas(OverlaySet *overlays, const QString &detection);

} // namespace ArenaLayout
