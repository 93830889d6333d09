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
        tr("A plate of wells: give rows, columns and the wells' size, then drag from the first "
           "well to the last"));
    moveButton = addButton(tr("Move Arenas"), "moveArenasButton",
        tr("While on, drag an arena to move it with its grid, or a grid's corner handle to "
           "resize the grid"));
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
        // A new video clears the arenas and a loaded setup brings its own: the summary and
        // the handles follow.
        connect(view, &VideoView::arenasChanged, this, [this] {
            showSummary();
            if (mode == Mode::Move && !dragging)
                showHandles();
        });
        connect(view, &VideoView::scaleChanged, this, [this] { showSummary(); });
    }
    showSummary();
}

bool ArenaControls::askForGrid()
{
    ArenaGridDialog dialog(
        gridChoice, ArenaLayout::totalFish(view ? view->Arenas() : QList<Arena>()), this);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    gridChoice = dialog.choice();
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
                   .arg(gridChoice.rows)
                   .arg(gridChoice.columns);
        break;
    case Mode::Move:
        hint = tr("Drag an arena to move it with its grid, or a white corner handle to resize "
                  "the grid; press \"Move Arenas\" again to stop.");
        break;
    }
    if (view) {
        showHandles();
        emit view->hintChanged(hint);
    }
}

QList<int> ArenaControls::gridGroups(const QList<Arena> &arenas)
{
    QList<int> groups;
    for (const Arena &a : arenas)
        if (a.group > 0 && !groups.contains(a.group))
            groups << a.group;
    return groups;
}

QList<QPoint> ArenaControls::gridCorners(const QList<Arena> &arenas)
{
    QList<QPoint> corners;
    for (int group : gridGroups(arenas)) {
        const QRect span = ArenaLayout::groupSpan(arenas, group);
        // The outer corners: one past the last pixel on the right and at the bottom.
        corners << span.topLeft() << QPoint(span.right() + 1, span.top())
                << QPoint(span.left(), span.bottom() + 1) << span.bottomRight() + QPoint(1, 1);
    }
    return corners;
}

void ArenaControls::showHandles()
{
    if (!view)
        return;
    QList<QRect> spans;
    if (mode == Mode::Move) {
        const QList<Arena> arenas = view->Arenas();
        for (int group : gridGroups(arenas))
            spans << ArenaLayout::groupSpan(arenas, group);
    }
    view->SetHandles(spans);
    view->Redraw();
}

QString ArenaControls::dragHint(const QList<Arena> &arenas, const QPoint &to) const
{
    const QRect rect = spanned(dragStart, to);
    switch (mode) {
    case Mode::Grid: {
        if (arenas.size() <= before.size())
            return tr("Too small for %1 x %2 wells: drag further.")
                .arg(gridChoice.rows)
                .arg(gridChoice.columns);
        const QRect well = arenas[before.size()].rect;
        const Scale scale = scaleAfter(arenas);
        return tr("%1 rows of %2 wells over %3 x %4 px, each well %5 x %6 px%7.")
            .arg(gridChoice.rows)
            .arg(gridChoice.columns)
            .arg(rect.width())
            .arg(rect.height())
            .arg(well.width())
            .arg(well.height())
            .arg(scale.isSet() && gridChoice.wellMm > 0.0
                    ? tr(" (%1 mm: %2)").arg(gridChoice.wellMm).arg(scale.describe())
                    : QString());
    }
    case Mode::Move:
        if (resizedGroup > 0) {
            const QRect span = ArenaLayout::groupSpan(arenas, resizedGroup);
            return tr("Grid resized to %1 x %2 px; release to keep it (Edit > Undo takes it "
                      "back).")
                .arg(span.width())
                .arg(span.height());
        }
        return tr("Moved by %1, %2 px.").arg(to.x() - dragStart.x()).arg(to.y() - dragStart.y());
    case Mode::Rectangle:
    case Mode::Round:
        return tr("%1 x %2 px").arg(rect.width()).arg(rect.height());
    case Mode::Idle:
        break;
    }
    return QString();
}

