#pragma once
// An arena: a rectangle, or the ellipse inscribed in one, holding its own fish. The
// whole-video background method finds and matches fish in each arena on its own, so a fish
// never leaves its arena and pixels outside every arena are never looked at. Arenas of one
// grid share a group and move together. Plain values, GUI-free.

#include <QPointF>
#include <QRect>
#include <QString>

class QPainter;

struct Arena
{
    enum class Shape { Rectangle, Ellipse };

    QRect rect; // inclusive; the bounding rectangle of an ellipse
    Shape shape = Shape::Rectangle;
    int fishCount = 1;
    int group = 0; // arenas laid out by one grid share a group above 0; 0: on its own

    // Whether the pixel (x, y) belongs to the arena: inside the rectangle, and for an
    // ellipse, its centre inside the ellipse through the rectangle's outer edges.
    bool containsPixel(int x, int y) const;
    QPointF centre() const;

    // "Arena12" for index 11: its zone's label in the data file.
    static QString label(int index);

    bool operator==(const Arena &o) const
    {
        return rect == o.rect && shape == o.shape && fishCount == o.fishCount && group == o.group;
    }
};

// The outline of arena `index` with its number inside its top-left corner.
void DrawArena(QPainter &painter, int index, const Arena &arena);
