#include "ui/ArenaControls.h"

#include "model/ArenaLayout.h"
#include "ui/Dialogs.h"
#include "view/ui/VideoView.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int maxFish = ArenaLayout::maxFish;

QRect spanned(const QPoint &a, const QPoint &b)
{
    return QRect(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
        QPoint(std::max(a.x(), b.x()), std::max(a.y(), b.y())));
}

} // namespace

ArenaControls::ArenaControls(VideoView *videoView, QWidget *parent)
    : QWidget(parent)
    , view(videoView)
{
    setObjectName(QStringLiteral("arenaControls"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto addButton = [&](const QString &text, const char *name, const QString &tip) {
        auto *b = new QPushButton(text);
        b->setObjectName(QLatin1String(name));
        b->setToolTip(tip);
        layout->addWidget(b);
        return b;
    };
    QPushButton *rectangle = addButton(tr("Add Arena"), "addArenaButton",
        tr("Drag a rectangular arena; its fish are tracked apart from the others"));
    QPushButton *round = addButton(tr("Add Round Arena"), "addRoundArenaButton",
        tr("Drag the square around a round arena (a well, a dish)"));
    QPushButton *grid = addButton(tr("Add Arena Grid..."), "addArenaGridButton",
        tr("A plate of wells: give rows and columns, then drag from the first well to the last"));
    moveButton = addButton(tr("Move Arenas"), "moveArenasButton",
        tr("While on, drag an arena to move it with its grid"));
    moveButton->setCheckable(true);
    QPushButton *clear = addButton(tr("Clear Arenas"), "clearArenasButton",
        tr("Remove every arena (asks first; Undo brings them back)"));
    summary = new QLabel;
    summary->setObjectName(QStringLiteral("arenaSummary"));
    summary->setWordWrap(true);
    layout->addWidget(summary);

    connect(rectangle, &QPushButton::clicked, this, [this] {
        if (askForFish())
            arm(Mode::Rectangle);
    });
    connect(round, &QPushButton::clicked, this, [this] {
        if (askForFish())
            arm(Mode::Round);
    });
    connect(grid, &QPushButton::clicked, this, [this] {
        if (askForGrid())
            arm(Mode::Grid);
    });
    connect(moveButton, &QPushButton::toggled, this,
        [this](bool on) { arm(on ? Mode::Move : Mode::Idle); });
    connect(clear, &QPushButton::clicked, this, [this] {
        arm(Mode::Idle);
        const QList<Arena> earlier = view ? view->Arenas() : QList<Arena>();
        if (earlier.isEmpty())
            return;
        const int answer = Dialogs::current().choice(this, tr("Clear Arenas"),
            tr("Remove all %1 arenas? Edit > Undo brings them back.").arg(earlier.size()),
            { tr("Clear"), tr("Cancel") });
        if (answer != 0)
            return;
        show({});
        view->recordArenaEdit(earlier);
    });
    if (view) {
        view->installEventFilter(this);
        // A new video clears the arenas and a loaded setup brings its own: the summary follows.
        connect(view, &VideoView::arenasChanged, this, [this] { showSummary(); });
    }
    showSummary();
}

bool ArenaControls::askForGrid()
{
    Dialogs &dialogs = Dialogs::current();
    const QString title = tr("Add Arena Grid");
    bool ok = false;
    const int rows = dialogs.integer(this, title, tr("Rows:"), gridRows, 1, 50, 1, &ok);
    if (!ok)
        return false;
    const int columns = dialogs.integer(this, title, tr("Columns:"), gridColumns, 1, 50, 1, &ok);
    if (!ok)
        return false;
    const QString shape = dialogs.item(this, title, tr("Wells:"), { tr("Round"), tr("Square") });
    if (shape.isNull())
        return false;
    const int fish
        = dialogs.integer(this, title, tr("Fish per arena:"), gridFish, 1, maxFish, 1, &ok);
    if (!ok)
        return false;
    const qint64 total = ArenaLayout::totalFish(view ? view->Arenas() : QList<Arena>())
        + qint64(rows) * columns * fish;
    if (total > maxFish) {
        dialogs.critical(this, title,
            tr("The arenas would hold %1 fish together; at most %2 can be tracked.")
                .arg(total)
                .arg(maxFish));
        return false;
    }
    gridRows = rows;
    gridColumns = columns;
    gridFish = fish;
    gridShape = shape == tr("Square") ? Arena::Shape::Rectangle : Arena::Shape::Ellipse;
    return true;
}

bool ArenaControls::askForFish()
{
    bool ok = false;
    const int room = maxFish - ArenaLayout::totalFish(view ? view->Arenas() : QList<Arena>());
    if (room < 1) {
        Dialogs::current().critical(
            this, tr("Add Arena"), tr("The arenas already hold %1 fish.").arg(maxFish));
        return false;
    }
    const int fish = Dialogs::current().integer(this, tr("Add Arena"), tr("Fish in this arena:"),
        std::min(arenaFish, room), 1, room, 1, &ok);
    if (ok)
        arenaFish = fish;
    return ok;
}

bool ArenaControls::confirmClassicRun()
{
    const QList<Arena> arenas = view ? view->Arenas() : QList<Arena>();
    if (arenas.isEmpty() || arenas == leftOutOfClassic)
        return true;
    const QString kept = arenas.size() == 1
        ? tr("The arena is kept and is used by the whole-video background method.")
        : tr("The %1 arenas are kept and are used by the whole-video background method.")
              .arg(arenas.size());
    const int answer = Dialogs::current().choice(this, tr("Arenas Not Used"),
        tr("The classic method tracks the Tracking Area only. %1 Choose that method under "
           "Detection to track the arenas.")
            .arg(kept),
        { tr("Track the Tracking Area"), tr("Cancel") });
    if (answer != 0)
        return false;
    leftOutOfClassic = arenas;
    return true;
}

void ArenaControls::arm(Mode next)
{
    mode = next;
    dragging = false;
    if (moveButton->isChecked() != (next == Mode::Move)) {
        const QSignalBlocker blocker(moveButton);
        moveButton->setChecked(next == Mode::Move);
    }
    if (view)
        view->setCursor(next == Mode::Idle ? Qt::ArrowCursor
                : next == Mode::Move       ? Qt::SizeAllCursor
                                           : Qt::CrossCursor);
    // What the mouse does now, in the status bar (through the view's hint, as its own
    // drawing does).
    QString hint;
    switch (next) {
    case Mode::Idle:
        break;
    case Mode::Rectangle:
    case Mode::Round:
        hint = tr("Drag over the arena on the frame.");
        break;
    case Mode::Grid:
        hint = tr("Drag from the top left of the first well to the bottom right of the last: "
                  "%1 rows of %2 wells follow the mouse.")
                   .arg(gridRows)
                   .arg(gridColumns);
        break;
    case Mode::Move:
        hint = tr("Drag an arena to move it with its grid; press \"Move Arenas\" again to stop.");
        break;
    }
    if (view)
        emit view->hintChanged(hint);
}

QList<Arena> ArenaControls::dragged(const QPoint &to) const
{
    QList<Arena> arenas = before;
    const QRect rect = spanned(dragStart, to);
    switch (mode) {
    case Mode::Rectangle:
    case Mode::Round: {
        if (rect.width() < 2 || rect.height() < 2)
            break;
        Arena a;
        a.fishCount = arenaFish;
        a.rect = rect;
        a.shape = mode == Mode::Round ? Arena::Shape::Ellipse : Arena::Shape::Rectangle;
        arenas << a;
        break;
    }
    case Mode::Grid:
        arenas << ArenaLayout::grid(
            rect, gridRows, gridColumns, gridShape, gridFish, ArenaLayout::nextGroup(before));
        break;
    case Mode::Move:
        ArenaLayout::moveGroup(arenas, movedArena, to - dragStart);
        break;
    case Mode::Idle:
        break;
    }
    return arenas;
}

void ArenaControls::show(const QList<Arena> &arenas)
{
    if (view) {
        view->SetArenas(arenas);
        view->Redraw();
    }
    showSummary();
}

void ArenaControls::showSummary()
{
    const QList<Arena> arenas = view ? view->Arenas() : QList<Arena>();
    summary->setText(arenas.isEmpty() ? tr("No arenas: the Tracking Area holds every fish.")
                                      : tr("%1 arenas, %2 fish (whole-video background)")
                                            .arg(arenas.size())
                                            .arg(ArenaLayout::totalFish(arenas)));
}

void ArenaControls::changeEvent(QEvent *event)
{
    // Locked (a run started): a drag under way goes back to where it began, and nothing stays
    // armed for after the run.
    if (event->type() == QEvent::EnabledChange && !isEnabled() && mode != Mode::Idle) {
        if (dragging)
            show(before);
        arm(Mode::Idle);
    }
    QWidget::changeEvent(event);
}

bool ArenaControls::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != view || mode == Mode::Idle || !isEnabled())
        return QWidget::eventFilter(watched, event);
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove
        && type != QEvent::MouseButtonRelease)
        return QWidget::eventFilter(watched, event);
    auto *mouse = static_cast<QMouseEvent *>(event);
    const QPoint pos = view->framePoint(mouse->position());
    if (type == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton) {
        before = view->Arenas();
        dragStart = pos;
        movedArena = -1;
        if (mode == Mode::Move) {
            for (int i = int(before.size()) - 1; i >= 0 && movedArena < 0; --i)
                if (before[i].rect.contains(pos))
                    movedArena = i;
            if (movedArena < 0)
                return true; // nothing under the mouse to move
        }
        dragging = true;
        return true;
    }
    if (!dragging)
        return true;
    if (type == QEvent::MouseMove) {
        show(dragged(pos));
        return true;
    }
    if (type == QEvent::MouseButtonRelease && mouse->button() == Qt::LeftButton) {
        dragging = false;
        const QList<Arena> arenas = dragged(pos);
        // A drag too small for the shape (a click) adds nothing.
        const bool laidOut = mode == Mode::Move || arenas.size() > before.size();
        show(laidOut ? arenas : before);
        // One drag is one edit, to undo and redo as a whole.
        if (laidOut && arenas != before)
            view->recordArenaEdit(before);
        if (mode != Mode::Move)
            arm(Mode::Idle);
    }
    return true;
}
