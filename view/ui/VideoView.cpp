#include "view/ui/VideoView.h"

#include "model/FishPalette.h"
#include "tracking/VideoTracker.h"
#include "view/ViewRenderer.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

// The rectangle spanned by two corners given in any order.
QRect spanned(const QPoint &a, const QPoint &b)
{
    return QRect(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
        QPoint(std::max(a.x(), b.x()), std::max(a.y(), b.y())));
}

// Nearest integer, halves rounded up (towards +infinity, also for negative values).
int roundHalfUp(double v)
{
    return int(std::floor(v + 0.5));
}

// Distance from p to the segment a-b.
double segmentDistance(const QPointF &p, const QPointF &a, const QPointF &b)
{
    const QPointF d = b - a;
    const double len2 = QPointF::dotProduct(d, d);
    double t = len2 > 0 ? QPointF::dotProduct(p - a, d) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    const QPointF foot = a + t * d;
    return std::hypot(p.x() - foot.x(), p.y() - foot.y());
}

constexpr int maxUndo = 50;

bool sameShapes(const OverlaySet &a, const OverlaySet &b)
{
    const auto sameRulers = [](const Ruler &x, const Ruler &y) {
        return x.label == y.label && x.x1 == y.x1 && x.y1 == y.y1 && x.x2 == y.x2 && x.y2 == y.y2
            && x.length == y.length;
    };
    const auto samePointDists = [](const PointDist &x, const PointDist &y) {
        return x.label == y.label && x.centrex == y.centrex && x.centrey == y.centrey
            && x.radx == y.radx && x.rady == y.rady && x.length == y.length;
    };
    return a.areas == b.areas && a.areaLabels == b.areaLabels && a.arenas == b.arenas
        && a.scale.unitsPerPixel == b.scale.unitsPerPixel && a.scale.unit == b.scale.unit
        && std::equal(
            a.rulers.begin(), a.rulers.end(), b.rulers.begin(), b.rulers.end(), sameRulers)
        && std::equal(a.pointDists.begin(), a.pointDists.end(), b.pointDists.begin(),
            b.pointDists.end(), samePointDists);
}
constexpr double pickTolerance = 6.0; // screen pixels around a shape that select it

} // namespace

VideoView::VideoView(ViewHost *host)
    : QLabel(nullptr)
    , owner(host)
{
    setMouseTracking(true);
    setAlignment(Qt::AlignCenter);
    setText(tr("Open a video to start"));
    edits.setUndoLimit(maxUndo);
    ResetOverlays();
    fishPosition = QPoint(0, 0);
}

// Point distances go with the zones and rulers: a newly opened video starts a fresh set of shapes.
void VideoView::ResetOverlays()
{
    QMutexLocker locker(&viewLock);
    areaLabels.clear();
    areas.clear();
    rulers.clear();
    pointDists.clear();
    arenas.clear();
    lengthScale = Scale();
    areaLabels << QStringLiteral("Tracking Area");
    areas << QRect(QPoint(0, 0), QPoint(0, 0));
    currentArea = currentRuler = currentPointDist = -1;
    armed = dragging = editAddedShape = false;
    edits.clear();
    selectedKind = Kind::None;
    selectedIndex = -1;
    handles.clear();
    locker.unlock();
    emit arenasChanged();
    emit scaleChanged();
}

void VideoView::SelectArea(int index)
{
    const OverlaySet before = Overlays();
    currentArea = index;
    currentRuler = currentPointDist = -1;
    arm(Kind::Area, index,
        index == 0 ? tr("Drag a rectangle over the frame for the Tracking Area (Escape cancels)")
                   : tr("Drag a rectangle over the frame for the zone (Escape cancels)"));
    beforeEdit = before;
}

void VideoView::AddZone(const QString &text)
{
    // A zone first covers the whole frame on display; before any frame there is nothing to
    // cover, and it starts as the single pixel at the origin, like a fresh Tracking Area.
    const OverlaySet before = Overlays();
    const QSize shown = pixmap().size();
    const QRect whole = shown.isEmpty()
        ? QRect(QPoint(0, 0), QPoint(0, 0))
        : QRect(QPoint(0, 0), QPoint(shown.width() - 1, shown.height() - 1));
    QMutexLocker locker(&viewLock);
    const int index = int(areas.size());
    currentArea = index;
    currentRuler = currentPointDist = -1;
    areaLabels << QStringLiteral("Zone%1-%2").arg(index).arg(text);
    areas << whole;
    locker.unlock();
    arm(Kind::Area, index, tr("Drag a rectangle over the frame for the zone (Escape cancels)"));
    beforeEdit = before;
    editAddedShape = true;
}

