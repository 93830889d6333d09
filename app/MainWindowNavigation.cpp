#include "app/AppSettings.h"
#include "app/MainWindow.h"
#include "app/RunFeedback.h"
#include "app/WindowMenus.h"
#include "files/AtomicFile.h"
#include "ui/Dialogs.h"
#include "video/VideoProbe.h"
#include "view/ui/VideoView.h"
#include "view/ui/VideoViewport.h"

#include <QScreen>
#include <QStatusBar>

#include <algorithm>
#include <cmath>

// Opening a video, seeking with the slider and the keys, and the time line under the picture.

void MainWindow::LoadVideoFile()
{
    // The tracker reads the video's name until its file is written.
    if (runInProgress)
        return;
    const QString path = Dialogs::current().openFileName(
        this, tr("Open Video"), AppSettings::lastFolder(), tr("Video Files (*.*)"));
    videoFileName = path;
    if (path.isNull())
        return;
    openVideo(path);
}

bool MainWindow::openVideo(const QString &path)
{
    if (runInProgress)
        return false;
    videoFileName = path;
    decoder.open(videoFileName);
    if (!decoder.isOpen()) {
        Dialogs::current().critical(this, tr("Error"),
            tr("Error loading the video") + QLatin1Char('\n')
                + VideoProbe::describeFailure(videoFileName));
        updateVideoControls();
        return false;
    }
    if (!decoder.seekNextFrame()) {
        Dialogs::current().critical(this, tr("Error"),
            tr("seekNextFrame failed") + QLatin1Char('\n')
                + VideoProbe::describeFailure(videoFileName));
        return false;
    }
    QImage frame;
    if (!decoder.copyFrame(frame)) {
        Dialogs::current().critical(this, tr("Error"),
            tr("Error decoding the frame") + QLatin1Char('\n')
                + VideoProbe::describeFailure(videoFileName));
        return false;
    }
    framePeriodMs = decoder.framePeriodMs();
    // No output of this session (a data file saved under another name, an export) may replace
    // a video it opened.
    AtomicFile::protectInput(videoFileName);

    videoView->ResetOverlays();
    // What the status bar said of the previous video's run is not about this one.
    feedback->videoOpened();
    // Nor is the previous run's marker: it is drawn again once this video has results.
    videoView->SetShowResults(false);
    videoView->SetImage(frame);
    videoView->Redraw();

    updateVideoControls();

    // One slider step per frame, a page per second, a tick per minute.
    const qint64 lastIndex = frameIndexAt(std::max(decoder.lengthMs(), 0));
    positionSlider.setRange(0, int(std::min<qint64>(lastIndex, INT_MAX)));
    positionSlider.setSingleStep(1);
    positionSlider.setPageStep(std::max(1, int(frameIndexAt(1000))));
    positionSlider.setValue(int(frameIndexAt(decoder.frameTime())));
    positionSlider.setTickPosition(QSlider::TicksBelow);
    positionSlider.setTickInterval(std::max(1, int(frameIndexAt(60000))));

    showTime(int(decoder.frameTime()), decoder.lengthMs());

    setWindowTitle(baseTitle + " - " + videoFileName);
    menus->addRecentFile(videoFileName);
    fitWindowToVideo();
    update();
    return true;
}

// The window grows to show the frame whole where the screen has room, never past the screen;
// the frame is then scaled to fit the room it got.
void MainWindow::fitWindowToVideo()
{
    const QRect screen = this->screen() ? this->screen()->availableGeometry() : QRect();
    viewport->updateGeometry();
    if (!isMaximized() && !isFullScreen() && screen.isValid()) {
        // The window manager's frame; before it has framed the window, a typical title bar.
        QSize frameExtra = frameGeometry().size() - size();
        if (frameExtra.isNull())
            frameExtra = QSize(16, 48);
        const QSize room = screen.size() - frameExtra;
        // The window grows by what the picture at full size lacks.
        const QSize missing = viewport->sizeHint() - viewport->size();
        const QSize wanted = (size() + missing).expandedTo(size()).boundedTo(room);
        resize(wanted);
        const QRect now = frameGeometry();
        if (!screen.contains(now))
            move(std::clamp(now.left(), screen.left(), screen.right() - now.width()),
                std::clamp(now.top(), screen.top(), screen.bottom() - now.height()));
    }
    viewport->fitToWindow();
}

