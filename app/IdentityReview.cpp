#include "app/IdentityReview.h"

#include "app/MainWindow.h"
#include "ui/Dialogs.h"
#include "ui/ReviewPanel.h"
#include "view/ui/VideoView.h"

#include <QAction>
#include <QFileInfo>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QUndoCommand>

#include <algorithm>
#include <cmath>

// A swap as an edit of the view's undo stack. Swapping the same two fish from the same frame
// again gives the file back byte for byte, so undoing is swapping again. It belongs to the file
// as it was opened: once another file (or the same one written again by a run) is under
// review, undoing it is refused. An undo or redo that cannot be made says so and leaves the
// stack (the file is as it was).
class IdentityReview::SwapEdit : public QUndoCommand
{
public:
    SwapEdit(
        IdentityReview *owner, quint64 opening, const QString &path, int a, int b, qint64 fromFrame)
        : QUndoCommand(
            QStringLiteral("swap fish %1 and %2 from frame %3").arg(a).arg(b).arg(fromFrame))
        , review(owner)
        , opened(opening)
        , file(path)
        , first(a)
        , second(b)
        , from(fromFrame)
    {
    }

    // The first redo is the swap already made when the edit is pushed.
    void redo() override
    {
        if (made) {
            made = false;
            return;
        }
        apply();
    }
    void undo() override { apply(); }

private:
    void apply()
    {
        if (!review || !review->applySwap(first, second, from, opened, file))
            setObsolete(true);
    }

    QPointer<IdentityReview> review;
    quint64 opened; // the opening of the file it was made in
    QString file; // that file
    int first, second;
    qint64 from;
    bool made = true;
};

IdentityReview::IdentityReview(MainWindow *w)
    : QObject(w)
    , window(w)
{
    dock = new ReviewPanel(window);
    window->addDockWidget(Qt::RightDockWidgetArea, dock);
    dock->hide();
    panelAction()->setObjectName(QStringLiteral("actionReviewPanel"));
    panelAction()->setText(tr("Identity &Review Panel"));
    openForReview = new QAction(tr("Open &Data File for Review..."), this);
    openForReview->setObjectName(QStringLiteral("actionOpenForReview"));
    connect(openForReview, &QAction::triggered, this, [this] {
        const QString start = window->fileName().isEmpty()
            ? QString()
            : QFileInfo(window->fileName()).absolutePath();
        const QString path
            = Dialogs::current().openFileName(window, tr("Open Data File for Review"), start,
                tr("Multi-fish data files (*.datamulti.txt);;All files (*)"));
        if (!path.isEmpty())
            open(path);
    });
    connect(dock, &ReviewPanel::eventChosen, this, [this](int index) { showEvent(index); });
    connect(dock, &ReviewPanel::swapAsked, this, [this] { swapFromHere(); });
}

QAction *IdentityReview::panelAction() const
{
    return dock->toggleViewAction();
}

void IdentityReview::runEnded(const QString &path, const QString &writeError)
{
    if (path.isEmpty() || !writeError.isEmpty())
        return;
    IdentityReviewFile written;
    QString error;
    // A one-fish file, or one of a single fish, has no identities to mix up.
    if (!written.open(path, &error) || written.rows().fishCount() < 2)
        return;
    data = std::move(written);
    ++openings;
    video = window->fileName();
    refreshEvents();
    showPanel();
}

bool IdentityReview::open(const QString &dataPath)
{
    IdentityReviewFile next;
    QString error;
    if (!next.open(dataPath, &error)) {
        Dialogs::current().critical(
            window, tr("Cannot review"), tr("%1 cannot be reviewed: %2.").arg(dataPath, error));
        return false;
    }
    // The video the file is named after ("fish.avi" for "fish.avi.datamulti.txt").
    const QString suffix = QStringLiteral(".datamulti.txt");
    const QString named
        = dataPath.endsWith(suffix) ? dataPath.left(dataPath.size() - suffix.size()) : QString();
    QString wanted = named;
    if (wanted.isEmpty() || !QFileInfo(wanted).isFile())
        wanted = Dialogs::current().openFileName(window,
            tr("The Video of %1").arg(QFileInfo(dataPath).fileName()),
            QFileInfo(dataPath).absolutePath(),
            tr("Videos (*.avi *.mp4 *.mkv *.mov *.ts);;All files (*)"));
    if (wanted.isEmpty())
        return false;
    if (QFileInfo(wanted) != QFileInfo(window->fileName()) && !window->openVideo(wanted))
        return false;
    data = std::move(next);
    ++openings;
    video = window->fileName();
    refreshEvents();
    showPanel();
    if (!data.events().isEmpty())
        dock->chooseEvent(0);
    else
        showRow(0);
    return true;
}