void VideoView::AddRuler(const QString &text, float length)
{
    const OverlaySet before = Overlays();
    QMutexLocker locker(&viewLock);
    Ruler ruler;
    ruler.label = QStringLiteral("Ruler%1-%2").arg(rulers.size() + 1).arg(text);
    ruler.length = length;
    currentRuler = int(rulers.size());
    currentArea = currentPointDist = -1;
    rulers << ruler;
    locker.unlock();
    arm(Kind::Ruler, currentRuler,
        tr("Drag from the ruler's start to its end over the frame (Escape cancels)"));
    beforeEdit = before;
    editAddedShape = true;
}

void VideoView::AddPointDist(const QString &text, float length)
{
    const OverlaySet before = Overlays();
    QMutexLocker locker(&viewLock);
    PointDist pointDist;
    pointDist.label = QStringLiteral("PointDist%1-%2").arg(pointDists.size() + 1).arg(text);
    pointDist.length = length;
    currentPointDist = int(pointDists.size());
    currentArea = currentRuler = -1;
    pointDists << pointDist;
    locker.unlock();
    arm(Kind::PointDist, currentPointDist,
        tr("Drag from a point at the known distance to the centre (Escape cancels)"));
    beforeEdit = before;
    editAddedShape = true;
}

void VideoView::arm(Kind, int, const QString &hint)
{
    armed = true;
    dragging = false;
    editAddedShape = false;
    shownSinceArmed = false;
    selectedKind = Kind::None;
    selectedIndex = -1;
    emit hintChanged(hint);
}

void VideoView::disarm()
{
    armed = dragging = editAddedShape = false;
    currentArea = currentRuler = currentPointDist = -1;
    emit hintChanged(QString());
}

bool VideoView::isEditArmed() const
{
    return armed;
}

// One finished edit: the shapes before and after it. Pushed once the edit is made, so its
// first redo (QUndoStack::push calls it) has nothing to do.
class VideoView::Edit : public QUndoCommand
{
public:
    Edit(VideoView *view, OverlaySet before, OverlaySet after)
        : owner(view)
        , earlier(std::move(before))
        , later(std::move(after))
    {
    }
    void undo() override { owner->restoreOverlays(earlier); }
    void redo() override
    {
        if (pushed)
            owner->restoreOverlays(later);
        pushed = true;
    }

private:
    VideoView *owner;
    OverlaySet earlier;
    OverlaySet later;
    bool pushed = false;
};

void VideoView::pushUndo(const OverlaySet &before)
{
    OverlaySet after = Overlays();
    if (sameShapes(after, before))
        return;
    edits.push(new Edit(this, before, std::move(after)));
}

void VideoView::recordArenaEdit(const QList<Arena> &before)
{
    recordArenaEdit(before, scale());
}

void VideoView::recordArenaEdit(const QList<Arena> &before, const Scale &scaleBefore)
{
    OverlaySet earlier = Overlays();
    earlier.arenas = before;
    earlier.scale = scaleBefore;
    pushUndo(earlier);
}

void VideoView::restoreOverlays(const OverlaySet &set)
{
    {
        QMutexLocker locker(&viewLock);
        areas = set.areas;
        areaLabels = set.areaLabels;
        rulers = set.rulers;
        pointDists = set.pointDists;
        arenas = set.arenas;
        lengthScale = set.scale;
    }
    selectedKind = Kind::None;
    selectedIndex = -1;
    emit arenasChanged();
    emit scaleChanged();
    emit hintChanged(QString());
    Redraw();
}

void VideoView::finishEdit()
{
    if (!armed)
        return;
    if (editAddedShape)
        pushUndo(beforeEdit);
    disarm();
}

void VideoView::cancelEdit()
{
    if (!armed)
        return;
    const bool redraw = shownSinceArmed;
    {
        QMutexLocker locker(&viewLock);
        areas = beforeEdit.areas;
        areaLabels = beforeEdit.areaLabels;
        rulers = beforeEdit.rulers;
        pointDists = beforeEdit.pointDists;
    }
    disarm();
    // A picture drawn before the edit still shows the shapes as they are again.
    if (redraw)
        Redraw();
}

