#include "ui/ScrollColumn.h"

#include <QEvent>
#include <QScreen>
#include <QScrollBar>

#include <algorithm>

ScrollColumn::ScrollColumn(QWidget *column, int heightReserve)
    : reserve(heightReserve)
{
    setWidget(column);
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    // Room for the scroll bar beside the widest the column gets.
    setFixedWidth(column->maximumWidth() + verticalScrollBar()->sizeHint().width());
    // The column grows (the whole-video background's parameters shown): ask again.
    column->installEventFilter(this);
}

QSize ScrollColumn::sizeHint() const
{
    return minimumSizeHint();
}

QSize ScrollColumn::minimumSizeHint() const
{
    const int wanted = widget() ? widget()->minimumSizeHint().height() : 0;
    const QScreen *shown = screen();
    const int room = shown ? shown->availableGeometry().height() - reserve : wanted;
    return QSize(width(), std::max(0, std::min(wanted, room)));
}

bool ScrollColumn::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == widget() && event->type() == QEvent::LayoutRequest)
        updateGeometry();
    return QScrollArea::eventFilter(watched, event);
}
