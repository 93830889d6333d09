#pragma once
// Shows the current frame unscaled with the overlays, the fish marker and the trails, and
// lets the user draw the overlays with the mouse (or place the fish while a run is paused).
// GUI thread, except the calls the tracker makes (see the lock and atomics below).

#include "model/OverlayShapes.h"
#include "view/ui/ViewHost.h"

#include <QImage>
#include <QLabel>
#include <QMutex>
#include <QPixmap>

#include <atomic>

class VideoView : public QLabel
{
    Q_OBJECT

public:
    explicit VideoView(ViewHost *host);

    void ResetOverlays();
    void SelectArea(int index);
    void AddZone(const QString &text);
    void AddRuler(const QString &text, float length);
    void AddPointDist(const QString &text, float length);

    void SetImage(const QImage &image);
    QImage Image() const;
    void SetFishPosition(int x, int y);
    void SetFishFound(bool found);
    void SetShowResults(bool show);
    void SetCorrectionMode(bool on);
    void SetFishPositions(const QList<QPoint> &positions);
    QPoint FishPosition() const;
    bool FishFound() const;

    QList<QRect> Areas() const;
    QStringList AreaLabels() const;
    QList<Ruler> Rulers() const;
    QList<PointDist> PointDists() const;
    OverlaySet Overlays() const;
    // The whole-video background method's arenas (edited by ArenaControls).
    QList<Arena> Arenas() const;
    void SetArenas(const QList<Arena> &arenas);
    QPixmap DisplayedPixmap() const;
    void Redraw();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool trackerRunning() const;
    bool applyDragTo(const QPoint &pos);

    ViewHost *owner;
    int currentArea = -1;
    int currentRuler = -1;
    int currentPointDist = -1;
    // viewLock guards areaLabels, areas, rulers, pointDists, arenas and image: the tracker copies
    // them at the start and end of a run while the GUI thread may replace the image.
    mutable QMutex viewLock;
    QStringList areaLabels;
    QList<QRect> areas;
    QList<Ruler> rulers;
    QList<PointDist> pointDists;
    QList<Arena> arenas;
    QPoint dragStart; // GUI thread only
    QList<QPoint> fishPositions; // GUI thread only
    QPoint fishPosition; // GUI thread only
    QImage image; // guarded by viewLock
    std::atomic<bool> fishFound { false }; // written by the tracker, read at redraw
    std::atomic<bool> showResults { false }; // written by the tracker, read at redraw
    bool correctionMode = false; // GUI thread only
};
