#pragma once
// Play: steps through the video at its own frame rate while no run is on, for looking over a
// video (and the overlays drawn on it) without dragging the slider. Space or View > Play
// starts and stops it; it stops by itself at the end, when a run starts or when a step
// fails. GUI thread only.

#include <QObject>
#include <QTimer>

class MainWindow;

class Playback : public QObject
{
    Q_OBJECT

public:
    explicit Playback(MainWindow *window);

    bool isPlaying() const { return timer.isActive(); }
    void start();
    void stop();
    void toggle();
    // One frame on, as the timer does; stops at the end. Public so tests step it themselves.
    void tick();

Q_SIGNALS:
    void playingChanged(bool playing);

private:
    MainWindow *window;
    QTimer timer;
};
