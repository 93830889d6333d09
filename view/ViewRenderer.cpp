#include "view/ViewRenderer.h"

#include "model/FishPalette.h"

#include <QFontMetrics>
#include <QPaintDevice>
#include <QPainter>
#include <QPen>
#include <QPolygonF>
#include <QTextOption>

#include <cmath>
#include <map>
#include <optional>

namespace {

// Records fetched once per picture: every trail segment needs two neighbouring records,
// so each is copied out of the history only once.
class HistoryCache
{
public:
    explicit HistoryCache(const RecordLookup &records)
        : lookup(records)
    {
    }

    // Valid until the cache goes away (map nodes never move).
    const TrackRecord *at(int index)
    {
        if (index < 0 || !lookup)
            return nullptr;
        auto found = cache.find(index);
        if (found == cache.end()) {
            TrackRecord record;
            std::optional<TrackRecord> entry;
            if (lookup(index, record))
                entry = std::move(record);
            found = cache.emplace(index, std::move(entry)).first;
        }
        return found->second ? &*found->second : nullptr;
    }

private:
    const RecordLookup &lookup;
    std::map<int, std::optional<TrackRecord>> cache;
};

QPen solidPen(const QColor &colour, int width)
{
    QPen pen(colour);
    pen.setWidth(width);
    return pen;
}

// The outline through the pixels p - half and p + half. A stroked QRect covers its width plus
// the pen, so the rectangle is given 2 * half wide; with half 0 that would draw nothing, and a
// point marks the fish instead.
// A position read from a file may lie anywhere in the int range: it is brought within
// +-2^30 first, which keeps a far-away square far outside any picture and its corners
// within int.
void drawSquare(QPainter &painter, const QPoint &position, int half)
{
    constexpr int far = 1 << 30;
    const QPoint p(qBound(-far, position.x(), far), qBound(-far, position.y(), far));
    if (half <= 0)
        painter.drawPoint(p);
    else
        painter.drawRect(QRect(p.x() - half, p.y() - half, 2 * half, 2 * half));
}

// A fish's marker in the shape of its palette round, through centre +- half; the square is
// drawn as drawSquare draws it.
void drawMarker(QPainter &painter, const QPoint &position, int half, FishPalette::Marker shape)
{
    using FishPalette::Marker;
    painter.setBrush(Qt::NoBrush);
    if (shape == Marker::Square || half <= 0) {
        drawSquare(painter, position, half);
        return;
    }
    constexpr int far = 1 << 30;
    const QPointF c(qBound(-far, position.x(), far), qBound(-far, position.y(), far));
    const double h = half;
    switch (shape) {
    case Marker::Square:
        break;
    case Marker::Circle:
        painter.drawEllipse(c, h, h);
        break;
    case Marker::Diamond:
        painter.drawPolygon(QPolygonF {
            c + QPointF(0, -h), c + QPointF(h, 0), c + QPointF(0, h), c + QPointF(-h, 0) });
        break;
    case Marker::TriangleUp:
        painter.drawPolygon(
            QPolygonF { c + QPointF(0, -h), c + QPointF(h, h), c + QPointF(-h, h) });
        break;
    case Marker::TriangleDown:
        painter.drawPolygon(
            QPolygonF { c + QPointF(0, h), c + QPointF(h, -h), c + QPointF(-h, -h) });
        break;
    case Marker::Plus:
        painter.drawLine(c + QPointF(-h, 0), c + QPointF(h, 0));
        painter.drawLine(c + QPointF(0, -h), c + QPointF(0, h));
        break;
    case Marker::Cross:
        painter.drawLine(c + QPointF(-h, -h), c + QPointF(h, h));
        painter.drawLine(c + QPointF(-h, h), c + QPointF(h, -h));
        break;
    case Marker::Hexagon: {
        QPolygonF hexagon;
        for (int k = 0; k < 6; ++k)
            hexagon << c + QPointF(h * std::cos(k * M_PI / 3), h * std::sin(k * M_PI / 3));
        painter.drawPolygon(hexagon);
        break;
    }
    case Marker::Star:
        for (int k = 0; k < 4; ++k) {
            const QPointF d(h * std::cos(k * M_PI / 4), h * std::sin(k * M_PI / 4));
            painter.drawLine(c - d, c + d);
        }
        break;
    case Marker::SquareDot:
        drawSquare(painter, position, half);
        painter.drawEllipse(c, 1.0, 1.0);
        break;
    }
}

// Several fish: each in its own colour (the palette shared with the plots), its trail too,
// and its index beside the marker so a fish can be told apart and named.
void paintMultiFish(QPainter &painter, const ViewState &state, HistoryCache &history, int half)
{
    const int k = state.reviewIndex;
    for (int i = k; i < k + ViewRenderer::trailLength; ++i) {
        const TrackRecord *newer = history.at(i);
        const TrackRecord *older = newer ? history.at(i + 1) : nullptr;
        if (!newer || !older)
            continue;
        // Every list is indexed by fish; a record with fewer entries simply ends the fish list.
        const int fish = std::min({ newer->fishPositions.size(), newer->fishFoundFlags.size(),
            older->fishPositions.size(), older->fishFoundFlags.size() });
        for (int j = 0; j < fish; ++j)
            if (newer->fishFoundFlags[j] && older->fishFoundFlags[j]) {
                painter.setPen(solidPen(FishPalette::colour(j), 1));
                painter.drawLine(newer->fishPositions[j], older->fishPositions[j]);
            }
    }

    for (int j = 0; j < state.fishPositions.size(); ++j) {
        const QPoint &p = state.fishPositions[j];
        const QColor colour = FishPalette::colour(j);
        // A dark ring under the marker keeps it visible on light water.
        const FishPalette::Marker shape = FishPalette::marker(j);
        painter.setPen(solidPen(Qt::black, 1));
        drawMarker(painter, p, half + 1, shape);
        painter.setPen(solidPen(colour, 1));
        drawMarker(painter, p, half, shape);
        if (!state.fishNumbers)
            continue;
        const QString index = QString::number(j + 1);
        const QPoint at(p.x() + half + 3, p.y() - half - 2);
        painter.setPen(solidPen(Qt::black, 1));
        for (const QPoint &d : { QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1) })
            painter.drawText(at + d, index);
        painter.setPen(solidPen(colour, 1));
        painter.drawText(at, index);
    }
}

