#include "app/MainWindow.h"

#include "tracking/VideoTracker.h"
#include "view/ui/VideoView.h"

#include <QPushButton>
#include <QtMath>

#include <cmath>

namespace {

constexpr int ReviewStep = 10; // records per "Back" / "Forward" press
constexpr int ReviewLeadIn = 30; // records decoded before the one shown, from a seek point
// Stepping from the seek point to the reviewed frame normally takes ReviewLeadIn steps; a
// file whose frame numbers do not reproduce must not keep the window stepping for ever.
constexpr int MaxReviewSteps = 10 * ReviewLeadIn;
constexpr float CorrectedConfidence = 256.0f; // above any box mean of 8-bit differences

} // namespace

void MainWindow::EditPauseResume()
{
    if (!tracker->isRunning())
        return;

    if (tracker->isPaused()) {
        decoder.seekToFrame(pausedFrameNumber);
        tracker->setPaused(false);
        pauseButton->setText(tr("Pause"));
        refreshTimer.start();
        videoView->SetCorrectionMode(false);
        backButton->setEnabled(false);
        reviewOffset = 0;
    } else {
        tracker->setPaused(true);
        pauseButton->setText(tr("Resume"));
        refreshTimer.stop();
        videoView->SetCorrectionMode(true);
        // The tracker finishes the frame in hand before it sleeps; the decoder and the
        // records are only ours once it does.
        tracker->waitUntilAsleep();
        pausedFrameNumber = decoder.frameNumber();
        reviewOffset = 0;
        backButton->setEnabled(true);
        // Show the frame the tracker stopped at now, not the one the last refresh caught:
        // "Back" then steps back from what is on screen.
        UpdateUI();
    }
    forwardButton->setEnabled(false);
}

void MainWindow::EditBack()
{
    if (!tracker->isRunning() || !tracker->isPaused())
        return;
    reviewOffset += ReviewStep;
    if (!showReviewedRecord())
        backButton->setEnabled(false);
    else
        forwardButton->setEnabled(true);
    update();
}

void MainWindow::EditForward()
{
    if (!tracker->isRunning() || !tracker->isPaused())
        return;
    reviewOffset = qMax(0, reviewOffset - ReviewStep);
    if (!showReviewedRecord())
        forwardButton->setEnabled(false);
    else
        forwardButton->setEnabled(reviewOffset > 0);
    update();
}

// Shows the record reviewOffset places before the newest, decoding its frame from a seek
// ReviewLeadIn records earlier. False, with the picture unchanged, when either record is missing.
bool MainWindow::showReviewedRecord()
{
    tracker->waitUntilAsleep();
    bool haveTarget = false, haveStart = false;
    const TrackRecord target = tracker->recordFromEnd(reviewOffset, &haveTarget);
    const TrackRecord start = tracker->recordFromEnd(reviewOffset + ReviewLeadIn, &haveStart);
    if (!haveTarget || !haveStart)
        return false;

    QImage image;
    decoder.seekToFrame(start.frameNumber);
    decoder.copyFrame(image);
    for (int steps = 0; decoder.frameNumber() != target.frameNumber && steps < MaxReviewSteps;
         ++steps) {
        if (!decoder.seekNextFrame())
            break;
        decoder.copyFrame(image);
    }

    positionSlider.setValue(int(frameIndexAt(qint64(std::llround(target.seconds * 1000.0)))));
    showTime(int(target.seconds * 1000), decoder.lengthMs());
    videoView->SetFishPosition(target.x, target.y);
    videoView->SetFishFound(target.found);
    // Several fish: every marker at the reviewed record's own position.
    if (!target.fishPositions.isEmpty())
        videoView->SetFishPositions(
            QList<QPoint>(target.fishPositions.begin(), target.fishPositions.end()));
    videoView->SetImage(image);
    videoView->Redraw();
    return true;
}

