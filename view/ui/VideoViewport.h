#pragma once
// The scrolling frame around the video view: fits the frame into the space the window gives
// it (shrinking a large frame, enlarging a small one), or shows it at a chosen zoom with scroll
// bars for panning. Ctrl+wheel zooms around the mouse, the wheel alone scrolls, a middle-button
// drag pans. GUI thread only.

#include <QScrollArea>

class VideoView;

class VideoViewport : public QScrollArea
{
    Q_OBJECT

public:
    explicit VideoViewport(VideoView *view, QWidget *parent = nullptr);

    // Scale the frame to fit, and keep it fitting as the window is resized.
    void fitToWindow();
    // One frame pixel per screen pixel.
    void showActualSize();
    // Zoom by `factor` keeping the frame point under `anchor` (viewport coordinates) in place.
    void zoomBy(double factor, const QPointF &anchor);
    bool fitting() const { return fitMode; }
    double zoom() const;

    // The frame's size at the current zoom plus the frame around it, so a window opened on a
    // small video hugs it; the window bounds this by the screen.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    void zoomChanged(double zoom);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void applyFit();

    VideoView *view;
    bool fitMode = true;
    QPoint panFrom; // viewport position of the middle-button press
    bool panning = false;
};
