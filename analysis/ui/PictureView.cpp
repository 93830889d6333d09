#include "analysis/ui/PictureView.h"

#include <QPainter>

PictureView::PictureView(QWidget *parent)
    : QWidget(parent)
{
    setMinimumSize(320, 240);
}

void PictureView::setPicture(const QImage &picture)
{
    shown = picture;
    updateGeometry();
    update();
}

QSize PictureView::sizeHint() const
{
    return shown.isNull() ? QSize(640, 480) : shown.size();
}

void PictureView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    if (shown.isNull())
        return;
    QSize size = shown.size();
    size.scale(this->size(), Qt::KeepAspectRatio);
    const QRect target(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, shown);
}
