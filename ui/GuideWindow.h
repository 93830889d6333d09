#pragma once
// Help > User Guide: the guide shipped inside the program (the README, compiled in as a
// resource), so it reads the same offline and matches the version running. One window,
// raised again when asked for twice; it fits the screen it opens on. GUI thread only.

#include <QTextBrowser>

class GuideWindow : public QTextBrowser
{
    Q_OBJECT

public:
    // The guide's window, made on first use (owned by `parent`'s lifetime, a top-level window).
    static GuideWindow *show(QWidget *parent);
    // The guide's text as shipped; empty when the resource is missing.
    static QString text();

private:
    explicit GuideWindow(QWidget *parent);
};
