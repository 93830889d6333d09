#pragma once
// A column of controls that scrolls only when the screen is lower than the controls need:
// it asks for the column's own height, up to the screen's available height less the room the
// window needs around it, so that every control (and "Process Video") can be reached on a
// low screen while a higher one shows the column whole. The wheel scrolls the column: a spin
// box or list box in it takes the wheel only once it has the keyboard focus (a click or Tab
// gives it), so scrolling past a value never changes it. GUI thread.

#include <QScrollArea>

class ScrollColumn : public QScrollArea
{
public:
    // `reserve`: the height the window needs besides the column (title, menus, margins).
    ScrollColumn(QWidget *column, int reserve);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void guardWheel();

    int reserve;
};
