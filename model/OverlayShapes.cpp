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

namespace {

// The grey strokes of a ruler or point distance, drawn twice: first a dark outline (each line
// shifted one pixel to either side across its direction, each circle one pixel in and out,
// each text one pixel in four directions), then the grey itself, so the shape shows on light
// water and dark. The grey pass draws exactly what a single grey pass would.
class OutlinedStrokes
{
public:
    void text(const QPoint &at, const QString &s) { items << Item { Kind::Text, at, {}, s, {} }; }
    void line(const QPoint &a, const QPoint &b, QVector<qreal> dashes = {})
    {
        items << Item { Kind::Line, a, b, QString(), dashes };
    }
    void circle(const QPoint &centre, int radius, QVector<qreal> dashes)
    {
        items << Item { Kind::Circle, centre, QPoint(radius, radius), QString(), dashes };
    }

    void paint(QPainter &painter) const
    {
        const QColor outline(0, 0, 0);
        for (const Item &item : items)
            draw(painter, item, outline, true);
        for (const Item &item : items)
            draw(painter, item, overlayGrey, false);
    }

private:
    enum class Kind { Text, Line, Circle };
    struct Item
    {
        Kind kind;
        QPoint a, b;
        QString text;
        QVector<qreal> dashes;
    };

    static void draw(QPainter &painter, const Item &item, const QColor &colour, bool outline)
    {
        QPen pen(colour);
        pen.setWidth(0);
        if (!item.dashes.isEmpty())
            pen.setDashPattern(item.dashes);
        painter.setPen(pen);
        switch (item.kind) {
        case Kind::Text:
            if (!outline) {
                painter.drawText(item.a, item.text);
                break;
            }
            for (const QPoint &d : { QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1) })
                painter.drawText(item.a + d, item.text);
            break;
        case Kind::Line:
            if (!outline) {
                painter.drawLine(item.a, item.b);
                break;
            }
            {
                const QPoint d = item.b - item.a;
                const QPoint across
                    = std::abs(d.x()) >= std::abs(d.y()) ? QPoint(0, 1) : QPoint(1, 0);
                painter.drawLine(item.a + across, item.b + across);
                painter.drawLine(item.a - across, item.b - across);
            }
            break;
        case Kind::Circle: {
            const int r = item.b.x();
            if (r <= 0)
                break; // a zero radius leaves nothing to draw
            auto ring = [&](int radius) {
                if (radius > 0)
                    painter.drawEllipse(
                        QRect(item.a.x() - radius, item.a.y() - radius, 2 * radius, 2 * radius));
            };
            if (outline) {
                ring(r - 1);
                ring(r + 1);
            } else {
                ring(r);
            }
            break;
        }
        }
    }

    QList<Item> items;
};

} // namespace

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

    OutlinedStrokes strokes;
    strokes.text(p1, ruler.label);
    // The scale labels sit on the left-hand side of the ruler's direction, whatever the fish does.
    strokes.text(offsetPoint(p1, 12.0f * -uy, 12.0f * ux), QStringLiteral("0.0"));
    strokes.text(offsetPoint(p2, 12.0f * -uy, 12.0f * ux), QString::number(ruler.length, 'f', 3));

    const QVector<qreal> dashes { 3, 3 };
    strokes.line(p1, p2, dashes);
    for (const QPoint &end : { p1, p2 })
        strokes.line(offsetPoint(end, 10.0f * nx, 10.0f * ny),
            offsetPoint(end, -10.0f * nx, -10.0f * ny), dashes);

    if (showMeasure) {
        const float measured = ruler.Measure(fish);
        const float proj = g.projection(ruler, fish);
        const QPoint foot = offsetPoint(p1, proj * ux, proj * uy);
        strokes.text(
            offsetPoint(foot, -12.0f * nx, -12.0f * ny), QString::number(measured, 'f', 3));
        // Right-angle mark in the corner between the ruler's forward direction and the fish's
        // side.
        const QPoint along = offsetPoint(foot, 10.0f * ux, 10.0f * uy);
        const QPoint corner = offsetPoint(foot, 10.0f * ux + 10.0f * nx, 10.0f * uy + 10.0f * ny);
        const QPoint side = offsetPoint(foot, 10.0f * nx, 10.0f * ny);
        strokes.line(along, corner);
        strokes.line(corner, side);
        strokes.line(foot, truncPoint(fish), dashes);
    }
    strokes.paint(painter);
}

void DrawPointDist(
    QPainter &painter, const PointDist &pointDist, bool showMeasure, const QPointF &fish)
{
    const int cx = pointDist.centrex, cy = pointDist.centrey;
    const QPoint centre(cx, cy);

    OutlinedStrokes strokes;
    strokes.text(centre, pointDist.label);
    if (showMeasure)
        strokes.text(QPoint(cx, cy + 15), QString::number(pointDist.Measure(fish), 'f', 6));
    strokes.line(QPoint(cx - 10, cy), QPoint(cx + 10, cy));
    strokes.line(QPoint(cx, cy - 10), QPoint(cx, cy + 10));

    const QVector<qreal> dashes { 4, 8 };
    strokes.circle(centre, truncToInt(pointDistRadius(pointDist)), dashes);
    if (showMeasure)
        strokes.line(centre, truncPoint(fish), dashes);
    strokes.paint(painter);
}
