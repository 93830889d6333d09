#include "ui/ScrollColumn.h"

#include <QAbstractSpinBox>
#include <QComboBox>
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
    guardWheel();
}

void ScrollColumn::guardWheel()
{
    // Installing again replaces the earlier install, so controls added later are covered by
    // calling this once more.
    QList<QWidget *> fields;
    for (QAbstractSpinBox *spin : widget()->findChildren<QAbstractSpinBox *>())
        fields << spin;
    for (QComboBox *combo : widget()->findChildren<QComboBox *>())
        fields << combo;
    for (QWidget *field : fields) {
        field->setFocusPolicy(Qt::StrongFocus);
        field->installEventFilter(this);
    }
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
    if (watched == widget() && event->type() == QEvent::LayoutRequest) {
        updateGeometry();
        guardWheel();
    }
    if (event->type() == QEvent::Wheel && watched != widget()) {
        auto *field = qobject_cast<QWidget *>(watched);
        if (field && !field->hasFocus()) {
            // Ignored and filtered: Qt hands the wheel on to the parents, the column's
            // scroll area among them.
            event->ignore();
            return true;
        }
    }
    return QScrollArea::eventFilter(watched, event);
}
