#include "analysis/ui/OnScreenPlacement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

OnScreenPlacement::OnScreenPlacement(QWidget *window, Arrange beforeFit)
    : QObject(window)
    , arrange(std::move(beforeFit))
{
}

void OnScreenPlacement::install(QWidget *window, Arrange beforeFit)
{
    window->installEventFilter(new OnScreenPlacement(window, std::move(beforeFit)));
}

void OnScreenPlacement::fit(QWidget *window)
{
    QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect free = screen->availableGeometry();
    // The frame (title bar and borders) is known only once shown; allow for a usual one.
    const QMargins frame(8, 32, 8, 8);
    const QSize room = free.size().shrunkBy(frame);
    QSize size = window->size().boundedTo(room);
    size = size.expandedTo(window->minimumSize().boundedTo(room));
    window->resize(size);
    QRect outer = QRect(window->pos(), size).marginsAdded(frame);
    if (outer.right() > free.right())
        outer.moveRight(free.right());
    if (outer.bottom() > free.bottom())
        outer.moveBottom(free.bottom());
    if (outer.left() < free.left())
        outer.moveLeft(free.left());
    if (outer.top() < free.top())
        outer.moveTop(free.top());
    window->move(outer.topLeft());
}

bool OnScreenPlacement::eventFilter(QObject *watched, QEvent *event)
{
    if (!placed && event->type() == QEvent::Show) {
        placed = true;
        auto *window = static_cast<QWidget *>(watched);
        if (arrange) {
            QScreen *screen
                = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
            if (screen)
                arrange(screen->availableGeometry());
        }
        fit(window);
    }
    return QObject::eventFilter(watched, event);
}
