#include "model/Arena.h"

#include <QPainter>
#include <QPen>

bool Arena::containsPixel(int x, int y) const
{
    if (!rect.contains(x, y))
        return false;
    if (shape == Shape::Rectangle)
        return true;
    const double rx = rect.width() / 2.0, ry = rect.height() / 2.0;
    const double dx = (x + 0.5 - rect.left() - rx) / rx;
    const double dy = (y + 0.5 - rect.top() - ry) / ry;
    return dx * dx + dy * dy <= 1.0;
}

QPointF Arena::centre() const
{
    return QPointF(rect.left() + (rect.width() - 1) / 2.0, rect.top() + (rect.height() - 1) / 2.0);
}

QString Arena::label(int index)
{
    return QStringLiteral("Arena%1").arg(index + 1);
}

void DrawArena(QPainter &painter, int index, const Arena &arena)
{
    painter.save();
    painter.setPen(QPen(QColor(255, 200, 0), 1));
    painter.setBrush(Qt::NoBrush);
    // Stroked shapes cover their width plus the pen: one pixel less keeps the outline on the
    // arena's own edge pixels.
    const QRect outline(arena.rect.topLeft(), arena.rect.size() - QSize(1, 1));
    if (arena.shape == Arena::Shape::Ellipse)
        painter.drawEllipse(outline);
    else
        painter.drawRect(outline);
    painter.drawText(
        arena.rect.adjusted(3, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop, QString::number(index + 1));
    painter.restore();
}
