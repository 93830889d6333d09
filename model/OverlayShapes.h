#pragma once
// The measurement overlays drawn on a frame: areas (entry 0 is the Tracking Area, the
// rest are zones), rulers and point distances, their measures and how each is drawn.
// Plain values, GUI-free; the view owns the lists and the tracker takes copies of them.

#include "model/Arena.h"
#include "model/Scale.h"

#include <QColor>
#include <QList>
#include <QPointF>
#include <QRect>
#include <QString>
#include <QStringList>

class QPainter;

struct Ruler
{
    QString label;
    int x1 = 0, y1 = 0;
    int x2 = 0, y2 = 0;
    float length = 0.0f;

    // Signed position of p's perpendicular foot along the ruler, in the ruler's unit
    // (0 at the start, `length` at the end). A ruler of zero pixel length measures 0.
    float Measure(const QPointF &p) const;
};

struct PointDist
{
    QString label;
    int centrex = 0, centrey = 0;
    int radx = 0, rady = 0;
    float length = 0.0f;

    // Distance of p from the centre, in the shape's unit. A zero pixel radius measures 0.
    float Measure(const QPointF &p) const;
};

// A copy of all overlays at one moment (what the tracker and the file writers work from).
struct OverlaySet
{
    QList<QRect> areas; // inclusive rectangles; entry 0 is the Tracking Area
    QStringList areaLabels; // parallel to areas
    QList<Ruler> rulers;
    QList<PointDist> pointDists;
    QList<Arena> arenas; // the whole-video background method's arenas, in number order
    Scale scale; // the length of a pixel, when one is set
};

// Inclusive containment (edges count as inside), used for highlighting and zone membership.
inline bool areaContains(const QRect &area, int x, int y)
{
    return x >= area.left() && x <= area.right() && y >= area.top() && y <= area.bottom();
}

// The outline colour of area `index` (0 is the Tracking Area; 8 and above share one colour).
QColor areaColour(int index);

void DrawArea(
    QPainter &painter, int index, const QRect &area, const QString &label, bool highlighted);
void DrawRuler(QPainter &painter, const Ruler &ruler, bool showMeasure, const QPointF &fish);
void DrawPointDist(
    QPainter &painter, const PointDist &pointDist, bool showMeasure, const QPointF &fish);
