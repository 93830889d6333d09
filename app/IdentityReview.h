#pragma once
// Reviews the identities of a multi-fish data file in the main window: File > Open Data File
// for Review... (or the end of a run of several fish) lists in the ReviewPanel the moments
// where two fish may have traded identities; choosing one shows its picture with every fish
// marked where the file has it (the stored rows, not tracked again); "Swap Identities from
// Here..." has two fish trade their columns from the frame shown on, rewriting the file whole,
// undoable with Edit > Undo and Redo (on the view's undo stack: a swap undone is the same swap
// again). GUI thread only.

#include "formats/IdentityReviewFile.h"

#include <QObject>
#include <QString>

class MainWindow;
class QAction;
class ReviewPanel;

class IdentityReview : public QObject
{
    Q_OBJECT

public:
    explicit IdentityReview(MainWindow *window);

    QAction *openAction() const { return openForReview; }
    // Shows and hides the panel (View menu).
    QAction *panelAction() const;
    ReviewPanel *panel() const { return dock; }
    const IdentityReviewFile &file() const { return data; }

    // A run wrote `path` (an empty error: it did): a file of several fish is opened for review.
    void runEnded(const QString &path, const QString &writeError);
    // Opens a data file for review with its video: the one open when the file is named after
    // it, else the video the file is named after, else one the user picks. False (having said
    // why) when either cannot be opened.
    bool open(const QString &dataPath);
    // Shows event `index` / row `row`: its picture, with every marker at the row's positions.
    bool showEvent(int index);
    bool showRow(int row);
    // Asks for two fish and swaps them from the frame shown on.
    bool swapFromHere();
    // Swaps fish a and b from frame `fromFrame` on, as one undoable edit. False (having said
    // why, naming the file) when the file could not be written; it is then as it was.
    bool swapFish(int a, int b, qint64 fromFrame);
    // The frame shown, as the file numbers it (-1: no row of the file shown).
    qint64 shownFrame() const;
    // Enables what needs the file and no run in progress.
    void setState(bool processing);

private:
    class SwapEdit;
    // The swap of an edit made in the file at `path` while it was opened the `opening`th time.
    bool applySwap(int a, int b, qint64 fromFrame, quint64 opening, const QString &path);
    bool videoReady();
    void showPanel();
    void refreshEvents();

    MainWindow *window;
    ReviewPanel *dock = nullptr;
    QAction *openForReview = nullptr;
    IdentityReviewFile data;
    QString video; // the video the file's rows came from
    quint64 openings = 0; // files opened for review so far (a run's file too)
    bool processing = false;
};
