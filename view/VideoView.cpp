#include "view/VideoView.h"

#include "app/MainWindow.h"

#include <QMouseEvent>
#include <QPainter>

// Minimal view until overlay editing lands: shows the image, keeps the lists.
VideoView::VideoView(MainWindow *owner) : QLabel(nullptr), owner(owner)
{
    setMouseTracking(true);
    ResetOverlays();
}

void VideoView::ResetOverlays()
{
    QMutexLocker locker(&viewLock);
    areaLabels.clear();
    areas.clear();
    rulers.clear();
    pointDists.clear();
    areaLabels << QStringLiteral("Tracking Area");
    areas << QRect(QPoint(0, 0), QPoint(0, 0));
    currentArea = currentRuler = currentPointDist = -1;
}
void VideoView::SelectArea(int index)
{
    currentArea = index;
    currentRuler = currentPointDist = -1;
}
void VideoView::AddZone(const QString &) {}
void VideoView::AddRuler(const QString &, float) {}
void VideoView::AddPointDist(const QString &, float) {}
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
void VideoView::SetFishPosition(int x, int y) { fishPosition = QPoint(x, y); }
void VideoView::SetFishFound(bool found) { fishFound = found; }
void VideoView::SetShowResults(bool show) { showResults = show; }
void VideoView::SetCorrectionMode(bool on) { correctionMode = on; }
void VideoView::SetFishPositions(const QList<QPoint> &positions) { fishPositions = positions; }
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
    return OverlaySet{areas, areaLabels, rulers, pointDists};
}
QPixmap VideoView::DisplayedPixmap() const { return pixmap(); }
void VideoView::Redraw()
{
    QPixmap pm = QPixmap::fromImage(Image());
    setPixmap(pm);
    setMinimumSize(pm.size());
}
void VideoView::mousePressEvent(QMouseEvent *) {}
void VideoView::mouseMoveEvent(QMouseEvent *) {}
void VideoView::mouseReleaseEvent(QMouseEvent *) {}