void IdentityReview::showPanel()
{
    dock->show();
    dock->raise();
    // The panel widens a window that has no room to spare for it: the window is moved back
    // onto its screen once it has grown.
    QTimer::singleShot(0, this, [this] {
        const QScreen *screen = window->screen();
        if (!screen || window->isMaximized() || window->isFullScreen())
            return;
        const QRect room = screen->availableGeometry();
        const QRect frame = window->frameGeometry();
        if (frame.right() > room.right())
            window->move(
                std::max(room.left(), window->x() - (frame.right() - room.right())), window->y());
    });
}

void IdentityReview::refreshEvents()
{
    dock->setEvents(QFileInfo(data.path()).fileName(), data.events());
    setState(processing);
}

bool IdentityReview::videoReady()
{
    if (!data.isOpen() || processing)
        return false;
    if (QFileInfo(window->fileName()) == QFileInfo(video))
        return true;
    // Another video was opened since: the file's own comes back.
    return window->openVideo(video);
}

bool IdentityReview::showEvent(int index)
{
    if (index < 0 || index >= data.events().size())
        return false;
    return showRow(data.rows().rowAtFrame(data.events()[index].frame));
}

bool IdentityReview::showRow(int row)
{
    if (row < 0 || row >= data.rows().rowCount() || !videoReady())
        return false;
    QList<QPoint> markers;
    for (const QPointF &p : data.positions(row))
        markers << QPoint(int(std::lround(p.x())), int(std::lround(p.y())));
    VideoView *view = window->view();
    view->SetFishPositions(markers);
    // The trails and heading ticks are the file's rows up to this one.
    view->SetHistory([this, row](int back, TrackRecord &record) {
        if (back < 0 || back > row || row >= data.rows().rowCount())
            return false;
        record = data.record(row - back);
        return true;
    });
    view->SetShowResults(true);
    return window->showPictureAt(data.msOf(row), data.rows().frame(row));
}

qint64 IdentityReview::shownFrame() const
{
    if (!data.isOpen() || QFileInfo(window->fileName()) != QFileInfo(video))
        return -1;
    const int row = data.rowAtMs(window->videoDecoder()->frameTime());
    return row < data.rows().rowCount() ? data.rows().frame(row) : -1;
}

bool IdentityReview::swapFromHere()
{
    const qint64 from = shownFrame();
    if (from < 0 || processing) {
        Dialogs::current().information(window, tr("Swap Identities"),
            tr("Show a frame of the file under review first: choose a moment in the list."));
        return false;
    }
    // The chosen event's fish are offered first.
    const int chosen = dock->chosenEvent();
    const QVector<int> fish = chosen >= 0 && chosen < data.events().size()
        ? data.events()[chosen].fish
        : QVector<int>();
    const int count = data.rows().fishCount();
    bool ok = false;
    const int a = Dialogs::current().integer(window, tr("Swap Identities"),
        tr("From frame %1 on, swap fish:").arg(from), fish.value(0, 1), 1, count, 1, &ok);
    if (!ok)
        return false;
    const int b = Dialogs::current().integer(window, tr("Swap Identities"), tr("...with fish:"),
        fish.value(1, a == 1 ? 2 : 1), 1, count, 1, &ok);
    if (!ok)
        return false;
    return swapFish(a, b, from);
}

bool IdentityReview::swapFish(int a, int b, qint64 fromFrame)
{
    if (!applySwap(a, b, fromFrame, openings, data.path()))
        return false;
    window->view()->undoStack()->push(new SwapEdit(this, openings, data.path(), a, b, fromFrame));
    return true;
}

bool IdentityReview::applySwap(int a, int b, qint64 fromFrame, quint64 opening, const QString &path)
{
    QString error;
    if (processing)
        error = tr("a run is in progress");
    else if (!data.isOpen() || opening != openings)
        error = tr("the swap was made in a file no longer under review");
    if (!error.isEmpty() || !data.swap(a, b, fromFrame, &error)) {
        Dialogs::current().critical(window, tr("Swap Identities"),
            tr("Fish %1 and %2 were not swapped in %3: %4. The file is as it was.")
                .arg(a)
                .arg(b)
                .arg(path, error));
        return false;
    }
    refreshEvents();
    // The markers of the frame shown follow the fish.
    if (QFileInfo(window->fileName()) == QFileInfo(video)) {
        const int row = data.rowAtMs(window->videoDecoder()->frameTime());
        if (row < data.rows().rowCount())
            showRow(row);
    }
    return true;
}

void IdentityReview::setState(bool running)
{
    // A run draws its own records.
    if (running && !processing)
        window->view()->SetHistory({});
    processing = running;
    openForReview->setEnabled(!running);
    dock->setSwapEnabled(!running && data.isOpen());
}
