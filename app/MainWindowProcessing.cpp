#include "app/IdentityReview.h"
#include "app/MainWindow.h"
#include "app/RunFeedback.h"
#include "app/WindowMenus.h"
#include "files/AtomicFile.h"
#include "ui/ArenaControls.h"
#include "ui/DetectionControls.h"
#include "ui/Dialogs.h"

#include "model/ArenaLayout.h"
#include "tracking/FoundShare.h"
#include "tracking/ImageLock.h"
#include "tracking/VideoTracker.h"
#include "video/VideoProbe.h"
#include "view/ui/VideoView.h"

#include <QDir>
#include <QFileInfo>
#include <QPushButton>

#include <cmath>

namespace {
constexpr int RefreshIntervalMs = 50;
}

// Before a run: a drawn Tracking Area (arenas stand for it with the whole-video background),
// a frame left to process, the user's word when the classic method would leave arenas aside,
// and no data file replaced without asking. False (with the user told why, or having
// cancelled) when the run must not start.
bool MainWindow::checkBeforeRun()
{
    const bool blobs = controls.detectionMethod.load() == int(DetectionKind::Blobs);
    const bool arenas = !videoView->Arenas().isEmpty();
    const QRect area = videoView->Areas().value(0);
    const QRect frame(QPoint(0, 0), videoView->Image().size());
    const bool areaDrawn = area.width() >= 2 && area.height() >= 2 && frame.intersects(area);
    if (!areaDrawn && !(blobs && arenas)) {
        QString text = tr("Draw the Tracking Area first: press \"Set Tracking Area\" and drag a "
                          "rectangle over the fish's part of the frame.");
        if (arenas)
            text += QStringLiteral("\n\n")
                + tr("The %1 arenas are tracked by the \"Whole-video background\" method only: "
                     "choose it under Detection to track them.")
                      .arg(videoView->Arenas().size());
        Dialogs::current().critical(this, tr("No Tracking Area"), text);
        return false;
    }

    // The run starts with the frame after the one on display. Near the end, find out whether
    // there is one (and come back), rather than write a file without a single record.
    const qint64 shownNumber = decoder.frameNumber();
    const double period = framePeriodMs > 0 ? framePeriodMs : 1000.0;
    if (decoder.frameTime() + 2 * period >= decoder.lengthMs()) {
        const bool more = decoder.seekNextFrame();
        decoder.seekToFrame(shownNumber);
        // After a run the slider sits at the end: a second run is offered from the start.
        if (!more) {
            const int answer = Dialogs::current().choice(this, tr("Nothing to process"),
                tr("The video is at its last frame, and processing starts with the frame after "
                   "the one shown. Start again from the beginning of the video, or move the "
                   "slider back to where tracking should start."),
                { tr("Start from the Beginning"), tr("Cancel") });
            if (answer != 0 || !seekToIndex(0))
                return false;
        }
    }

    if (!blobs && arenas && !arenaControls->confirmClassicRun())
        return false;

    tracker->setDataFilePath(QString());
    // Arenas make a multi-fish file whatever the count.
    const QString path = fishCount() == 1 && !(blobs && arenas)
        ? TrackingDataFile::singleFishPath(videoFileName)
        : TrackingDataFile::multiFishPath(videoFileName);
    if (!QFileInfo(path).isFile())
        return true;
    const int answer = Dialogs::current().choice(this, tr("Replace the tracking data?"),
        tr("%1 already exists. Processing now would replace it.").arg(path),
        { tr("Replace"), tr("Save As..."), tr("Cancel") });
    if (answer == 0)
        return true;
    if (answer != 1)
        return false;
    const QString other
        = Dialogs::withExtension(Dialogs::current().saveFileName(this, tr("Save Tracking Data"),
                                     QFileInfo(path).absolutePath(), tr("Video Data File (*.txt)")),
            QStringLiteral(".txt"));
    if (other.isEmpty())
        return false;
    // Found out now, not when the run ends: the video itself, a folder, a read-only place.
    const QString problem = AtomicFile::problem(other);
    if (!problem.isEmpty()) {
        Dialogs::current().critical(
            this, tr("Error"), tr("Cannot write the tracking data to %1: %2").arg(other, problem));
        return false;
    }
    tracker->setDataFilePath(other);
    return true;
}