Scale ArenaControls::scaleAfter(const QList<Arena> &arenas) const
{
    Scale scale = scaleBefore;
    if (mode == Mode::Grid && gridChoice.wellMm > 0.0 && arenas.size() > before.size()) {
        const QList<Arena> laid = arenas.mid(before.size());
        if (const auto wells
            = ArenaLayout::wellScale(laid, gridChoice.wellMm, QStringLiteral("mm")))
            scale = *wells;
    } else if (mode == Mode::Move && resizedGroup > 0 && resizedGroup == scaleGroup) {
        // Only while the scale is still the one these wells gave (not one loaded or set since).
        const auto wells = [this](const QList<Arena> &list) {
            QList<Arena> members;
            for (const Arena &a : list)
                if (a.group == resizedGroup)
                    members << a;
            return ArenaLayout::wellScale(members, scaleWellMm, QStringLiteral("mm"));
        };
        const auto earlier = wells(before);
        const auto later = wells(arenas);
        if (earlier && later && earlier->describe() == scaleBefore.describe())
            scale = *later;
    }
    return scale;
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
        arenas << ArenaLayout::grid(rect, gridChoice.rows, gridChoice.columns, gridChoice.shape,
            gridChoice.fishPerWell, ArenaLayout::nextGroup(before));
        break;
    case Mode::Move:
        if (resizedGroup > 0) {
            // The outer corner under the mouse; the opposite one stays. A grid too small for
            // its wells stays as it was.
            const QRect outer = spanned(fixedCorner, to);
            ArenaLayout::resizeGroup(
                arenas, resizedGroup, QRect(outer.topLeft(), outer.size() - QSize(1, 1)));
        } else {
            ArenaLayout::moveGroup(arenas, movedArena, to - dragStart);
        }
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
    const Scale scale = view ? view->scale() : Scale();
    summary->setText((arenas.isEmpty() ? tr("No arenas: the Tracking Area holds every fish.")
                                       : tr("%1 arenas, %2 fish (whole-video background)")
                                             .arg(arenas.size())
                                             .arg(ArenaLayout::totalFish(arenas)))
        + QLatin1Char('\n')
        + (scale.isSet() ? tr("Scale: %1").arg(scale.describe())
                         : tr("No scale: lengths in pixels")));
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
        scaleBefore = view->scale();
        dragStart = pos;
        movedArena = -1;
        resizedGroup = 0;
        if (mode == Mode::Move) {
            // A corner handle first, else the arena under the mouse. The handles are those of
            // gridGroups(), four a grid as gridCorners() gives the corners; the corner
            // opposite the one taken stays.
            const int k = view->handleAt(pos);
            const QList<int> groups = gridGroups(before);
            if (k >= 0 && k / 4 < groups.size()) {
                resizedGroup = groups[k / 4];
                fixedCorner = gridCorners(before)[k - k % 4 + 3 - k % 4];
            }
            if (resizedGroup > 0) {
                view->SetHandles({});
                dragging = true;
                return true;
            }
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
        const QList<Arena> arenas = dragged(pos);
        show(arenas);
        emit view->hintChanged(dragHint(arenas, pos));
        return true;
    }
    if (type == QEvent::MouseButtonRelease && mouse->button() == Qt::LeftButton) {
        dragging = false;
        const QList<Arena> arenas = dragged(pos);
        // A drag too small for the shape (a click) adds nothing.
        const bool laidOut = mode == Mode::Move || arenas.size() > before.size();
        const Scale scale = laidOut ? scaleAfter(arenas) : scaleBefore;
        if (laidOut && mode == Mode::Grid && gridChoice.wellMm > 0.0 && scale.isSet()) {
            scaleGroup = arenas.last().group;
            scaleWellMm = gridChoice.wellMm;
        }
        view->SetScale(scale);
        show(laidOut ? arenas : before);
        // One drag is one edit, to undo and redo as a whole (the scale with it).
        if (laidOut
            && (arenas != before || scale.unitsPerPixel != scaleBefore.unitsPerPixel
                || scale.unit != scaleBefore.unit))
            view->recordArenaEdit(before, scaleBefore);
        resizedGroup = 0;
        if (mode != Mode::Move)
            arm(Mode::Idle);
        else
            arm(Mode::Move);
    }
    return true;
}
