#pragma once
// The arenas of the whole-video background method in the window: "Add Arena", "Add Round
// Arena" and "Add Arena Grid..." (rows, columns, round or square, fish per arena, asked
// through the dialogs), each then drawn by a drag on the video view; "Move Arenas" drags a
// grid (or a lone arena) as a whole; "Clear Arenas". The arenas live in the view, which draws
// each with its number and hands them to the tracker with the other overlays. The window
// disables the controls during a run, which also ends any drag. GUI thread.

#include "model/Arena.h"

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

    // Asks for the grid's rows, columns, shape and fish per arena; true when the next drag
    // lays it out.
    bool askForGrid();
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
    int movedArena = -1;
    // The grid asked for.
    int arenaFish = 1;
    int gridRows = 6, gridColumns = 8, gridFish = 1;
    Arena::Shape gridShape = Arena::Shape::Ellipse;
    // The arenas the user last chose to leave out of a classic run: not asked about again
    // while they stay as they are.
    QList<Arena> leftOutOfClassic;
};
