#include "view/ui/VideoViewport.h"

#include "view/ui/VideoView.h"

#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

VideoViewport::VideoViewport(VideoView *shown, QWidget *parent)
    : QScrollArea(parent)
    , view(shown)
{
    setWidget(view);
    setWidgetResizable(false);
    setAlignment(Qt::AlignCenter);
    setFrameShape(QFrame::NoFrame);
    view->installEventFilter(this);
}

double VideoViewport::zoom() const
{
    return view->zoom();
}

void VideoViewport::fitToWindow()
{
    fitMode = true;
    applyFit();
}

void VideoViewport::showActualSize()
{
    fitMode = false;
    view->setZoom(1.0);
    emit zoomChanged(view->zoom());
}

void VideoViewport::zoomBy(double factor, const QPointF &anchor)
{
    const double before = view->zoom();
    // The frame point under the anchor, in frame pixels.
    const QPointF framePoint = (anchor - QPointF(view->pos())) / before;
    fitMode = false;
    view->setZoom(before * factor);
    const double after = view->zoom();
    // Scroll so that the same frame point stays under the anchor.
    horizontalScrollBar()->setValue(int(std::lround(framePoint.x() * after - anchor.x())));
    verticalScrollBar()->setValue(int(std::lround(framePoint.y() * after - anchor.y())));
    emit zoomChanged(after);
}

void VideoViewport::applyFit()
{
    const QSize frame = view->frameSize();
    if (frame.isEmpty())
        return;
    const QSize room = maximumViewportSize();
    // A small video is enlarged to fill the room as a large one is shrunk.
    const double fit
        = std::min(double(room.width()) / frame.width(), double(room.height()) / frame.height());
    view->setZoom(std::clamp(fit, 0.05, 8.0));
    emit zoomChanged(view->zoom());
}

QSize VideoViewport::sizeHint() const
{
    const QSize frame = view->frameSize();
    if (frame.isEmpty())
        return QSize(480, 360);
    return frame + QSize(2 * frameWidth(), 2 * frameWidth());
}

QSize VideoViewport::minimumSizeHint() const
{
    return QSize(160, 120);
}

void VideoViewport::resizeEvent(QResizeEvent *event)
{
    QScrollArea::resizeEvent(event);
    if (fitMode)
        applyFit();
}

void VideoViewport::wheelEvent(QWheelEvent *event)
{
    if (event->modifiers() & Qt::ControlModifier) {
        const double steps = event->angleDelta().y() / 120.0;
        if (steps != 0.0)
            zoomBy(std::pow(1.25, steps), event->position());
        event->accept();
        return;
    }
    QScrollArea::wheelEvent(event);
}

// A middle-button drag on the picture pans it; the other buttons stay the view's. (Wheel
// events the picture ignores reach wheelEvent through the viewport.)
bool VideoViewport::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == view) {
        if (event->type() == QEvent::MouseButtonPress) {
            auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouse->button() == Qt::MiddleButton) {
                panning = true;
                panFrom = mouse->globalPosition().toPoint();
                return true;
            }
        } else if (event->type() == QEvent::MouseMove && panning) {
            auto *mouse = static_cast<QMouseEvent *>(event);
            const QPoint now = mouse->globalPosition().toPoint();
            const QPoint delta = now - panFrom;
            panFrom = now;
            horizontalScrollBar()->setValue(horizontalScrollBar()->value() - delta.x());
            verticalScrollBar()->setValue(verticalScrollBar()->value() - delta.y());
            return true;
        } else if (event->type() == QEvent::MouseButtonRelease && panning) {
            if (static_cast<QMouseEvent *>(event)->button() == Qt::MiddleButton) {
                panning = false;
                return true;
            }
        }
    }
    return QScrollArea::eventFilter(watched, event);
}