// Where each area's label goes: at the area's top left corner as always, unless that puts it
// (partly) outside the frame or over an earlier label; then moved inside the frame and down
// (or up) a line at a time until it is clear. Sizes are the font's, so nothing moves on the
// usual pictures.
QList<QPoint> labelPositions(
    const QPainter &painter, const OverlaySet &overlays, int areaCount, const QSize &frame)
{
    const QFontMetrics metrics(painter.font());
    QList<QRect> placed;
    QList<QPoint> positions;
    for (int i = 0; i < areaCount; ++i) {
        const QRect &area = overlays.areas[i];
        const QSize text = metrics.size(0, overlays.areaLabels[i]);
        QRect box(area.topLeft(), text);
        auto clear = [&](const QRect &r) {
            for (const QRect &other : placed)
                if (other.intersects(r))
                    return false;
            return true;
        };
        const bool inside = QRect(QPoint(0, 0), frame).contains(box);
        if (!inside || !clear(box)) {
            box.moveLeft(std::clamp(box.left(), 0, std::max(0, frame.width() - box.width())));
            box.moveTop(std::clamp(box.top(), 0, std::max(0, frame.height() - box.height())));
            const int step = std::max(1, text.height());
            for (int tries = 0; tries < 200 && !clear(box); ++tries) {
                if (box.bottom() + step < frame.height())
                    box.translate(0, step);
                else
                    box.moveTop(0), box.translate(std::max(1, text.width() / 2), 0);
            }
        }
        placed << box;
        positions << box.topLeft();
    }
    return positions;
}

void paintSingleFish(QPainter &painter, const ViewState &state, HistoryCache &history, int half)
{
    if (state.fishFound) {
        painter.setPen(solidPen(Qt::white, 1));
        drawSquare(painter, state.fishPosition, half);
    } else {
        painter.setPen(solidPen(QColor(255, 0, 0), 2));
        drawSquare(painter, state.fishPosition, 2 * half);
    }

    auto segment = [&](int i) {
        const TrackRecord *newer = history.at(i);
        const TrackRecord *older = newer ? history.at(i + 1) : nullptr;
        if (newer && older)
            painter.drawLine(QPoint(newer->x, newer->y), QPoint(older->x, older->y));
    };

    const int k = state.reviewIndex;
    painter.setPen(solidPen(Qt::white, 1));
    for (int i = k; i < k + ViewRenderer::trailLength; ++i)
        segment(i);
    // From just before the shown record up to the newest one, over the white trail.
    painter.setPen(solidPen(QColor(128, 128, 255), 1));
    for (int i = k; i >= 0; --i)
        segment(i);
}

} // namespace

QImage ViewRenderer::render(const QImage &frame, const OverlaySet &overlays, const ViewState &state,
    const RecordLookup &history)
{
    if (frame.isNull())
        return QImage();
    QImage picture = frame.convertToFormat(QImage::Format_RGB32);
    QPainter painter(&picture);
    paint(painter, overlays, state, history);
    painter.end();
    return picture;
}

void ViewRenderer::paint(QPainter &painter, const OverlaySet &overlays, const ViewState &state,
    const RecordLookup &history)
{
    const QPointF fish(state.fishPosition);
    const int areaCount = int(std::min(overlays.areas.size(), overlays.areaLabels.size()));
    const QPaintDevice *device = painter.device();
    const QSize frame = device ? QSize(device->width(), device->height()) : QSize();
    const QList<QPoint> labels
        = frame.isEmpty() ? QList<QPoint>() : labelPositions(painter, overlays, areaCount, frame);
    for (int i = 0; i < areaCount; ++i) {
        const QRect &area = overlays.areas[i];
        const bool highlighted = areaContains(area, state.fishPosition.x(), state.fishPosition.y());
        if (labels.isEmpty() || labels[i] == area.topLeft()) {
            DrawArea(painter, i, area, overlays.areaLabels[i], highlighted);
            continue;
        }
        DrawArea(painter, i, area, QString(), highlighted);
        const QSize text = QFontMetrics(painter.font()).size(0, overlays.areaLabels[i]);
        painter.drawText(QRectF(labels[i], text), overlays.areaLabels[i], QTextOption());
    }

    for (int i = 0; i < overlays.arenas.size(); ++i)
        DrawArena(painter, i, overlays.arenas[i]);

    const bool showMeasures = state.showResults && state.fishFound;
    for (const Ruler &ruler : overlays.rulers)
        DrawRuler(painter, ruler, showMeasures, fish);
    for (const PointDist &pointDist : overlays.pointDists)
        DrawPointDist(painter, pointDist, showMeasures, fish);

    if (!state.showResults)
        return;

    HistoryCache cache(history);
    const int half = (state.meanFilterSize - 1) / 2;
    if (!state.fishPositions.isEmpty())
        paintMultiFish(painter, state, cache, half);
    else
        paintSingleFish(painter, state, cache, half);
}