void VideoView::setOverlays(const OverlaySet &overlays)
{
    if (armed)
        cancelEdit();
    const OverlaySet before = Overlays();
    {
        QMutexLocker locker(&viewLock);
        areas = overlays.areas;
        areaLabels = overlays.areaLabels;
        rulers = overlays.rulers;
        pointDists = overlays.pointDists;
        arenas = overlays.arenas;
        lengthScale = overlays.scale;
    }
    pushUndo(before);
    selectedKind = Kind::None;
    selectedIndex = -1;
    emit arenasChanged();
    emit scaleChanged();
    Redraw();
}

bool VideoView::undo()
{
    if (trackerRunning())
        return false;
    if (armed) {
        cancelEdit();
        return true;
    }
    if (!edits.canUndo())
        return false;
    edits.undo();
    return true;
}

bool VideoView::redo()
{
    if (trackerRunning() || armed || !edits.canRedo())
        return false;
    edits.redo();
    return true;
}

QString VideoView::selectedLabel() const
{
    QMutexLocker locker(&viewLock);
    if (selectedKind == Kind::Area && selectedIndex > 0 && selectedIndex < areaLabels.size())
        return areaLabels[selectedIndex];
    if (selectedKind == Kind::Ruler && selectedIndex >= 0 && selectedIndex < rulers.size())
        return rulers[selectedIndex].label;
    if (selectedKind == Kind::PointDist && selectedIndex >= 0 && selectedIndex < pointDists.size())
        return pointDists[selectedIndex].label;
    return QString();
}

bool VideoView::deleteSelected()
{
    if (armed || trackerRunning() || selectedLabel().isEmpty())
        return false;
    const OverlaySet before = Overlays();
    {
        QMutexLocker locker(&viewLock);
        if (selectedKind == Kind::Area) {
            areas.removeAt(selectedIndex);
            areaLabels.removeAt(selectedIndex);
        } else if (selectedKind == Kind::Ruler) {
            rulers.removeAt(selectedIndex);
        } else {
            pointDists.removeAt(selectedIndex);
        }
    }
    pushUndo(before);
    selectedKind = Kind::None;
    selectedIndex = -1;
    emit hintChanged(QString());
    Redraw();
    return true;
}

// The shape nearest to a click: a point distance's centre or circle, a ruler's line, a zone's
// edge, or failing those the smallest zone around the point. The Tracking Area is redrawn, never
// deleted, so it is not picked.
void VideoView::selectAt(const QPoint &p)
{
    const double tolerance = pickTolerance / zoomFactor;
    const QPointF at(p);
    const OverlaySet set = Overlays();
    Kind kind = Kind::None;
    int index = -1;
    double best = tolerance;
    for (int i = 0; i < set.pointDists.size(); ++i) {
        const PointDist &d = set.pointDists[i];
        const QPointF centre(d.centrex, d.centrey);
        const double radius = std::hypot(d.centrex - d.radx, d.centrey - d.rady);
        const double toCentre = std::hypot(at.x() - centre.x(), at.y() - centre.y());
        const double distance = std::min(toCentre, std::fabs(toCentre - radius));
        if (distance <= best)
            kind = Kind::PointDist, index = i, best = distance;
    }
    for (int i = 0; i < set.rulers.size(); ++i) {
        const Ruler &r = set.rulers[i];
        const double distance = segmentDistance(at, QPointF(r.x1, r.y1), QPointF(r.x2, r.y2));
        if (distance <= best)
            kind = Kind::Ruler, index = i, best = distance;
    }
    for (int i = 1; i < set.areas.size(); ++i) {
        const QRect &r = set.areas[i];
        const QPointF corners[] = { r.topLeft(), r.topRight(), r.bottomRight(), r.bottomLeft() };
        for (int k = 0; k < 4; ++k) {
            const double distance = segmentDistance(at, corners[k], corners[(k + 1) % 4]);
            if (distance <= best)
                kind = Kind::Area, index = i, best = distance;
        }
    }
    if (kind == Kind::None) {
        qint64 smallest = -1;
        for (int i = 1; i < set.areas.size(); ++i) {
            const QRect &r = set.areas[i];
            const qint64 size = qint64(r.width()) * r.height();
            if (areaContains(r, p.x(), p.y()) && (smallest < 0 || size < smallest))
                kind = Kind::Area, index = i, smallest = size;
        }
    }
    selectedKind = kind;
    selectedIndex = index;
    const QString label = selectedLabel();
    emit hintChanged(label.isEmpty()
            ? QString()
            : tr("%1 selected: Delete removes it, Ctrl+Z undoes").arg(label));
}

