#include "model/OverlayShapes.h"

#include <QPainter>
#include <QPen>
#include <QTextOption>

#include <cmath>
#include <limits>

namespace {

const QColor overlayGrey(200, 200, 200);

// Truncates toward zero; clamps to int so that a far-away point can never overflow the cast.
int truncToInt(float v)
{
    if (!(v == v)) // NaN: cannot happen with the guards below, but never cast it
        return 0;
    constexpr float lo = float(std::numeric_limits<int>::min());
    constexpr float hi = 2147483520.0f; // largest float below INT_MAX
    if (v <= lo)
        return std::numeric_limits<int>::min();
    if (v >= hi)
        return int(hi);
    return int(v);
}

// An integer point moved by a float offset, each coordinate of the offset truncated toward zero.
QPoint offsetPoint(const QPoint &p, float dx, float dy)
{
    return QPoint(p.x() + truncToInt(dx), p.y() + truncToInt(dy));
}

QPoint truncPoint(const QPointF &p)
{
    return QPoint(truncToInt(float(p.x())), truncToInt(float(p.y())));
}

// The ruler's direction in single precision. A ruler whose ends coincide has no direction;
// it is drawn as if it pointed along +x so that its labels and ticks still land somewhere
// sensible, and it measures 0 (see Ruler::Measure).
struct RulerGeometry
{
    float length = 0.0f; // pixel length L
    float ux = 1.0f, uy = 0.0f;

    explicit RulerGeometry(const Ruler &r)
    {
        const float dx = float(r.x2) - float(r.x1);
        const float dy = float(r.y2) - float(r.y1);
        length = std::sqrt(dx * dx + dy * dy);
        if (length > 0.0f) {
            ux = dx / length;
            uy = dy / length;
        }
    }

    // Signed pixel distance from the start to p's foot on the ruler's line.
    float projection(const Ruler &r, const QPointF &p) const
    {
        return (float(p.x()) - float(r.x1)) * ux + (float(p.y()) - float(r.y1)) * uy;
    }
};

float pointDistRadius(const PointDist &d)
{
    const float dx = float(d.centrex) - float(d.radx);
    const float dy = float(d.centrey) - float(d.rady);
    return std::sqrt(dx * dx + dy * dy);
}

QPen greyPen()
{
    QPen pen(overlayGrey);
    pen.setWidth(0);
    return pen;
}

QPen dashed(QPen pen, qreal on, qreal off)
{
    pen.setDashPattern({ on, off });
    return pen;
}

} // namespace

float Ruler::Measure(const QPointF &p) const
{
    const RulerGeometry g(*this);
    if (!(g.length > 0.0f))
        return 0.0f; // no direction: a ruler of zero pixel length measures nothing
    return g.projection(*this, p) * length / g.length;
}

float PointDist::Measure(const QPointF &p) const
{
    const float r = pointDistRadius(*this);
    if (!(r > 0.0f))
        return 0.0f; // no known pixel radius to scale by
    const float dx = float(p.x()) - float(centrex);
    const float dy = float(p.y()) - float(centrey);
    const float d = std::sqrt(dx * dx + dy * dy);
    return d * length / r;
}

QColor areaColour(int index)
{
    static const QColor colours[] = {
        QColor(128, 255, 128),
        QColor(255, 128, 128),
        QColor(128, 128, 255),
        QColor(0, 46, 184),
        QColor(255, 102, 51),
        QColor(184, 138, 0),
        QColor(255, 51, 204),
        QColor(51, 255, 204),
        QColor(204, 255, 51),
    };
    constexpr int last = int(sizeof(colours) / sizeof(colours[0])) - 1;
    return colours[qBound(0, index, last)];
}

void DrawArea(
    QPainter &painter, int index, const QRect &area, const QString &label, bool highlighted)
{
    QPen pen(areaColour(index));
    pen.setStyle(Qt::SolidLine);
    pen.setWidth(highlighted ? 4 : 2);
    painter.setPen(pen);
    painter.drawRect(area);
    painter.drawText(QRectF(area.x(), area.y(), area.width(), area.height()), label, QTextOption());
}

void DrawRuler(QPainter &painter, const Ruler &ruler, bool showMeasure, const QPointF &fish)
{
    const RulerGeometry g(ruler);
    const float ux = g.ux, uy = g.uy;
    const QPoint p1(ruler.x1, ruler.y1);
    const QPoint p2(ruler.x2, ruler.y2);

    // Normal towards the fish's side of the ruler.
    const float s
        = (float(fish.x()) - float(ruler.x1)) * -uy + (float(fish.y()) - float(ruler.y1)) * ux;
    const float nx = s >= 0.0f ? -uy : uy;
    const float ny = s >= 0.0f ? ux : -ux;

    QPen pen = greyPen();
    painter.setPen(pen);
    painter.drawText(p1, ruler.label);
    // The scale labels sit on the left-hand side of the ruler's direction, whatever the fish does.
    painter.drawText(offsetPoint(p1, 12.0f * -uy, 12.0f * ux), QStringLiteral("0.0"));
    painter.drawText(
        offsetPoint(p2, 12.0f * -uy, 12.0f * ux), QString::number(ruler.length, 'f', 3));

    painter.setPen(dashed(pen, 3, 3));
    painter.drawLine(p1, p2);
    for (const QPoint &end : { p1, p2 })
        painter.drawLine(
            offsetPoint(end, 10.0f * nx, 10.0f * ny), offsetPoint(end, -10.0f * nx, -10.0f * ny));

    if (!showMeasure)
        return;

    const float measured = ruler.Measure(fish);
    const float proj = g.projection(ruler, fish);
    const QPoint foot = offsetPoint(p1, proj * ux, proj * uy);
    QPen measurePen = greyPen();
    painter.setPen(measurePen);
    painter.drawText(
        offsetPoint(foot, -12.0f * nx, -12.0f * ny), QString::number(measured, 'f', 3));
    // Right-angle mark in the corner between the ruler's forward direction and the fish's side.
    const QPoint along = offsetPoint(foot, 10.0f * ux, 10.0f * uy);
    const QPoint corner = offsetPoint(foot, 10.0f * ux + 10.0f * nx, 10.0f * uy + 10.0f * ny);
    const QPoint side = offsetPoint(foot, 10.0f * nx, 10.0f * ny);
    painter.drawLine(along, corner);
    painter.drawLine(corner, side);
    painter.setPen(dashed(measurePen, 3, 3));
    painter.drawLine(foot, truncPoint(fish));
}

void DrawPointDist(
    QPainter &painter, const PointDist &pointDist, bool showMeasure, const QPointF &fish)
{
    const int cx = pointDist.centrex, cy = pointDist.centrey;
    const QPoint centre(cx, cy);

    QPen pen = greyPen();
    painter.setPen(pen);
    painter.drawText(centre, pointDist.label);
    if (showMeasure)
        painter.drawText(QPoint(cx, cy + 15), QString::number(pointDist.Measure(fish), 'f', 6));
    painter.drawLine(QPoint(cx - 10, cy), QPoint(cx + 10, cy));
    painter.drawLine(QPoint(cx, cy - 10), QPoint(cx, cy + 10));

    painter.setPen(dashed(pen, 4, 8));
    const int ir = truncToInt(pointDistRadius(pointDist));
    // A zero radius leaves nothing to draw; an empty ellipse is skipped by the painter.
    if (ir > 0)
        painter.drawEllipse(QRect(cx - ir, cy - ir, 2 * ir, 2 * ir));
    if (showMeasure)
        painter.drawLine(centre, truncPoint(fish));
}
