#include "app/MainWindow.h"
#include "ui/Dialogs.h"

#include "tracking/ImageLock.h"
#include "tracking/VideoTracker.h"
#include "view/ui/VideoView.h"

#include <QFileInfo>
#include <QPushButton>

namespace {
constexpr int RefreshIntervalMs = 50;
}

void MainWindow::ProcessVideo()
{
    runInProgress = true;
    tracker->start(QThread::InheritPriority);

    processButton->setEnabled(false);
    stopButton->setEnabled(true);
    positionSlider.setEnabled(false);
    pauseButton->setEnabled(true);
    setRunControlsEnabled(false);

    refreshTimer.start(RefreshIntervalMs);
}

void MainWindow::StopProcessing()
{
    // The finished() of a run is queued: when it arrives after "Stop Processing" has already
    // ended that run and a new one was started, it belongs to the old run and must not stop
    // the new one. (finished() itself is only emitted once the thread no longer counts as
    // running.)
    if (sender() == tracker && tracker->isRunning())
        return;

    tracker->requestStop();
    // The tracker writes the data file before its thread ends, so this includes the writing.
    tracker->wait();

    processButton->setEnabled(true);
    stopButton->setEnabled(false);
    positionSlider.setEnabled(true);
    setRunControlsEnabled(true);
    backButton->setEnabled(false);
    pauseButton->setEnabled(false);
    forwardButton->setEnabled(false);

    // A run stopped while paused leaves the window fully idle, as a resumed one would.
    pauseButton->setText(tr("Pause"));
    videoView->SetCorrectionMode(false);
    reviewOffset = 0;

    refreshTimer.stop();

    // The first call after a run looks at how its file went; the second (from finished())
    // finds nothing left to do.
    if (runInProgress) {
        runInProgress = false;
        if (!tracker->lastWriteError().isEmpty())
            saveAfterFailedWrite();
    }
}

// The data file of the run could not be written: tell the user and let them save the same
// records elsewhere, until a write succeeds or they cancel (and so drop the records).
void MainWindow::saveAfterFailedWrite()
{
    const QString folder = QFileInfo(videoFileName).absolutePath();
    QString error = tracker->lastWriteError();
    while (!error.isEmpty()) {
        Dialogs::current().critical(this, tr("Can't write the tracking data file."),
            tr("%1\n\nChoose another place to save the tracking data, or cancel to discard it.")
                .arg(error));
        const QString path = Dialogs::current().saveFileName(
            this, tr("Save Tracking Data"), folder, tr("Video Data File (*.txt)"));
        if (path.isEmpty())
            return;
        tracker->writeDataFileTo(path);
        error = tracker->lastWriteError();
    }
}

// The overlay buttons and the parameter spin boxes are locked together during a run.
void MainWindow::setRunControlsEnabled(bool idle)
{
    const QList<QWidget *> locked = { openButton, setAreaButton, addZoneButton, addRulerButton,
        addPointDistButton, &fishCountSpin, &framesToAverageSpin, &confidenceThresholdSpin,
        &gaussianVarianceSpin, &meanFilterSizeSpin };
    for (QWidget *w : locked)
        w->setEnabled(idle);
}

void MainWindow::UpdateUI()
{
    const bool trackerViewShown = showTrackerViewCheck.isChecked();
    tracker->setShowTrackerView(trackerViewShown);

    QImage image;
    {
        QMutexLocker locker(&imageLock);
        image = trackerViewShown ? tracker->trackerViewImage() : tracker->frameImage();
    }

    bool hasRecord = false;
    const QPoint position = tracker->lastPosition(&hasRecord);

    const qint64 timeMs = decoder.frameTime();
    positionSlider.setValue(int(timeMs / 1000));
    showTime(int(timeMs), decoder.lengthMs());

    if (hasRecord)
        videoView->SetFishPosition(position.x(), position.y());
    videoView->SetFishPositions(tracker->lastPositions());

    videoView->SetImage(image);
    videoView->Redraw();
    update();
}