QSize VideoView::frameSize() const
{
    return pixmap().size();
}

void VideoView::setZoom(double zoom)
{
    const bool numbersInPicture = zoomFactor >= 1.0;
    zoomFactor = std::clamp(zoom, 0.05, 8.0);
    // Below 100 % the fish numbers move from the picture to the screen (see paintEvent).
    if (numbersInPicture != (zoomFactor >= 1.0) && !pixmap().isNull())
        Redraw();
    applySize();
    update();
}

QPoint VideoView::framePoint(const QPointF &widgetPos) const
{
    if (zoomFactor == 1.0)
        return widgetPos.toPoint();
    return QPoint(
        int(std::floor(widgetPos.x() / zoomFactor)), int(std::floor(widgetPos.y() / zoomFactor)));
}

void VideoView::applySize()
{
    const QPixmap &picture = pixmap();
    if (picture.isNull())
        return;
    const QSize shown(qMax(1, qRound(picture.width() * zoomFactor)),
        qMax(1, qRound(picture.height() * zoomFactor)));
    setFixedSize(shown);
    // Below 100 % the picture is scaled smoothly once per redraw; above it, painting scales
    // only the part on screen.
    scaledPicture = zoomFactor < 1.0
        ? picture.scaled(shown, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        : QPixmap();
}

void VideoView::paintEvent(QPaintEvent *event)
{
    if (pixmap().isNull() || zoomFactor == 1.0) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    if (!scaledPicture.isNull())
        painter.drawPixmap(0, 0, scaledPicture);
    else
        painter.drawPixmap(rect(), pixmap());
    if (zoomFactor >= 1.0 || !showResults)
        return;
    // Scaled down, the picture's marker may shrink below a pixel: a ring around each fish, as
    // large as the marker but never smaller than a few screen pixels, keeps it in sight. It is
    // the view's alone; the picture (and so the export) is unchanged.
    const int half = owner ? (owner->meanFilterSize() - 1) / 2 : 1;
    const double radius = std::max(6.0, (half + 2) * zoomFactor);
    painter.setRenderHint(QPainter::Antialiasing);
    auto ring = [&](const QPoint &fish, const QColor &colour) {
        const QPointF centre((fish.x() + 0.5) * zoomFactor, (fish.y() + 0.5) * zoomFactor);
        painter.setPen(QPen(Qt::black, 3));
        painter.drawEllipse(centre, radius, radius);
        painter.setPen(QPen(colour, 1.5));
        painter.drawEllipse(centre, radius, radius);
    };
    if (!fishPositions.isEmpty()) {
        // The numbers at screen size, outlined, beside the rings (the picture has none).
        QFont font = painter.font();
        font.setBold(true);
        painter.setFont(font);
        for (int i = 0; i < fishPositions.size(); ++i) {
            const QColor colour = FishPalette::colour(i);
            ring(fishPositions[i], colour);
            const QPointF at((fishPositions[i].x() + 0.5) * zoomFactor + radius + 1,
                (fishPositions[i].y() + 0.5) * zoomFactor - radius / 2);
            const QString number = QString::number(i + 1);
            QPainterPath text;
            text.addText(at, font, number);
            // Dark colours (navy, maroon) read on a light outline, the others on black.
            painter.strokePath(
                text, QPen(colour.lightness() < 80 ? QColor(Qt::white) : QColor(Qt::black), 3));
            painter.fillPath(text, colour);
        }
    } else {
        ring(fishPosition, fishFound ? QColor(Qt::white) : QColor(255, 0, 0));
    }
}

void VideoView::SetImage(const QImage &img)
{
    QMutexLocker locker(&viewLock);
    image = img;
}

QImage VideoView::Image() const
{
    QMutexLocker locker(&viewLock);
    return image;
}

void VideoView::SetFishPosition(int x, int y)
{
    fishPosition = QPoint(x, y);
}
void VideoView::SetFishFound(bool found)
{
    fishFound = found;
}
void VideoView::SetShowResults(bool show)
{
    showResults = show;
}
void VideoView::SetCorrectionMode(bool on)
{
    correctionMode = on;
}
void VideoView::SetFishPositions(const QList<QPoint> &positions)
{
    fishPositions = positions;
}
void VideoView::SetHistory(const RecordLookup &records)
{
    reviewedHistory = records;
}

QPoint VideoView::FishPosition() const
{
    return fishPosition;
}
bool VideoView::FishFound() const
{
    return fishFound;
}

QList<QRect> VideoView::Areas() const
{
    QMutexLocker locker(&viewLock);
    return areas;
}

QStringList VideoView::AreaLabels() const
{
    QMutexLocker locker(&viewLock);
    return areaLabels;
}

QList<Ruler> VideoView::Rulers() const
{
    QMutexLocker locker(&viewLock);
    return rulers;
}

QList<PointDist> VideoView::PointDists() const
{
    QMutexLocker locker(&viewLock);
    return pointDists;
}

OverlaySet VideoView::Overlays() const
{
    QMutexLocker locker(&viewLock);
    return OverlaySet { areas, areaLabels, rulers, pointDists, arenas, lengthScale };
}

QList<Arena> VideoView::Arenas() const
{
    QMutexLocker locker(&viewLock);
    return arenas;
}

void VideoView::SetArenas(const QList<Arena> &list)
{
    {
        QMutexLocker locker(&viewLock);
        arenas = list;
    }
    emit arenasChanged();
}

Scale VideoView::scale() const
{
    QMutexLocker locker(&viewLock);
    return lengthScale;
}

void VideoView::SetScale(const Scale &next)
{
    {
        QMutexLocker locker(&viewLock);
        lengthScale = next;
    }
    emit scaleChanged();
}

void VideoView::SetHandles(const QList<QRect> &spans)
{
    handles = spans;
}

QList<QRect> VideoView::handleSquares(const QSize &frame) const
{
    // At each outer corner of each span, a square of about twelve screen pixels just outside
    // it (off the arenas' numbers), moved whole inside the frame where the corner lies on its
    // edge. Each rectangle holds the pixels its outline covers.
    const int side = std::max(6, qRound(12 / zoomFactor));
    QList<QRect> squares;
    for (const QRect &span : handles) {
        const QPoint corners[] = { span.topLeft(), QPoint(span.right() + 1, span.top()),
            QPoint(span.left(), span.bottom() + 1), span.bottomRight() + QPoint(1, 1) };
        for (int k = 0; k < 4; ++k) {
            const bool left = k % 2 == 0, top = k < 2;
            QRect square(corners[k].x() - (left ? side : 0), corners[k].y() - (top ? side : 0),
                side + 1, side + 1);
            square.translate(
                std::max(0, -square.left()) + std::min(0, frame.width() - 1 - square.right()),
                std::max(0, -square.top()) + std::min(0, frame.height() - 1 - square.bottom()));
            squares << square;
        }
    }
    return squares;
}

int VideoView::handleAt(const QPoint &framePos) const
{
    // A few screen pixels around each square count too.
    const int margin = qRound(3 / zoomFactor);
    const QList<QRect> squares = handleSquares(pixmap().size());
    for (int k = 0; k < squares.size(); ++k)
        if (squares[k].adjusted(-margin, -margin, margin, margin).contains(framePos))
            return k;
    return -1;
}

QPixmap VideoView::DisplayedPixmap() const
{
    return pixmap();
}

void VideoView::Redraw()
{
    ViewState state;
    state.fishPosition = fishPosition;
    state.fishPositions = fishPositions;
    state.fishFound = fishFound;
    state.showResults = showResults;
    state.fishNumbers = zoomFactor >= 1.0;
    VideoTracker *tracker = owner ? owner->videoTracker() : nullptr;
    if (owner) {
        state.reviewIndex = owner->reviewIndex();
        state.meanFilterSize = owner->meanFilterSize();
    }
    // The tracker may append while we draw: every record comes out as a copy taken under
    // the tracker's own lock.
    RecordLookup history = reviewedHistory;
    if (tracker && !history)
        history = [tracker](int index, TrackRecord &record) {
            bool ok = false;
            record = tracker->recordFromEnd(index, &ok);
            return ok;
        };

    QImage frame;
    OverlaySet overlays;
    {
        QMutexLocker locker(&viewLock);
        frame = image;
        overlays = OverlaySet { areas, areaLabels, rulers, pointDists, arenas, lengthScale };
    }

    QImage rendered = ViewRenderer::render(frame, overlays, state, history);
    // Nothing to draw before a video is open: the view keeps its "Open a video to start".
    if (rendered.isNull() && pixmap().isNull())
        return;
    if (!rendered.isNull() && selectedKind != Kind::None && selectedIndex >= 0) {
        // The selected shape's box, dashed, only in the view (never in an export).
        QRect box;
        if (selectedKind == Kind::Area && selectedIndex < overlays.areas.size())
            box = overlays.areas[selectedIndex];
        else if (selectedKind == Kind::Ruler && selectedIndex < overlays.rulers.size()) {
            const Ruler &r = overlays.rulers[selectedIndex];
            box = spanned(QPoint(r.x1, r.y1), QPoint(r.x2, r.y2));
        } else if (selectedKind == Kind::PointDist && selectedIndex < overlays.pointDists.size()) {
            const PointDist &d = overlays.pointDists[selectedIndex];
            const int radius = int(std::hypot(d.centrex - d.radx, d.centrey - d.rady));
            box = QRect(d.centrex - radius, d.centrey - radius, 2 * radius + 1, 2 * radius + 1);
        }
        QPainter painter(&rendered);
        QPen pen(QColor(255, 255, 0));
        pen.setWidth(qMax(1, qRound(2 / zoomFactor)));
        pen.setStyle(Qt::DashLine);
        painter.setPen(pen);
        painter.drawRect(box.adjusted(-4, -4, 4, 4));
    }
    if (!rendered.isNull() && !handles.isEmpty()) {
        // White in a black outline, so they read on any plate.
        QPainter painter(&rendered);
        painter.setPen(QPen(Qt::black, std::max(1, qRound(1 / zoomFactor))));
        painter.setBrush(Qt::white);
        for (const QRect &square : handleSquares(rendered.size()))
            painter.drawRect(square.adjusted(0, 0, -1, -1));
    }
    setPixmap(QPixmap::fromImage(rendered));
    applySize();
    shownSinceArmed = armed;
}

bool VideoView::trackerRunning() const
{
    const VideoTracker *tracker = owner ? owner->videoTracker() : nullptr;
    return tracker && tracker->isRunning();
}

// Gives the shape being edited the second point of the drag (the area's opposite corner,
// the ruler's end or the point distance's centre). Returns true when the Tracking Area was set.
bool VideoView::applyDragTo(const QPoint &pos)
{
    QMutexLocker locker(&viewLock);
    if (currentArea >= 0 && currentArea < areas.size()) {
        areas[currentArea] = spanned(dragStart, pos);
        return currentArea == 0;
    }
    if (currentRuler >= 0 && currentRuler < rulers.size()) {
        rulers[currentRuler].x2 = pos.x();
        rulers[currentRuler].y2 = pos.y();
    } else if (currentPointDist >= 0 && currentPointDist < pointDists.size()) {
        pointDists[currentPointDist].centrex = pos.x();
        pointDists[currentPointDist].centrey = pos.y();
    }
    return false;
}

void VideoView::mousePressEvent(QMouseEvent *event)
{
    if (correctionMode || trackerRunning())
        return;
    const QPoint pos = framePoint(event->position());
    dragStart = pos;
    if (!armed)
        return;
    dragging = true;
    QMutexLocker locker(&viewLock);
    if (currentRuler >= 0 && currentRuler < rulers.size()) {
        rulers[currentRuler].x1 = pos.x();
        rulers[currentRuler].y1 = pos.y();
    } else if (currentPointDist >= 0 && currentPointDist < pointDists.size()) {
        pointDists[currentPointDist].radx = pos.x();
        pointDists[currentPointDist].rady = pos.y();
    }
}

void VideoView::mouseMoveEvent(QMouseEvent *event)
{
    // Mouse tracking delivers moves without a button too; only a left-button drag edits.
    if (correctionMode || trackerRunning() || !dragging || !(event->buttons() & Qt::LeftButton))
        return;
    applyDragTo(framePoint(event->position()));
    Redraw();
}

void VideoView::mouseReleaseEvent(QMouseEvent *event)
{
    const QPoint pos = framePoint(event->position());
    if (correctionMode) {
        fishPosition = pos;
        fishFound = true;
        if (owner)
            owner->correctPosition(pos.x(), pos.y());
    } else if (!trackerRunning()) {
        if (dragging) {
            if (applyDragTo(pos)) {
                // The marker starts in the middle of a newly drawn Tracking Area.
                const QRect area = Areas().at(0);
                fishPosition = QPoint(roundHalfUp((area.left() + area.right()) * 0.5),
                    roundHalfUp((area.top() + area.bottom()) * 0.5));
            }
            // One drag per button press: the shape is done and can be undone.
            pushUndo(beforeEdit);
            disarm();
        } else if (!armed && !pixmap().isNull()) {
            selectAt(pos);
        }
    }
    Redraw();
}
