#include "model/Arena.h"

#include <QFont>
#include <QPainter>
#include <QPen>

#include <algorithm>

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
    // The number in bold, sized by the arena so a plate stays legible at fit zoom, and
    // outlined in black, so that the yellow reads on a light plate as on dark water.
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(std::clamp(std::min(arena.rect.width(), arena.rect.height()) / 5, 11, 32));
    painter.setFont(font);
    const QRect box = arena.rect.adjusted(3, 2, 0, 0);
    const QString number = QString::number(index + 1);
    painter.setPen(QPen(Qt::black, 1));
    for (const QPoint &d : { QPoint(-1, -1), QPoint(0, -1), QPoint(1, -1), QPoint(-1, 0),
             QPoint(1, 0), QPoint(-1, 1), QPoint(0, 1), QPoint(1, 1) })
        painter.drawText(box.translated(d), Qt::AlignLeft | Qt::AlignTop, number);
    painter.setPen(QPen(QColor(255, 200, 0), 1));
    painter.drawText(box, Qt::AlignLeft | Qt::AlignTop, number);
    painter.restore();
}
