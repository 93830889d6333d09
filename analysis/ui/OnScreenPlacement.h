#pragma once
// Keeps a top-level window fully on its screen when it is first shown: a size larger than the
// screen's free area is reduced to it, and the frame is moved inside. Installed as an event
// filter on the window, which owns it. GUI thread only.

#include <QObject>

class QWidget;

class OnScreenPlacement : public QObject
{
    Q_OBJECT

public:
    // Watches `window` (and is deleted with it).
    static void install(QWidget *window);
    // Fits `window` to the free area of its screen now.
    static void fit(QWidget *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit OnScreenPlacement(QWidget *window);
    bool placed = false;
};