void MainWindow::correctPosition(int x, int y)
{
    tracker->waitUntilAsleep();
    const int p = reviewOffset;
    bool haveShown = false;
    const TrackRecord shown = tracker->recordFromEnd(p, &haveShown);
    if (haveShown && !shown.fishPositions.isEmpty()) {
        correctNearestFish(x, y);
        return;
    }
    bool haveOlder = false, haveNewer = false;
    const TrackRecord older = tracker->recordFromEnd(p + ReviewStep, &haveOlder);
    const TrackRecord newer = tracker->recordFromEnd(p - ReviewStep, &haveNewer);

    // Record s becomes wNeighbour x the neighbour's recorded position + wClick x the clicked
    // point, each product rounded on its own. The two weights are computed as written (g and
    // 1 - g), not one from the other, since 1 - (1 - g) is not always g in floating point.
    auto rewrite
        = [this, x, y](int s, double wNeighbour, double wClick, const TrackRecord &neighbour) {
              bool ok = false;
              TrackRecord r = tracker->recordFromEnd(s, &ok);
              if (!ok)
                  return;
              r.x = qRound(wNeighbour * neighbour.x) + qRound(wClick * x);
              r.y = qRound(wNeighbour * neighbour.y) + qRound(wClick * y);
              // A record with a sub-pixel position (the whole-video background) is written
              // from that one: it takes the correction too.
              if (!r.exactPositions.isEmpty())
                  r.exactPositions[0] = QPointF(r.x, r.y);
              r.confidence = CorrectedConfidence;
              r.found = true;
              const double dx = double(x) - neighbour.x, dy = double(y) - neighbour.y;
              r.movement = float(0.1 * std::sqrt(dx * dx + dy * dy));
              tracker->setRecordFromEnd(s, r);
          };

    // Towards the older neighbour ten records back: the shown record takes the click, the
    // nine older ones blend towards the neighbour.
    if (haveOlder)
        for (int s = p; s <= p + 9; ++s) {
            const double g = (s - p) / 10.0;
            rewrite(s, g, 1 - g, older);
        }
    // Towards the newer neighbour ten records ahead, likewise; it writes the shown record last.
    if (haveNewer)
        for (int s = p; s >= p - 9; --s) {
            const double g = (s - p + 10) / 10.0;
            rewrite(s, 1 - g, g, newer);
        }
}

// Several fish: the click moves the fish whose marker is nearest, blended into the records
// around the shown one as a single fish's correction is.
void MainWindow::correctNearestFish(int x, int y)
{
    const int p = reviewOffset;
    bool haveShown = false;
    TrackRecord shown = tracker->recordFromEnd(p, &haveShown);
    int fish = -1;
    qint64 best = 0;
    for (int i = 0; haveShown && i < shown.fishPositions.size(); ++i) {
        const qint64 dx = qint64(shown.fishPositions[i].x()) - x;
        const qint64 dy = qint64(shown.fishPositions[i].y()) - y;
        if (fish < 0 || dx * dx + dy * dy < best) {
            fish = i;
            best = dx * dx + dy * dy;
        }
    }
    if (fish < 0)
        return;
    auto rewrite = [this, fish, x, y](int s, double wNeighbour, double wClick, QPoint neighbour) {
        bool ok = false;
        TrackRecord r = tracker->recordFromEnd(s, &ok);
        if (!ok || fish >= r.fishPositions.size())
            return;
        const QPoint moved(qRound(wNeighbour * neighbour.x()) + qRound(wClick * x),
            qRound(wNeighbour * neighbour.y()) + qRound(wClick * y));
        r.fishPositions[fish] = moved;
        if (fish < r.exactPositions.size())
            r.exactPositions[fish] = QPointF(moved);
        if (fish < r.fishFoundFlags.size())
            r.fishFoundFlags[fish] = true;
        if (fish < r.fishConfidences.size())
            r.fishConfidences[fish] = CorrectedConfidence;
        tracker->setRecordFromEnd(s, r);
    };
    bool haveOlder = false, haveNewer = false;
    const TrackRecord older = tracker->recordFromEnd(p + ReviewStep, &haveOlder);
    const TrackRecord newer = tracker->recordFromEnd(p - ReviewStep, &haveNewer);
    if (haveOlder && fish < older.fishPositions.size())
        for (int s = p; s <= p + 9; ++s) {
            const double g = (s - p) / 10.0;
            rewrite(s, g, 1 - g, older.fishPositions[fish]);
        }
    if (haveNewer && fish < newer.fishPositions.size())
        for (int s = p; s >= p - 9; --s) {
            const double g = (s - p + 10) / 10.0;
            rewrite(s, 1 - g, g, newer.fishPositions[fish]);
        }
    if (!haveOlder && !haveNewer)
        rewrite(p, 0.0, 1.0, QPoint());
    shown = tracker->recordFromEnd(p, &haveShown);
    videoView->SetFishPositions(
        QList<QPoint>(shown.fishPositions.begin(), shown.fishPositions.end()));
}
