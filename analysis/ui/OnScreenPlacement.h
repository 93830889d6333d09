#pragma once
// Keeps a top-level window fully on its screen when it is first shown: a size larger than the
// screen's free area is reduced to it, and the frame is moved inside. Installed as an event
// filter on the window, which owns it. GUI thread only.

#include <QObject>
#include <QRect>

#include <functional>

class QWidget;

class OnScreenPlacement : public QObject
{
    Q_OBJECT

public:
    // Lets the window rearrange itself for the free area of its screen before fitting.
    using Arrange = std::function<void(const QRect &freeArea)>;

    // Watches `window` (and is deleted with it).
    static void install(QWidget *window, Arrange beforeFit = {});
    // Fits `window` to the free area of its screen now.
    static void fit(QWidget *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    OnScreenPlacement(QWidget *window, Arrange beforeFit);
    Arrange arrange;
    bool placed = false;
};
