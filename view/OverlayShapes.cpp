#include "view/OverlayShapes.h"

// Placeholder until the overlay shapes land.
float Ruler::Measure(const QPointF &) const { return 0.0f; }
float PointDist::Measure(const QPointF &) const { return 0.0f; }
void DrawArea(QPainter &, int, const QRect &, const QString &, bool) {}
void DrawRuler(QPainter &, const Ruler &, bool, const QPointF &) {}
void DrawPointDist(QPainter &, const PointDist &, bool, const QPointF &) {}
