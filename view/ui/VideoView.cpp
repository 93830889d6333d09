#include "view/ui/VideoView.h"

#include "tracking/VideoTracker.h"
#include "view/ViewRenderer.h"

#include <QMouseEvent>

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

} // namespace

VideoView::VideoView(ViewHost *host)
    : QLabel(nullptr)
    , owner(host)
{
    setMouseTracking(true);
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
    areaLabels << QStringLiteral("Tracking Area");
    areas << QRect(QPoint(0, 0), QPoint(0, 0));
    currentArea = currentRuler = currentPointDist = -1;
}

void VideoView::SelectArea(int index)
{
    currentArea = index;
    currentRuler = currentPointDist = -1;
}

void VideoView::AddZone(const QString &text)
{
    // A zone first covers the whole frame on display; before any frame there is nothing to
    // cover, and it starts as the single pixel at the origin, like a fresh Tracking Area.
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
}

void VideoView::AddRuler(const QString &text, float length)
{
    QMutexLocker locker(&viewLock);
    Ruler ruler;
    ruler.label = QStringLiteral("Ruler%1-%2").arg(rulers.size() + 1).arg(text);
    ruler.length = length;
    currentRuler = int(rulers.size());
    currentArea = currentPointDist = -1;
    rulers << ruler;
}

void VideoView::AddPointDist(const QString &text, float length)
{
    QMutexLocker locker(&viewLock);
    PointDist pointDist;
    pointDist.label = QStringLiteral("PointDist%1-%2").arg(pointDists.size() + 1).arg(text);
    pointDist.length = length;
    currentPointDist = int(pointDists.size());
    currentArea = currentRuler = -1;
    pointDists << pointDist;
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
    return OverlaySet { areas, areaLabels, rulers, pointDists, arenas };
}

QList<Arena> VideoView::Arenas() const
{
    QMutexLocker locker(&viewLock);
    return arenas;
}

void VideoView::SetArenas(const QList<Arena> &list)
{
    QMutexLocker locker(&viewLock);
    arenas = list;
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
    VideoTracker *tracker = owner ? owner->videoTracker() : nullptr;
    if (owner) {
        state.reviewIndex = owner->reviewIndex();
        state.meanFilterSize = owner->meanFilterSize();
    }
    // The tracker may append while we draw: every record comes out as a copy taken under
    // the tracker's own lock.
    RecordLookup history;
    if (tracker)
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
        overlays = OverlaySet { areas, areaLabels, rulers, pointDists, arenas };
    }

    const QPixmap picture
        = QPixmap::fromImage(ViewRenderer::render(frame, overlays, state, history));
    setPixmap(picture);
    setMinimumSize(picture.size());
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
    const QPoint pos = event->position().toPoint();
    dragStart = pos;
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
    if (correctionMode || trackerRunning() || !(event->buttons() & Qt::LeftButton))
        return;
    applyDragTo(event->position().toPoint());
    Redraw();
}

void VideoView::mouseReleaseEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    if (correctionMode) {
        fishPosition = pos;
        fishFound = true;
        if (owner)
            owner->correctPosition(pos.x(), pos.y());
    } else if (!trackerRunning()) {
        if (applyDragTo(pos)) {
            // The marker starts in the middle of a newly drawn Tracking Area.
            const QRect area = Areas().at(0);
            fishPosition = QPoint(roundHalfUp((area.left() + area.right()) * 0.5),
                roundHalfUp((area.top() + area.bottom()) * 0.5));
        }
    }
    Redraw();
}
