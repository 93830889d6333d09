#include "app/MainWindow.h"
#include "ui/Dialogs.h"
#include "video/VideoProbe.h"
#include "view/ui/VideoView.h"

#include <algorithm>

// Opening a video, seeking with the slider, and the time line under the picture.

void MainWindow::LoadVideoFile()
{
    videoFileName = Dialogs::current().openFileName(
        this, tr("Open Video"), QStringLiteral("."), tr("Video Files (*.*)"));
    if (videoFileName.isNull())
        return;

    decoder.open(videoFileName);
    if (!decoder.isOpen()) {
        Dialogs::current().critical(this, tr("Error"),
            tr("Error loading the video") + QLatin1Char('\n')
                + VideoProbe::describeFailure(videoFileName));
        return;
    }
    if (!decoder.seekNextFrame()) {
        Dialogs::current().critical(this, tr("Error"),
            tr("seekNextFrame failed") + QLatin1Char('\n')
                + VideoProbe::describeFailure(videoFileName));
        return;
    }
    QImage frame;
    if (!decoder.copyFrame(frame)) {
        Dialogs::current().critical(this, tr("Error"),
            tr("Error decoding the frame") + QLatin1Char('\n')
                + VideoProbe::describeFailure(videoFileName));
        return;
    }

    videoView->ResetOverlays();
    videoView->SetImage(frame);
    videoView->Redraw();

    processButton->setEnabled(true);

    positionSlider.setRange(0, decoder.lengthMs() / 1000);
    positionSlider.setValue(0);
    positionSlider.setTickPosition(QSlider::TicksBelow);
    positionSlider.setTickInterval(60);

    showTime(int(decoder.frameTime()), decoder.lengthMs());

    // The picture sets the size from now on; the window may shrink around it.
    setMinimumSize(0, 0);
    setWindowTitle(baseTitle + " - " + videoFileName);
    update();
}

void MainWindow::SeekInVideo()
{
    // sliderMoved arrives before the slider's value follows the handle, so value() would still
    // hold the previous position here; the handle's own position is the one dragged to.
    if (!decoder.seekToMs(qint64(positionSlider.sliderPosition()) * 1000))
        return;
    QImage frame;
    decoder.copyFrame(frame);
    videoView->SetImage(frame);
    videoView->Redraw();
    showTime(int(decoder.frameTime()), decoder.lengthMs());
    repaint();
}

void MainWindow::showTime(int currentMs, int lengthMs)
{
    timeLabel.setText("Time " + formatTime(currentMs) + "/" + formatTime(lengthMs) + " - ("
        + QString::number(currentMs / 1000.0, 'f', 3) + " seconds into video)");
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
