#pragma once
// The arenas of the whole-video background method in the window: "Add Arena", "Add Round
// Arena" and "Add Arena Grid..." (rows, columns, round or square, fish per well and the wells'
// diameter in mm, which sets the scale, in one dialog), each then drawn by a drag on the video
// view; "Move Arenas" drags a grid (or a lone arena) as a whole, or a grid's corner handle to
// resize it. The status bar follows each drag. The arenas and the scale live in the view,
// which draws each arena with its number and hands them to the tracker with the other
// overlays. The window disables the controls during a run, which also ends any drag. GUI
// thread.

#include "model/Arena.h"
#include "model/Scale.h"
#include "ui/ArenaGridDialog.h"

#include <QList>
#include <QPoint>
#include <QWidget>

class QLabel;
class QPushButton;
class VideoView;

class ArenaControls : public QWidget
{
    Q_OBJECT

public:
    explicit ArenaControls(VideoView *view, QWidget *parent = nullptr);

    // Asks for the grid in one ArenaGridDialog; true when the next drag lays it out.
    bool askForGrid();
    // The grid the next drag lays out (the last one asked for).
    GridChoice grid() const { return gridChoice; }
    // Asks for the fish of the next single arena; true when the next drag draws it.
    bool askForFish();
    // Before a classic run, which tracks the Tracking Area alone: with arenas in the view, the
    // user is told they are left aside (and kept) and may cancel, once for the same arenas.
    // True when the run may start.
    bool confirmClassicRun();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    enum class Mode { Idle, Rectangle, Round, Grid, Move };
    void arm(Mode next);
    // The grids among the arenas, in order of their first arena.
    static QList<int> gridGroups(const QList<Arena> &arenas);
    // The outer corners of each grid of gridGroups(), four a grid (top left, top right,
    // bottom left, bottom right): where a drag in Move mode resizes it.
    static QList<QPoint> gridCorners(const QList<Arena> &arenas);
    void showHandles();
    // What the drag to `to` does, for the status bar.
    QString dragHint(const QList<Arena> &arenas, const QPoint &to) const;
    // The scale after the drag that made `arenas`: the new grid's or resized grid's wells
    // give it when their size was given; otherwise it stays.
    Scale scaleAfter(const QList<Arena> &arenas) const;
    // The arenas the drag from dragStart to `to` makes (or moves to).
    QList<Arena> dragged(const QPoint &to) const;
    void show(const QList<Arena> &arenas);
    // The arenas' count and fish, as the view holds them.
    void showSummary();

    VideoView *view;
    QPushButton *moveButton = nullptr;
    QLabel *summary = nullptr;
    Mode mode = Mode::Idle;
    bool dragging = false;
    QPoint dragStart;
    QList<Arena> before; // the arenas when the drag began
    Scale scaleBefore; // the scale when the drag began
    int movedArena = -1;
    // In Move mode, the grid whose corner handle the drag holds (0: none) and the corner
    // opposite that handle, which stays.
    int resizedGroup = 0;
    QPoint fixedCorner;
    // The grid asked for.
    int arenaFish = 1;
    GridChoice gridChoice;
    // The grid whose wells' size set the scale, and that size: resizing that grid sets the
    // scale again while it is still the one its wells give.
    int scaleGroup = 0;
    double scaleWellMm = 0.0;
    // The arenas the user last chose to leave out of a classic run: not asked about again
    // while they stay as they are.
    QList<Arena> leftOutOfClassic;
};