void MainWindow::ProcessVideo()
{
    if (runInProgress || tracker->isRunning() || !decoder.isOpen())
        return;
    videoView->finishEdit();
    if (!checkBeforeRun())
        return;
    runInProgress = true;
    feedback->runStarted(decoder.frameTime(), decoder.lengthMs());
    tracker->start(QThread::InheritPriority);

    processButton->setEnabled(false);
    stopButton->setEnabled(true);
    positionSlider.setEnabled(false);
    pauseButton->setEnabled(true);
    setRunControlsEnabled(false);
    menus->setState(true, true);

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
    // Not stopped, but come to the last frame it could decode.
    const bool endedByItself = sender() == tracker;

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
        // The picture, slider and time line show the last frame processed, not the one the
        // last refresh happened to catch.
        UpdateUI();
        const QString startFailure = tracker->startFailure();
        if (!startFailure.isEmpty()) {
            // Nothing was processed: the frame on display is the one the run was to start
            // after, not the last one of an earlier run.
            QImage shown;
            if (decoder.copyFrame(shown)) {
                videoView->SetImage(shown);
                videoView->Redraw();
            }
            Dialogs::current().critical(this, tr("Can't start tracking."), startFailure);
        } else if (!tracker->lastWriteError().isEmpty()) {
            saveAfterFailedWrite();
        }
        QString warning = endedByItself ? endedEarlyWarning() : QString();
        QString found;
        // The whole-video background says how many rows found every fish, per arena.
        if (controls.detectionMethod.load() == int(DetectionKind::Blobs)
            && tracker->recordCount() > 0) {
            const QList<Arena> arenas = videoView->Arenas();
            const FoundShare share = FoundShare::of(tracker->resultsSnapshot(),
                arenas.isEmpty() ? fishCount() : ArenaLayout::totalFish(arenas), arenas);
            found = share.describe() + QLatin1Char('.');
            found[0] = found[0].toUpper();
            if (share.low())
                warning += (warning.isEmpty() ? QString() : QStringLiteral("\n\n"))
                    + tr("Fewer fish were found than asked: every fish was found in under half "
                         "of the rows.");
        }
        feedback->runEnded(tracker->lastWrittenPath(), tracker->lastWriteError(), warning, found);
        updateVideoControls();
        // A file of several fish: the moments to check for identity swaps.
        menus->identityReview()->runEnded(tracker->lastWrittenPath(), tracker->lastWriteError());
    }
}

// What to say of a run that ended by itself before the end its video announces (a file cut
// short, or pictures that cannot be decoded); empty when it reached the end.
QString MainWindow::endedEarlyWarning() const
{
    bool haveLast = false;
    const TrackRecord last = tracker->recordFromEnd(0, &haveLast);
    if (!haveLast)
        return QString();
    const VideoProbe probe = decoder.probe();
    if (!probe.stopsShortOfEnd(last.seconds))
        return QString();
    return tr("The video ended early: %1 runs to %2 s, but the frames decoded from it stop at "
              "%3 s. The records up to there are saved.")
        .arg(QDir::toNativeSeparators(videoFileName),
            QString::number(probe.announcedEndSeconds(), 'f', 3),
            QString::number(double(last.seconds), 'f', 3));
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
        const QString path
            = Dialogs::withExtension(Dialogs::current().saveFileName(this, tr("Save Tracking Data"),
                                         folder, tr("Video Data File (*.txt)")),
                QStringLiteral(".txt"));
        if (path.isEmpty())
            return;
        tracker->writeDataFileTo(path);
        error = tracker->lastWriteError();
    }
}

// The overlay buttons, the parameters and the detection method are locked together during a
// run, which read them when it started. The classic method reads the signed difference at
// every frame, so it stays free then; the whole-video background reads it once.
void MainWindow::setRunControlsEnabled(bool idle)
{
    const QList<QWidget *> locked = { openButton, setAreaButton, addZoneButton, addRulerButton,
        addPointDistButton, arenaControls, &fishCountSpin, &framesToAverageSpin,
        &confidenceThresholdSpin, &gaussianVarianceSpin, &meanFilterSizeSpin };
    for (QWidget *w : locked)
        w->setEnabled(idle);
    detectionControls->setLocked(!idle);
    signedDifferenceBox->setEnabled(idle || !detectionControls->blobsChosen());
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
    positionSlider.setValue(int(frameIndexAt(timeMs)));
    showTime(int(timeMs), decoder.lengthMs());
    // The pre-pass reads frames all over the video: its progress is counted in frames
    // sampled, not by where the decoder is, which would run ahead and then back.
    const int wanted = controls.blobs.backgroundFramesWanted;
    const int read = controls.blobs.backgroundFramesRead;
    if (runInProgress && tracker->isPaused())
        feedback->runPaused(frameIndexAt(timeMs));
    else if (runInProgress && wanted > 0 && read < wanted)
        feedback->backgroundProgress(read, wanted);
    else if (runInProgress)
        feedback->runProgress(frameIndexAt(timeMs), timeMs, tracker->recordCount());

    if (hasRecord)
        videoView->SetFishPosition(position.x(), position.y());
    videoView->SetFishPositions(tracker->lastPositions());

    videoView->SetImage(image);
    videoView->Redraw();
    update();
}
