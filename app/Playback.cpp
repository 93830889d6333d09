#include "app/Playback.h"

#include "app/MainWindow.h"

#include <algorithm>

Playback::Playback(MainWindow *w)
    : QObject(w)
    , window(w)
{
    connect(&timer, &QTimer::timeout, this, [this] { tick(); });
}

void Playback::start()
{
    if (isPlaying() || window->isProcessing() || !window->videoDecoder()->isOpen())
        return;
    const double period = window->videoDecoder()->framePeriodMs();
    // A video that does not say its rate plays at 25 frames per second.
    timer.start(std::clamp(int(period > 0 ? period : 40.0), 1, 1000));
    emit playingChanged(true);
}

void Playback::stop()
{
    if (!isPlaying())
        return;
    timer.stop();
    emit playingChanged(false);
}

void Playback::toggle()
{
    if (isPlaying())
        stop();
    else
        start();
}

void Playback::tick()
{
    // The slider's last step may hold no frame of its own: a step that shows nothing new
    // is the end too.
    const qint64 shown = window->videoDecoder()->frameNumber();
    if (window->isProcessing() || !window->stepFrames(1)
        || window->videoDecoder()->frameNumber() == shown)
        stop();
}