qint64 MainWindow::frameIndexAt(qint64 ms) const
{
    // Without a known frame rate the slider counts seconds, as it did before frames.
    const double period = framePeriodMs > 0 ? framePeriodMs : 1000.0;
    return std::llround(double(ms) / period);
}

// Seeks to the frame with this index: the first picture at or after its time, computed from
// the frame rate and rounded down to whole ms, so a seek lands on that frame and not on the
// next whole second.
bool MainWindow::seekToIndex(qint64 index)
{
    const double period = framePeriodMs > 0 ? framePeriodMs : 1000.0;
    auto msOf = [period](qint64 i) {
        return qint64(std::floor(double(std::max<qint64>(i, 0)) * period + 1e-6));
    };
    // The slider's end is the video's length, just past the last picture: there, and wherever
    // the length is a little optimistic, the last picture before it is the one shown.
    bool reached = decoder.seekToMs(msOf(index));
    for (int back = 1; !reached && back <= 2 && index - back >= 0; ++back)
        reached = decoder.seekToMs(msOf(index - back));
    if (!reached)
        return false;
    showDecodedPicture();
    return true;
}

void MainWindow::showDecodedPicture()
{
    QImage frame;
    decoder.copyFrame(frame);
    videoView->SetImage(frame);
    videoView->Redraw();
    positionSlider.setValue(int(frameIndexAt(decoder.frameTime())));
    showTime(int(decoder.frameTime()), decoder.lengthMs());
}

bool MainWindow::showPictureAt(qint64 ms, qint64 index)
{
    if (runInProgress || !decoder.isOpen())
        return false;
    // Times are whole ms rounded from the container's timestamps: a seek to the ms before
    // lands on the picture or the one before it, never after it.
    bool reached = decoder.seekToMs(ms - 1);
    while (reached && decoder.frameTime() < ms)
        reached = decoder.seekNextFrame();
    if (!reached)
        return false;
    showDecodedPicture();
    // A video whose times do not start at 0 or come evenly: its index is not its time's.
    if (index >= 0)
        frameLabel->setText(tr("Frame %1").arg(index));
    return true;
}

void MainWindow::SeekInVideo()
{
    // sliderMoved arrives before the slider's value follows the handle, so value() would still
    // hold the previous position here; the handle's own position is the one dragged to.
    if (runInProgress || !decoder.isOpen())
        return;
    if (seekToIndex(positionSlider.sliderPosition()))
        repaint();
}

// From the slider's frame, as the slider's own keys step: the window's keys and the slider's
// always agree.
bool MainWindow::stepFrames(int frames)
{
    if (runInProgress || !decoder.isOpen() || !positionSlider.isEnabled())
        return false;
    const qint64 target = qint64(positionSlider.value()) + frames;
    if (target < positionSlider.minimum() || target > positionSlider.maximum())
        return false;
    return seekToIndex(target);
}

bool MainWindow::stepSeconds(int seconds)
{
    return stepFrames(seconds * std::max(1, int(frameIndexAt(1000))));
}

void MainWindow::showTime(int currentMs, int lengthMs)
{
    timeLabel.setText("Time " + formatTime(currentMs) + "/" + formatTime(lengthMs) + " - ("
        + QString::number(currentMs / 1000.0, 'f', 3) + " seconds into video)");
    frameLabel->setText(decoder.isOpen() && !videoFileName.isEmpty()
            ? tr("Frame %1").arg(frameIndexAt(currentMs))
            : QString());
}

// h:mm:ss.zzz, as QTime formats it. Built by hand because a QTime stops at 23:59:59.999
// and would print nothing for a longer recording; hours simply keep counting here.
QString MainWindow::formatTime(int ms)
{
    ms = std::max(ms, 0); // an unknown length (negative) shows as zero
    const QChar zero('0');
    return QStringLiteral("%1:%2:%3.%4")
        .arg(ms / 3600000)
        .arg((ms / 60000) % 60, 2, 10, zero)
        .arg((ms / 1000) % 60, 2, 10, zero)
        .arg(ms % 1000, 3, 10, zero);
}
