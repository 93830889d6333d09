#pragma once
// Shows the current frame with the overlays, the fish marker and the trails, scaled by a zoom
// factor, and lets the user draw the overlays with the mouse (or place the fish while a run
// is paused). Mouse positions are mapped back to frame pixels, so shapes, corrections and data
// are in frame pixels at any zoom. Each button press arms one drag; a click on a shape while
// nothing is armed selects it for deletion; every finished edit can be undone.
// GUI thread, except the calls the tracker makes (see the lock and atomics below).

#include "model/OverlayShapes.h"
#include "view/ViewRenderer.h"
#include "view/ui/ViewHost.h"

#include <QImage>
#include <QLabel>
#include <QMutex>
#include <QPixmap>
#include <QUndoStack>

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
    // The records the trails and heading ticks are drawn from, counted back from the one shown
    // (a data file under review); empty: the tracker's own.
    void SetHistory(const RecordLookup &records);
    QPoint FishPosition() const;
    QList<QPoint> FishPositions() const { return fishPositions; }
    bool FishFound() const;

    QList<QRect> Areas() const;
    QStringList AreaLabels() const;
    QList<Ruler> Rulers() const;
    QList<PointDist> PointDists() const;
    OverlaySet Overlays() const;
    // The whole-video background method's arenas (edited by ArenaControls).
    QList<Arena> Arenas() const;
    void SetArenas(const QList<Arena> &arenas);
    // The length of a pixel set for this setup (from a grid's wells or a loaded setup); kept
    // with the shapes, in the data file and the setup, undone with them.
    Scale scale() const;
    void SetScale(const Scale &scale);
    // Rectangles (in frame pixels) whose four outer corners get small square handles, just
    // outside them, in the view only (never in an export): an arena grid's, to resize it.
    void SetHandles(const QList<QRect> &spans);
    // The handle under a frame pixel: 4 * span + corner (top left, top right, bottom left,
    // bottom right); -1 when none.
    int handleAt(const QPoint &framePos) const;
    QPixmap DisplayedPixmap() const;
    void Redraw();

    // Display scale (1 = one screen pixel per frame pixel); the widget takes the frame's
    // size times the zoom.
    void setZoom(double zoom);
    double zoom() const { return zoomFactor; }
    QSize frameSize() const;
    // The frame pixel under a position in widget coordinates.
    QPoint framePoint(const QPointF &widgetPos) const;

    // Editing beyond the buttons' drags.
    bool isEditArmed() const;
    void cancelEdit(); // Escape: the armed shape goes back to what it was (a new one goes)
    void finishEdit(); // another button: an armed shape keeps the geometry it has
    bool deleteSelected(); // Delete: the selected zone, ruler or point distance
    // Ctrl+Z: the last finished edit, deletion, setup load or arena change; Ctrl+Shift+Z
    // (Ctrl+Y) redoes what was undone.
    bool undo();
    bool redo();
    bool canUndo() const { return edits.canUndo(); }
    QUndoStack *undoStack() { return &edits; }
    // An arena change made through SetArenas (a grid laid out, arenas moved or cleared),
    // recorded as one edit from `before` to the arenas now.
    void recordArenaEdit(const QList<Arena> &before);
    // The same for arenas and scale changed together (a grid whose wells set the scale).
    void recordArenaEdit(const QList<Arena> &before, const Scale &scaleBefore);
    QString selectedLabel() const; // empty when nothing is selected
    // Replaces every shape and the arenas (a loaded setup); undoable.
    void setOverlays(const OverlaySet &overlays);

Q_SIGNALS:
    // What the user can do now with the mouse or keys; empty when nothing is going on.
    void hintChanged(const QString &hint);
    // The arenas were replaced: drawn, loaded with a setup, undone or cleared with a new video.
    void arenasChanged();
    // The scale was set, loaded, undone or cleared.
    void scaleChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    enum class Kind { None, Area, Ruler, PointDist };
    bool trackerRunning() const;
    bool applyDragTo(const QPoint &pos);
    void arm(Kind kind, int index, const QString &hint);
    void disarm();
    class Edit;
    // Records the change from `before` to the shapes now as one edit (nothing when equal).
    void pushUndo(const OverlaySet &before);
    void restoreOverlays(const OverlaySet &set);
    void selectAt(const QPoint &framePos);
    void applySize();
    // The handles' squares in a frame of that size, four a span in handleAt's order.
    QList<QRect> handleSquares(const QSize &frame) const;

    ViewHost *owner;
    int currentArea = -1;
    int currentRuler = -1;
    int currentPointDist = -1;
    // viewLock guards areaLabels, areas, rulers, pointDists, arenas, lengthScale and image: the
    // tracker copies them at the start and end of a run while the GUI thread may replace the
    // image.
    mutable QMutex viewLock;
    QStringList areaLabels;
    QList<QRect> areas;
    QList<Ruler> rulers;
    QList<PointDist> pointDists;
    QList<Arena> arenas;
    Scale lengthScale;
    QList<QRect> handles; // GUI thread only
    QPoint dragStart; // GUI thread only
    QList<QPoint> fishPositions; // GUI thread only
    RecordLookup reviewedHistory; // GUI thread only
    QPoint fishPosition; // GUI thread only
    QImage image; // guarded by viewLock
    std::atomic<bool> fishFound { false }; // written by the tracker, read at redraw
    std::atomic<bool> showResults { false }; // written by the tracker, read at redraw
    bool correctionMode = false; // GUI thread only

    // Editing state, GUI thread only. armed: the next press starts the drag of the current
    // shape; dragging: between that press and its release.
    bool armed = false;
    bool dragging = false;
    OverlaySet beforeEdit; // the shapes when the edit was armed, for Escape and undo
    bool editAddedShape = false; // the armed shape was added for this edit
    bool shownSinceArmed = false; // the picture was redrawn while the edit was armed
    QUndoStack edits;
    Kind selectedKind = Kind::None;
    int selectedIndex = -1;

    double zoomFactor = 1.0; // GUI thread only
    QPixmap scaledPicture; // the picture at zoomFactor when below 1 (smoothly scaled)
};
