// Processing runs driven through the main window's real widgets on synthetic videos: the file
// beside the video (byte-identical to pondwatch-cli track), the enabled states, the refresh,
// stopping, closing during a run, pause with review and manual correction, a data file that
// cannot be written, and the window's responsiveness during a 1080p run.

#include "analysis/RecentDataFile.h"
#include "analysis/ui/TrackPictureWindow.h"
#include "app/LiveWindow.h"
#include "app/ResultsMenu.h"
#include "app/RunFeedback.h"
#include "app/WindowMenus.h"
#include "support/DialogScope.h"
#include "support/GridDialogAnswer.h"
#include "support/GuiRunSupport.h"

#include "formats/TrackingDataFile.h"
#include "model/ArenaLayout.h"
#include "tracking/ImageLock.h"
#include "view/ViewRenderer.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QMutexLocker>
#include <QProcess>
#include <QRegularExpression>
#include <QSlider>

#include <optional>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace guitest;

namespace {

// A free UDP port on the loopback: bound, read back, given up.
struct FreeUdpPort
{
    int port = 0;
    FreeUdpPort()
    {
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        if (::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0
            && ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &length) == 0)
            port = ntohs(a.sin_port);
        ::close(fd);
    }
};

// The overlays every run here uses, as the window draws them and as the CLI takes them.
void drawOverlays(WindowDriver &d)
{
    d.setArea(QPoint(150, 112), QPoint(10, 8));
    d.addZone("left", QPoint(12, 10), QPoint(79, 110));
    d.addRuler("r", 30.0, QPoint(20, 100), QPoint(140, 100));
    d.addPointDist("p", 10.0, QPoint(80, 20), QPoint(80, 60));
}
const QStringList cliOverlays = { "--area", "10,8,150,112", "--zone", "left=12,10,79,110",
    "--ruler", "r=20,100,140,100,30", "--pointdist", "p=80,60,80,20,10" };

// The first value of each data row (after `headerLines` lines of header).
QStringList secondsColumn(const QStringList &lines, int headerLines)
{
    QStringList seconds;
    for (int i = headerLines; i < lines.size(); ++i)
        seconds << lines[i].section(' ', 0, 0);
    return seconds;
}

// The seconds a row of frame n shows (frames count from 0 at 25 fps). Opening a video shows
// frame 1 (the first step passes over picture 0), so a run records frames 2, 3, ...: the
// record count N is reached with frame N + 1.
QString secondsOfFrame(int n)
{
    return TrackingDataFile::real(float(double(n * 1000 / fps) / 1000.0));
}

// Single-fish file of the overlays above: 3 + 2 * 3 header lines.
constexpr int singleHeader = 9;

QLabel *timeLabel(MainWindow &w)
{
    return findControl<QLabel>(w, "timeLabel");
}

QImage trackerImage(VideoTracker *tracker, bool trackerView)
{
    QMutexLocker locker(&imageLock);
    return trackerView ? tracker->trackerViewImage() : tracker->frameImage();
}

// Enabled states of the window while idle after a run (and the review state reset).
void verifyIdle(MainWindow &w)
{
    for (const char *name : { "openVideoButton", "setTrackingAreaButton", "addZoneButton",
             "addRulerButton", "addPointDistButton", "processVideoButton", "analyzeDataButton" })
        QVERIFY2(findControl<QPushButton>(w, name)->isEnabled(), name);
    for (const char *name : { "stopProcessingButton", "backButton", "forwardButton" })
        QVERIFY2(!findControl<QPushButton>(w, name)->isEnabled(), name);
    QVERIFY(!pauseButton(w)->isEnabled());
    QCOMPARE(pauseButton(w)->text(), QString("Pause"));
    QVERIFY(w.findChild<QSlider *>()->isEnabled());
    for (QAbstractSpinBox *s : spinBoxes(w))
        QVERIFY(s->isEnabled());
    QVERIFY(findControl<QComboBox>(w, "detectionMethodCombo")->isEnabled());
    QCOMPARE(w.reviewIndex(), 0);
}

// The expected rewrite of one record by a click at c, blending towards neighbour n with the
// click's share `click` and the neighbour's share `neighbour`.
TrackRecord blended(TrackRecord r, QPoint c, const TrackRecord &n, double neighbour, double click)
{
    r.x = qRound(neighbour * n.x) + qRound(click * c.x());
    r.y = qRound(neighbour * n.y) + qRound(click * c.y());
    r.confidence = 256.0f;
    r.found = true;
    r.movement = float(0.1 * std::hypot(double(c.x() - n.x), double(c.y() - n.y)));
    return r;
}

bool sameRecord(const TrackRecord &a, const TrackRecord &b)
{
    return a.frameNumber == b.frameNumber && a.seconds == b.seconds && a.x == b.x && a.y == b.y
        && a.movement == b.movement && a.confidence == b.confidence && a.found == b.found;
}

QString describe(const TrackRecord &r)
{
    return QStringLiteral("frame %1 (%2,%3) m %4 c %5 f %6")
        .arg(r.frameNumber)
        .arg(r.x)
        .arg(r.y)
        .arg(double(r.movement))
        .arg(double(r.confidence))
        .arg(r.found);
}

// Records counted from the newest (index 0), as recordFromEnd sees them.
QVector<TrackRecord> fromEnd(VideoTracker *tracker)
{
    QVector<TrackRecord> all = tracker->resultsSnapshot();
    std::reverse(all.begin(), all.end());
    return all;
}

} // namespace

class GuiRunTest : public QObject
{
    Q_OBJECT

    std::optional<DialogScope> dialogs;
    QString oneFish; // 120 frames, one dark fish
    QString threeFish; // 60 frames, three dark fish in lanes

    // Opens the video, draws the overlays, sets 20 frames to average.
    void prepare(WindowDriver &d, const QString &video)
    {
        d.open(video);
        drawOverlays(d);
        d.setFramesToAverage(20);
    }

    // Starts a run that the gate holds at `count` records, and pauses it there with "Pause".
    void runAndPause(WindowDriver &d, TrackerGate &gate, int count)
    {
        gate.holdAtCount(count);
        d.click("processVideoButton");
        QVERIFY(d.waitHeld(gate, count));
        d.click("pauseButton");
        QCOMPARE(d.tracker()->recordCount(), count);
        QVERIFY(d.tracker()->isPaused());
        // The paused frame is on display at once (not the last refresh's), so "Back" goes back.
        bool ok = false;
        const TrackRecord newest = d.tracker()->recordFromEnd(0, &ok);
        QVERIFY(ok);
        QVERIFY(d.view()->Image() == trackerImage(d.tracker(), false));
        QCOMPARE(qint64(d.view()->parentWidget()->window()->findChild<QSlider *>()->value()),
            newest.frameNumber);
        // The status bar names the frame on display, not the last one before the pause.
        auto *window = qobject_cast<MainWindow *>(d.view()->window());
        QCOMPARE(window->runFeedback()->statusText(),
            QString("Paused at frame %1").arg(newest.frameNumber));
    }

private Q_SLOTS:
    void initTestCase()
    {
        oneFish = testutils::scratchPath("one fish.avi");
        threeFish = testutils::scratchPath("three-fish.avi");
        QVERIFY(writeFishVideo(oneFish, 120));
        QVERIFY(writeFishVideo(threeFish, 60, 3));
    }

    void init() { dialogs.emplace(); }

    void cleanup()
    {
        dialogs.reset();
        QFile::remove(oneFish + ".data.txt");
        QFile::remove(threeFish + ".datamulti.txt");
    }

    // ---- A whole run --------------------------------------------------------------------

    void singleFishRunMatchesCli()
    {
        MainWindow w;
        WindowDriver d(w, *dialogs);
        prepare(d, oneFish);
        QVERIFY(findControl<QPushButton>(w, "processVideoButton")->isEnabled());
        TrackerGate gate(d.tracker());
        gate.holdAtCount(5);
        d.click("processVideoButton");
        QVERIFY(d.waitHeld(gate, 5));

        // During the run only the signed difference, the tracker view, "Analyze Data...",
        // "Stop Processing" and "Pause" are left to the user.
        for (const char *name :
            { "openVideoButton", "setTrackingAreaButton", "addZoneButton", "addRulerButton",
                "addPointDistButton", "processVideoButton", "backButton", "forwardButton" })
            QVERIFY2(!findControl<QPushButton>(w, name)->isEnabled(), name);
        for (const char *name : { "stopProcessingButton", "pauseButton", "analyzeDataButton" })
            QVERIFY2(findControl<QPushButton>(w, name)->isEnabled(), name);
        QVERIFY(!w.findChild<QSlider *>()->isEnabled());
        for (QAbstractSpinBox *s : d.spinBoxes())
            QVERIFY(!s->isEnabled());
        QVERIFY(w.findChild<QGroupBox *>()->isEnabled()); // read at every frame
        QVERIFY(!findControl<QComboBox>(w, "detectionMethodCombo")->isEnabled());
        QVERIFY(d.trackerViewCheck()->isEnabled());
        auto *trajectory = w.findChild<QAction *>("actionShowTrajectory");
        QVERIFY(!trajectory->isEnabled());

        gate.release();
        QVERIFY(d.waitIdle());
        verifyIdle(w);

        // The Results menu shows the file just written, over the video tracked, without asking;
        // the analysis window offers it too.
        const QString guiFile = oneFish + ".data.txt";
        QVERIFY(trajectory->isEnabled());
        QVERIFY(trajectory->text().contains("one fish.avi.data.txt"));
        trajectory->trigger();
        auto *picture = w.findChild<TrackPictureWindow *>();
        QVERIFY(picture && picture->isVisible());
        QCOMPARE(findControl<QLineEdit>(*picture, "trackDataFileEdit")->text(),
            QFileInfo(guiFile).absoluteFilePath());
        QCOMPARE(findControl<QLineEdit>(*picture, "trackVideoEdit")->text(), oneFish);
        QVERIFY2(picture->problem().isEmpty(), qPrintable(picture->problem()));
        QVERIFY(!picture->picture().isNull());
        QCOMPARE(RecentDataFile::path(), QFileInfo(guiFile).absoluteFilePath());
        picture->close();

        const QStringList lines = fileLines(guiFile);
        QCOMPARE(lines.size(), singleHeader + 118); // frames 2 to 119
        QCOMPARE(lines[2], QString("Zone1-left (x1, y1, x2, y2): "));
        QCOMPARE(lines[3], QString("12 10 80 111"));

        const QString cliFile = testutils::scratchPath("cli-one.data.txt");
        QString err;
        QCOMPARE(runCli(QStringList { oneFish } + cliOverlays
                         + QStringList { "--average", "20", "--output", cliFile, "--quiet" },
                     &err),
            0);
        QVERIFY2(!fileBytes(cliFile).isEmpty(), qPrintable(err));
        QCOMPARE(fileBytes(guiFile), fileBytes(cliFile));
    }

    void multiFishRunMatchesCli()
    {
        MainWindow w;
        WindowDriver d(w, *dialogs);
        prepare(d, threeFish);
        d.setFishCount(3);
        d.chooseDarkObject();
        QVERIFY(w.signedDifference());
        QVERIFY(!w.brightObject());
        d.click("processVideoButton");
        QVERIFY(d.waitIdle());
        verifyIdle(w);

        const QString guiFile = threeFish + ".datamulti.txt";
        QVERIFY(!QFile::exists(threeFish + ".data.txt"));
        QCOMPARE(fileLines(guiFile).mid(0, 2), QStringList({ "NumFish: ", "3" }));
        const QString cliFile = testutils::scratchPath("cli-three.datamulti.txt");
        QCOMPARE(runCli(QStringList { threeFish } + cliOverlays
                     + QStringList { "--fish", "3", "--difference", "dark", "--average", "20",
                         "--output", cliFile, "--quiet" }),
            0);
        QVERIFY(!fileBytes(cliFile).isEmpty());
        QCOMPARE(fileBytes(guiFile), fileBytes(cliFile));
    }

    // ---- The refresh --------------------------------------------------------------------

    void refreshFollowsTheRun()
    {
        MainWindow w;
        WindowDriver d(w, *dialogs);
        prepare(d, oneFish);
        // A stale multi-fish list must be replaced by the empty one of a single-fish run.
        d.view()->SetFishPositions({ QPoint(30, 30), QPoint(100, 40) });
        TrackerGate gate(d.tracker());
        gate.holdAtCount(60);
        d.click("processVideoButton");
        QVERIFY(d.waitHeld(gate, 60));

        // Record 60 is frame 61, at 2.44 s: the disabled slider stands on that frame.
        QVERIFY(d.waitRefresh());
        auto *slider = w.findChild<QSlider *>();
        QCOMPARE(slider->value(), 61);
        QVERIFY(!slider->isEnabled());
        QVERIFY(timeLabel(w)->text().startsWith("Time 0:00:02.440/"));
        QVERIFY(d.view()->Image() == trackerImage(d.tracker(), false));

        // The picture drawn is the single-fish one: marker and trail, no multi-fish squares.
        auto history = [&](int index, TrackRecord &record) {
            bool ok = false;
            record = d.tracker()->recordFromEnd(index, &ok);
            return ok;
        };
        ViewState state;
        state.fishPosition = d.view()->FishPosition();
        state.fishFound = d.view()->FishFound();
        state.showResults = true;
        bool ok = false;
        QCOMPARE(state.fishPosition, d.tracker()->lastPosition(&ok));
        QVERIFY(ok);
        const QImage shown
            = d.view()->DisplayedPixmap().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shown, ViewRenderer::render(d.view()->Image(), w.viewOverlays(), state, history));
        state.fishPositions = { QPoint(30, 30), QPoint(100, 40) };
        QVERIFY(shown != ViewRenderer::render(d.view()->Image(), w.viewOverlays(), state, history));

        // "Show Tracker View" switches the picture at the next refresh, and back.
        // The refresh that shows the (still black) tracker view also switches the painting on
        // for the frames that follow.
        QTest::mouseClick(d.trackerViewCheck(), Qt::LeftButton);
        QVERIFY(d.trackerViewCheck()->isChecked());
        QTRY_VERIFY_WITH_TIMEOUT(d.view()->Image() == trackerImage(d.tracker(), true), 5000);
        gate.holdAtCount(65);
        QVERIFY(d.waitHeld(gate, 65));
        const QImage trackerView = trackerImage(d.tracker(), true);
        QVERIFY(trackerView != trackerImage(d.tracker(), false));
        bool painted = false;
        for (int y = 0; y < trackerView.height() && !painted; ++y)
            for (int x = 0; x < trackerView.width() && !painted; ++x)
                painted = (trackerView.pixel(x, y) & 0xffffff) != 0;
        QVERIFY(painted);
        QTRY_VERIFY_WITH_TIMEOUT(d.view()->Image() == trackerView, 5000);
        QTest::mouseClick(d.trackerViewCheck(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(d.view()->Image() == trackerImage(d.tracker(), false), 5000);

        gate.release();
        QVERIFY(d.waitIdle());
    }

    // ---- Stopping and closing ----------------------------------------------------------

    void stopMidRunWritesTheRecordsSoFar()
    {
        MainWindow w;
        WindowDriver d(w, *dialogs);
        prepare(d, oneFish);
        TrackerGate gate(d.tracker());
        gate.holdAtCount(30);
        d.click("processVideoButton");
        QVERIFY(d.waitHeld(gate, 30));
        d.click("stopProcessingButton");
        // Stopping waits for the file: the window is idle as soon as the click returns.
        QVERIFY(!d.running());
        verifyIdle(w);
        const QStringList lines = fileLines(oneFish + ".data.txt");
        QCOMPARE(lines.size(), singleHeader + 30);
        QCOMPARE(secondsColumn(lines, singleHeader).last(), secondsOfFrame(31));

        // A run started at once, before the first run's finished() is delivered, is not
        // stopped by it; it goes on from frame 32.
        gate.holdAtCount(10);
        d.click("processVideoButton");
        QVERIFY(d.waitHeld(gate, 10));
        QVERIFY(d.running());
        QVERIFY(findControl<QPushButton>(w, "stopProcessingButton")->isEnabled());
        bool ok = false;
        QCOMPARE(d.tracker()->recordFromEnd(9, &ok).frameNumber, qint64(32));
        gate.release();
        QVERIFY(d.waitIdle());
        QCOMPARE(fileLines(oneFish + ".data.txt").size(), singleHeader + 120 - 32);
    }

    // File > Track Live... follows a stream (the fish video sent over loopback UDP at its
    // rate) in a window of its own: the picture with the marker once the rows come, the
    // status, and Stop, which ends the session with the usual notice naming the file whose rows
    // were appended as they came.
    void liveWindowFollowsAStreamUntilStopped()
    {
        MainWindow w;
        WindowDriver d(w, *dialogs);
        prepare(d, oneFish);
        int port = 0;
        {
            FreeUdpPort free;
            port = free.port;
        }
        const QString data = testutils::scratchPath("live.data.txt");
        dialogs->queueText(QStringLiteral("udp://127.0.0.1:%1").arg(port));
        dialogs->queueText(QStringLiteral("Classic (running average)"));
        dialogs->queueFile(data);
        w.findChild<QAction *>("actionTrackLive")->trigger();
        auto *live = w.findChild<LiveWindow *>("liveWindow");
        QVERIFY(live);
        QProcess sender;
        sender.start("ffmpeg",
            { "-nostdin", "-loglevel", "error", "-re", "-i", oneFish, "-c:v", "mpeg2video", "-q:v",
                "2", "-bf", "0", "-f", "mpegts",
                QStringLiteral("udp://127.0.0.1:%1?pkt_size=1316").arg(port) });
        // The window follows the stream as it comes (the events are processed meanwhile).
        const QRegularExpression shown(" (\\d+) rows");
        QTRY_VERIFY_WITH_TIMEOUT(shown.match(live->statusText()).captured(1).toInt() > 60, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(sender.state() == QProcess::NotRunning, 20000);
        QTest::qWait(300);
        const int rows = int(fileLines(data).size()) - singleHeader - 1; // Detection: line
        QVERIFY2(rows > 60, qPrintable(live->statusText()));
        QVERIFY(live->findChild<QLabel *>() && !live->findChild<QLabel *>()->pixmap().isNull());
        live->stopButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(live->hasEnded(), 10000);
        QVERIFY(live->statusText().startsWith("Ended: "));
        QVERIFY(w.runFeedback()->notice());
        QCOMPARE(w.runFeedback()->lastDataFile(), QFileInfo(data).absoluteFilePath());
        QVERIFY(int(fileLines(data).size()) - singleHeader - 1 >= rows);
        live->close();
    }

    void closingDuringRunWritesTheFile()
    {
        auto *w = new MainWindow;
        WindowDriver d(*w, *dialogs);
        prepare(d, oneFish);
        auto gate = std::make_unique<TrackerGate>(d.tracker());
        gate->holdAtCount(25);
        d.click("processVideoButton");
        QVERIFY(d.waitHeld(*gate, 25));
        delete w; // the tracker goes with the window; the gate then leaves it alone
        gate.reset();
        const QStringList lines = fileLines(oneFish + ".data.txt");
        QCOMPARE(lines.size(), singleHeader + 25);

        // Closed while paused, with a file that cannot be written: said on standard error.
        const QString copy = testutils::scratchPath("closed.avi");
        QVERIFY(QFile::copy(oneFish, copy));
        QVERIFY(QDir().mkpath(copy + ".data.txt"));
        w = new MainWindow;
        WindowDriver d2(*w, *dialogs);
        d2.open(copy);
        d2.setArea(QPoint(10, 8), QPoint(150, 112));
        gate = std::make_unique<TrackerGate>(d2.tracker());
        runAndPause(d2, *gate, 12);
        QTest::ignoreMessage(QtWarningMsg,
            QRegularExpression("The tracking data file could not be written: .*closed.avi"));
        delete w;
        gate.reset();
        QVERIFY(QFileInfo(copy + ".data.txt").isDir());
    }

    // ---- Feedback and guards ------------------------------------------------------------

    // Nothing is lost silently: no run without a Tracking Area or from the last frame, a file
    // is replaced only when the user says so (or saved elsewhere), and closing asks first.
    // The status bar follows the run and, at its end, names the file with "Open Folder".
    void runFeedbackAndGuards()
    {
        MainWindow w;
        WindowDriver d(w, *dialogs);
        d.open(oneFish);
        const QString data = oneFish + ".data.txt";

        // No Tracking Area drawn: refused with a message, no file.
        d.click("processVideoButton");
        QList<RecordedMessage> messages = dialogs->takeMessages();
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].title, QString("No Tracking Area"));
        QVERIFY(!d.running());
        QVERIFY(!QFileInfo::exists(data));

        // At the last frame: said so instead of an empty file.
        drawOverlays(d);
        d.setFramesToAverage(20);
        auto *slider = w.findChild<QSlider *>();
        slider->setSliderDown(true);
        slider->setSliderPosition(slider->maximum());
        slider->setSliderDown(false);
        QCOMPARE(fixtures::frameIndexOf(d.view()->Image()), -1); // fish scenes carry no index
        dialogs->queueChoice(1); // Cancel
        d.click("processVideoButton");
        QCOMPARE(dialogs->questions.last().caption, QString("Nothing to process"));
        QCOMPARE(dialogs->questions.last().dir, QString("Start from the Beginning|Cancel"));
        QVERIFY(!d.running());
        QVERIFY(!QFileInfo::exists(data));

        // Offered the beginning, a run with progress in the status bar, held at 30 records.
        dialogs->queueChoice(0);
        QString opened;
        w.runFeedback()->folderOpener = [&](const QString &folder) { opened = folder; };
        TrackerGate gate(d.tracker());
        gate.holdAtCount(30);
        d.click("processVideoButton");
        QVERIFY(d.waitHeld(gate, 30));
        QVERIFY(d.waitRefresh());
        const QString progress = w.runFeedback()->statusText();
        for (const char *part : { "Frame 30", "%", "fps", "elapsed", "remaining" })
            QVERIFY2(progress.contains(part), qPrintable(progress));

        // Closing asks: keep running leaves it be, stop and save ends it with the file.
        dialogs->queueChoice(1);
        QVERIFY(!w.close());
        QVERIFY(d.running());
        QCOMPARE(dialogs->questions.last().kind, QString("choice"));
        QCOMPARE(dialogs->questions.last().dir, QString("Stop and Save|Keep Running"));
        gate.release();
        QVERIFY(d.waitIdle());
        QCOMPARE(fileLines(data).size(), singleHeader + 119); // frames 1 to 119

        // The last frame shown is the last one processed, and the file is named with its folder.
        bool haveLast = false;
        const TrackRecord last = d.tracker()->recordFromEnd(0, &haveLast);
        QVERIFY(haveLast);
        QVERIFY(d.view()->Image() == trackerImage(d.tracker(), false));
        QCOMPARE(slider->value(), int(last.frameNumber));
        const QString full = QFileInfo(data).absoluteFilePath();
        QVERIFY2(w.runFeedback()->statusText().contains(full),
            qPrintable(w.runFeedback()->statusText()));
        QMessageBox *notice = w.runFeedback()->notice();
        QVERIFY(notice && notice->isVisible() && !notice->isModal());
        QVERIFY(notice->text().contains(full));
        QVERIFY(!notice->text().contains("ended early"));
        QPushButton *openFolder = nullptr;
        for (QAbstractButton *b : notice->buttons())
            if (b->text() == "Open Folder")
                openFolder = qobject_cast<QPushButton *>(b);
        QVERIFY(openFolder);
        openFolder->click();
        QCOMPARE(opened, QFileInfo(data).absolutePath());
        opened.clear();
        QVERIFY(w.runFeedback()->openFolderButton()->isVisible());
        w.runFeedback()->openFolderButton()->click();
        QCOMPARE(opened, QFileInfo(data).absolutePath());

        // Again from the start: the existing file is not replaced without asking.
        const QByteArray before = fileBytes(data);
        slider->setSliderDown(true);
        slider->setSliderPosition(1);
        slider->setSliderDown(false);
        dialogs->queueChoice(2); // Cancel
        QTest::mouseClick(findControl<QPushButton>(w, "processVideoButton"), Qt::LeftButton);
        QVERIFY(!d.running());
        QCOMPARE(dialogs->questions.last().dir, QString("Replace|Save As...|Cancel"));
        QVERIFY(dialogs->questions.last().filter.contains(data));
        QCOMPARE(fileBytes(data), before);

        // Save As...: the new run goes to the chosen file, given the extension the analysis
        // window's Browse shows when typed without; the old one stays.
        const QString other = testutils::scratchPath("other-data.txt");
        dialogs->queueChoice(1);
        dialogs->queueFile(testutils::scratchPath("other-data"));
        gate.holdAtCount(10);
        QTest::mouseClick(findControl<QPushButton>(w, "processVideoButton"), Qt::LeftButton);
        QVERIFY(d.waitHeld(gate, 10));
        d.click("stopProcessingButton");
        gate.release();
        QVERIFY(d.waitIdle());
        QCOMPARE(fileLines(other).size(), singleHeader + 10);
        QCOMPARE(fileBytes(data), before);
        QVERIFY(w.runFeedback()->statusText().contains(QFileInfo(other).absoluteFilePath()));
        QFile::remove(other);
        // Save As onto the video itself is refused before the run, and the video is kept.
        const QByteArray video = fileBytes(oneFish);
        dialogs->takeMessages();
        dialogs->queueChoice(1);
        dialogs->queueFile(oneFish);
        QTest::mouseClick(findControl<QPushButton>(w, "processVideoButton"), Qt::LeftButton);
        QVERIFY(!d.running());
        const QList<RecordedMessage> refused = dialogs->takeMessages();
        QCOMPARE(refused.size(), 1);
        QVERIFY2(refused.first().text.contains(oneFish + ": is an input"),
            qPrintable(refused.first().text));
        QCOMPARE(fileBytes(oneFish), video);

        // A video cut short ends the run by itself before the end the file announces: the
        // notice says so beside where the records went.
        const QString cut = testutils::scratchPath("cut fish.avi");
        QVERIFY(fixtures::writeTruncatedCopy(oneFish, cut, QFileInfo(oneFish).size() / 2));
        prepare(d, cut);
        d.click("processVideoButton");
        QVERIFY(d.waitIdle());
        QVERIFY(QFileInfo::exists(cut + ".data.txt"));
        notice = w.runFeedback()->notice();
        QVERIFY(notice && notice->icon() == QMessageBox::Warning);
        QVERIFY2(
            notice->text().contains("The video ended early: " + cut), qPrintable(notice->text()));
        QFile::remove(cut + ".data.txt");

        // Another video: the status bar no longer names the last run's file.
        QVERIFY(w.runFeedback()->statusText().contains(cut));
        d.open(oneFish);
        QVERIFY2(
            w.runFeedback()->statusText().isEmpty(), qPrintable(w.runFeedback()->statusText()));
        QVERIFY(w.runFeedback()->openFolderButton()->isHidden());
        QVERIFY(!w.runFeedback()->notice());
    }

    // ---- Pause and review ---------------------------------------------------------------

    void backRefusedWithFewerThan41Records()
    {
        MainWindow w;
        WindowDriver d(w, *dialogs);
        prepare(d, oneFish);
        TrackerGate gate(d.tracker());
        runAndPause(d, gate, 40);
        QCOMPARE(pauseButton(w)->text(), QString("Resume"));
        QVERIFY(findControl<QPushButton>(w, "backButton")->isEnabled());
        QVERIFY(!findControl<QPushButton>(w, "forwardButton")->isEnabled());
        const QImage before = d.view()->Image();
        d.click("backButton");
        QVERIFY(!findControl<QPushButton>(w, "backButton")->isEnabled());
        QVERIFY(!findControl<QPushButton>(w, "forwardButton")->isEnabled());
        QCOMPARE(w.reviewIndex(), 10);
        QVERIFY(d.view()->Image() == before);

        // Stopping while paused: the window is fully idle and the file holds the 40 records.
        d.click("stopProcessingButton");
        verifyIdle(w);
        QCOMPARE(fileLines(oneFish + ".data.txt").size(), singleHeader + 40);
        // Correction mode is off: a drag edits the Tracking Area again.
        d.setArea(QPoint(20, 20), QPoint(60, 50));
        QCOMPARE(d.view()->Areas().at(0), QRect(QPoint(20, 20), QPoint(60, 50)));
        bool ok = false;
        QVERIFY(d.tracker()->recordFromEnd(0, &ok).confidence < 256.0f);
    }

    void reviewStepsShowTheRecordedFrames()
    {
        MainWindow w;
        WindowDriver d(w, *dialogs);
        prepare(d, oneFish);
        TrackerGate gate(d.tracker());
        runAndPause(d, gate, 45);
        QVideoDecoder reference;
        QVERIFY(reference.open(oneFish));
        auto frameOf = [&](qint64 number) {
            QImage image;
            if (reference.seekToFrame(number))
                reference.copyFrame(image);
            return image;
        };
        const QVector<TrackRecord> records = fromEnd(d.tracker());
        auto *slider = w.findChild<QSlider *>();

        // One step back: the record ten before the newest, its frame decoded again.
        d.click("backButton");
        QCOMPARE(w.reviewIndex(), 10);
        QVERIFY(findControl<QPushButton>(w, "backButton")->isEnabled());
        QVERIFY(findControl<QPushButton>(w, "forwardButton")->isEnabled());
        QCOMPARE(records[10].frameNumber, qint64(36));
        QVERIFY(d.view()->Image() == frameOf(36));
        QCOMPARE(d.view()->FishPosition(), QPoint(records[10].x, records[10].y));
        QCOMPARE(d.view()->FishFound(), records[10].found);
        QCOMPARE(slider->value(), 36);
        QVERIFY(timeLabel(w)->text().startsWith("Time 0:00:01.440/"));

        // The next step would need record 50: refused, the picture stays.
        d.click("backButton");
        QCOMPARE(w.reviewIndex(), 20);
        QVERIFY(!findControl<QPushButton>(w, "backButton")->isEnabled());
        QVERIFY(d.view()->Image() == frameOf(36));

        // Forward from 20 to 10, then to 0, where "Forward" disables itself.
        d.click("forwardButton");
        QCOMPARE(w.reviewIndex(), 10);
        QVERIFY(findControl<QPushButton>(w, "forwardButton")->isEnabled());
        QVERIFY(d.view()->Image() == frameOf(36));
        d.click("forwardButton");
        QCOMPARE(w.reviewIndex(), 0);
        QVERIFY(!findControl<QPushButton>(w, "forwardButton")->isEnabled());
        QVERIFY(d.view()->Image() == frameOf(46));

        // Resuming after the review goes on with frame 47: no frame skipped or repeated.
        d.click("pauseButton");
        QCOMPARE(pauseButton(w)->text(), QString("Pause"));
        QVERIFY(!findControl<QPushButton>(w, "backButton")->isEnabled());
        QVERIFY(d.waitIdle());
        const QVector<TrackRecord> all = d.tracker()->resultsSnapshot();
        QCOMPARE(all.size(), 118);
        for (int i = 0; i < all.size(); ++i)
            QCOMPARE(all[i].frameNumber, qint64(i + 2));
        const QStringList seconds = secondsColumn(fileLines(oneFish + ".data.txt"), singleHeader);
        QCOMPARE(seconds.size(), 118);
        for (int i = 0; i < seconds.size(); ++i)
            QCOMPARE(seconds[i], secondsOfFrame(i + 2));
    }

    void correctionRewritesTheRecordsAround()
    {
        MainWindow w;
        WindowDriver d(w, *dialogs);
        prepare(d, oneFish);
        TrackerGate gate(d.tracker());
        runAndPause(d, gate, 61); // the newest and 60 older records

        // At offset 0: the shown record takes the click, the nine older ones blend towards
        // the record ten back; nothing else changes. x = 5 puts products on .5 boundaries.
        const QVector<TrackRecord> before = fromEnd(d.tracker());
        const QPoint c1(5, 15);
        QTest::mouseClick(d.view(), Qt::LeftButton, {}, c1);
        QCOMPARE(d.view()->FishPosition(), c1);
        QVector<TrackRecord> after = fromEnd(d.tracker());
        QCOMPARE(after.size(), 61);
        for (int s = 0; s < 61; ++s) {
            const double g = s / 10.0;
            const TrackRecord expected
                = s <= 9 ? blended(before[s], c1, before[10], g, 1 - g) : before[s];
            QVERIFY2(sameRecord(after[s], expected),
                qPrintable(QString("record %1: %2, expected %3")
                               .arg(s)
                               .arg(describe(after[s]), describe(expected))));
        }
        QCOMPARE(QPoint(after[0].x, after[0].y), c1);

        // At offset 10: records 1 to 19 are rewritten, the shown one taking the click.
        d.click("backButton");
        QCOMPARE(w.reviewIndex(), 10);
        const QVector<TrackRecord> middle = after;
        const QPoint c2(25, 35); // 0.1 x 25 = 2.5: a share computed as 1 - (1 - g) rounds down
        QTest::mouseClick(d.view(), Qt::LeftButton, {}, c2);
        after = fromEnd(d.tracker());
        int rewritten = 0;
        for (int s = 0; s < 61; ++s) {
            TrackRecord expected = middle[s];
            if (s >= 10 && s <= 19) {
                const double g = (s - 10) / 10.0;
                expected = blended(middle[s], c2, middle[20], g, 1 - g);
            }
            if (s >= 1 && s <= 10) {
                const double g = (s - 10 + 10) / 10.0;
                expected = blended(expected, c2, middle[0], 1 - g, g);
            }
            rewritten += !sameRecord(expected, middle[s]);
            QVERIFY2(sameRecord(after[s], expected),
                qPrintable(QString("record %1: %2, expected %3")
                               .arg(s)
                               .arg(describe(after[s]), describe(expected))));
        }
        QCOMPARE(rewritten, 19);
        QCOMPARE(QPoint(after[10].x, after[10].y), c2);

        // The corrections reach the file, and the run went on from frame 63 without a gap.
        d.click("pauseButton");
        QVERIFY(d.waitIdle());
        const QStringList lines = fileLines(oneFish + ".data.txt");
        QCOMPARE(lines.size(), singleHeader + 118);
        for (int s = 0; s < 20; ++s) {
            const QStringList fields = lines[singleHeader + 60 - s].split(' ');
            QCOMPARE(fields[1].toInt(), after[s].x);
            QCOMPARE(fields[2].toInt(), after[s].y);
            QCOMPARE(fields[4], TrackingDataFile::real(after[s].confidence));
        }
        const QStringList seconds = secondsColumn(lines, singleHeader);
        for (int i = 0; i < seconds.size(); ++i)
            QCOMPARE(seconds[i], secondsOfFrame(i + 2));
    }

    // Several fish: "Back" puts every marker at the reviewed record's own position, and a click
    // while paused moves the fish whose marker is nearest, and no other, into the file.
    void severalFishBackAndClickSelect()
    {
        MainWindow w;
        WindowDriver d(w, *dialogs);
        prepare(d, threeFish);
        d.setFishCount(3);
        d.chooseDarkObject();
        TrackerGate gate(d.tracker());
        runAndPause(d, gate, 45);
        const QVector<TrackRecord> before = fromEnd(d.tracker());
        auto listOf = [](const QVector<QPoint> &v) { return QList<QPoint>(v.begin(), v.end()); };
        d.click("backButton");
        QCOMPARE(w.reviewIndex(), 10);
        QCOMPARE(before[10].fishPositions.size(), 3);
        QVERIFY(before[10].fishPositions != before[0].fishPositions);
        QCOMPARE(d.view()->FishPositions(), listOf(before[10].fishPositions));

        const QPoint click = before[10].fishPositions[1] + QPoint(3, 2);
        QTest::mouseClick(d.view(), Qt::LeftButton, {}, click);
        const QVector<TrackRecord> after = fromEnd(d.tracker());
        QCOMPARE(after[10].fishPositions[1], click);
        QVERIFY(after[10].fishFoundFlags[1]);
        QCOMPARE(d.view()->FishPositions()[1], click);
        int moved = 0;
        for (int s = 0; s < after.size(); ++s) {
            QCOMPARE(QPoint(after[s].x, after[s].y), QPoint(before[s].x, before[s].y));
            for (int f : { 0, 2 })
                QCOMPARE(after[s].fishPositions[f], before[s].fishPositions[f]);
            moved += after[s].fishPositions[1] != before[s].fishPositions[1];
        }
        QVERIFY(moved >= 1 && moved <= 19);

        gate.release();
        d.click("pauseButton");
        QVERIFY(d.waitIdle());
        const QStringList lines = fileLines(threeFish + ".datamulti.txt");
        const int header = int(lines.indexOf(QRegularExpression("^Time .*")));
        const int x = int(lines.value(header).split(' ').indexOf("Fish2X"));
        QVERIFY(header > 0 && x > 0);
        const QStringList row = lines.value(header + 1 + int(before.size()) - 1 - 10).split(' ');
        QCOMPARE(row.value(x).toInt(), click.x());
    }

    // A click outside the Tracking Area moves the reference position there; the next frames
    // are still searched inside the area and find the fish.
    void correctionOutsideTheAreaKeepsTracking()
    {
        MainWindow w;
        WindowDriver d(w, *dialogs);
        d.open(oneFish);
        d.setArea(QPoint(20, 15), QPoint(140, 105));
        d.setFramesToAverage(20);
        TrackerGate gate(d.tracker());
        runAndPause(d, gate, 50);
        QTest::mouseClick(d.view(), Qt::LeftButton, {}, QPoint(3, 2));
        bool ok = false;
        const TrackRecord corrected = d.tracker()->recordFromEnd(0, &ok);
        QCOMPARE(QPoint(corrected.x, corrected.y), QPoint(3, 2));
        d.click("pauseButton");
        QVERIFY(d.waitIdle());
        const QVector<TrackRecord> all = d.tracker()->resultsSnapshot();
        QCOMPARE(all.size(), 118);
        const QRect area(QPoint(20, 15), QPoint(140, 105));
        for (int i = 50; i < 60; ++i) {
            const double t = 0.05 * all[i].frameNumber;
            const QPointF truth(80 + 50 * std::cos(t), 60 + 35 * std::sin(t));
            QVERIFY2(all[i].found, qPrintable(describe(all[i])));
            QVERIFY(area.contains(all[i].x, all[i].y));
            // On the fish's body: half its length is 7 pixels.
            QVERIFY2(std::hypot(all[i].x - truth.x(), all[i].y - truth.y()) <= 8.0,
                qPrintable(describe(all[i])));
        }
    }

    // The whole-video background in the window. Arenas, the method and its parameters (the
    // signed difference too, read once) cannot be changed during a run, the last background
    // can be viewed; the arenas' summary follows a new video. A pre-pass that cannot start says why
    // in a message and keeps the earlier file. A correction while paused is where the following
    // frames go on from (a fish clicked far from its body stays there until the matching takes it
    // back) and reaches the file's sub-pixel positions.
    void blobsRunArenasAndCorrection()
    {
        MainWindow w;
        WindowDriver d(w, *dialogs);
        const QString multi = oneFish + ".datamulti.txt";
        QFile::remove(multi);
        d.open(oneFish);
        findControl<QComboBox>(w, "detectionMethodCombo")->setCurrentIndex(1);
        d.setArea(QPoint(150, 112), QPoint(10, 8));
        auto *summary = findControl<QLabel>(w, "arenaSummary");
        dialogs->queueInteger(1);
        d.click("addArenaButton");
        d.drag(QPoint(5, 5), QPoint(154, 114));
        QCOMPARE(summary->text(),
            QString("1 arenas, 1 fish (whole-video background)\nNo scale: lengths in pixels"));
        const QList<Arena> arena = d.view()->Arenas();

        const QStringList arenaButtons = { "addArenaButton", "addRoundArenaButton",
            "addArenaGridButton", "moveArenasButton", "clearArenasButton" };
        // The background's pre-pass is a step of its own: the tracking's progress after it
        // starts from its own beginning instead of going back from the pre-pass's.
        QMainWindow host;
        RunFeedback steps(&host);
        steps.runStarted(0, 1000);
        steps.backgroundProgress(10, 50);
        QCOMPARE(steps.statusText(),
            QString("Step 1 of 2: making the background - frame 10 of 50 sampled"));
        steps.runProgress(5, 200, 5);
        QVERIFY2(steps.statusText().startsWith("Step 2 of 2: tracking - Frame 5 - 20.0%"),
            qPrintable(steps.statusText()));

        auto *move = findControl<QPushButton>(w, "moveArenasButton");
        d.click("moveArenasButton");
        QVERIFY(move->isChecked());
        TrackerGate gate(d.tracker());
        runAndPause(d, gate, 10);
        const QStringList detection
            = { "detectionMethodCombo", "backgroundFramesSpin", "automaticThresholdCheck",
                  "maxSpeedSpin", "loadBackgroundButton", "signedDifferenceBox" };
        for (const QString &name : arenaButtons + detection)
            QVERIFY2(!findControl<QWidget>(w, name)->isEnabled(), qPrintable(name));
        QVERIFY(findControl<QPushButton>(w, "viewBackgroundButton")->isEnabled());
        QVERIFY(!move->isChecked()); // no move armed for after the run
        gate.release();
        d.click("pauseButton");
        QVERIFY(d.waitIdle());
        for (const QString &name : arenaButtons + detection)
            QVERIFY2(findControl<QWidget>(w, name)->isEnabled(), qPrintable(name));
        d.drag(QPoint(80, 60), QPoint(90, 60));
        QCOMPARE(d.view()->Arenas(), arena);
        const QByteArray earlier = fileBytes(multi);
        QVERIFY(earlier.contains(" " + ArenaLayout::describeRects(arena).toUtf8() + "\n"));
        // The lone fish of the arena is found (once written as never found), and the notice
        // says in how many rows.
        QMessageBox *notice = w.runFeedback()->notice();
        QVERIFY(notice);
        QVERIFY2(notice->text().contains(QRegularExpression(
                     "Every animal found in 100.0% of \\d+ rows \\(arena 1 100.0%\\)\\.")),
            qPrintable(notice->text()));

        // A background of another size: the message names the picture, the window stays idle
        // and usable, and the earlier file is kept.
        const QString picture = testutils::scratchPath("small tank.png");
        QImage small(64, 48, QImage::Format_Grayscale8);
        small.fill(120);
        QVERIFY(small.save(picture));
        dialogs->queueFile(picture);
        d.click("loadBackgroundButton");
        auto *slider = w.findChild<QSlider *>();
        slider->setSliderDown(true);
        slider->setSliderPosition(0);
        slider->setSliderDown(false);
        dialogs->queueChoice(0);
        d.click("processVideoButton");
        QVERIFY(d.waitIdle());
        const QList<RecordedMessage> messages = dialogs->takeMessages();
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].text.contains(picture) && messages[0].text.contains("64x48")
                && messages[0].text.contains("160x120"),
            qPrintable(messages[0].text));
        QCOMPARE(fileBytes(multi), earlier);
        QVERIFY(findControl<QPushButton>(w, "processVideoButton")->isEnabled());
        QVERIFY(findControl<QComboBox>(w, "detectionMethodCombo")->isEnabled());
        d.click("backgroundFromVideoButton");

        // A new video starts without arenas, and the summary says so.
        d.open(oneFish);
        QVERIFY(d.view()->Arenas().isEmpty());
        QCOMPARE(summary->text(),
            QString("No arenas: the Tracking Area holds every fish.\nNo scale: lengths in pixels"));
        QFile::remove(multi);

        d.setArea(QPoint(150, 112), QPoint(10, 8));
        runAndPause(d, gate, 30);
        bool ok = false;
        const TrackRecord shown = d.tracker()->recordFromEnd(0, &ok);
        QVERIFY(ok && shown.found);
        const QPoint far(160 - shown.x, 120 - shown.y); // across the ellipse from the fish
        QTest::mouseClick(d.view(), Qt::LeftButton, {}, far);
        gate.release();
        d.click("pauseButton");
        QVERIFY(d.waitIdle());
        const QVector<TrackRecord> all = d.tracker()->resultsSnapshot();
        QVERIFY(all.size() > 60);
        QVERIFY2(all[29].exactPositions.value(0) == QPointF(far), qPrintable(describe(all[29])));
        QVERIFY2(!all[30].found && all[30].exactPositions.value(0) == QPointF(far),
            qPrintable(describe(all[30])));
        const double t = 0.05 * all[45].frameNumber;
        QVERIFY2(all[45].found
                && std::hypot(all[45].x - 80 - 50 * std::cos(t), all[45].y - 60 - 35 * std::sin(t))
                    <= 8.0,
            qPrintable(describe(all[45])));
        const QStringList lines = fileLines(oneFish + ".data.txt");
        const QString row = QStringLiteral("%1 %2 %3 ")
                                .arg(TrackingDataFile::real(all[29].seconds))
                                .arg(double(far.x()), 0, 'f', 8)
                                .arg(double(far.y()), 0, 'f', 8);
        QVERIFY2(!lines.filter(QRegularExpression("^" + QRegularExpression::escape(row))).isEmpty(),
            qPrintable(row));
    }

    // Arenas stand for the Tracking Area with the whole-video background: a 1x2 grid and no
    // area drawn make the file pondwatch-cli makes of the same arenas without --area. The
    // classic method wants its area and asks before a run that leaves the arenas aside: a
    // cancel writes nothing and keeps them; going on writes the file as if there were none.
    void arenasStandForTheTrackingArea()
    {
        MainWindow w;
        WindowDriver d(w, *dialogs);
        const QString multi = oneFish + ".datamulti.txt";
        const QString single = oneFish + ".data.txt";
        QFile::remove(multi);
        d.open(oneFish);
        auto *method = findControl<QComboBox>(w, "detectionMethodCombo");
        method->setCurrentIndex(1);
        // Square wells 7.9 mm wide, 79 pixels: 0.1 mm a pixel, in the file as the CLI writes it.
        answerGridDialog({ 1, 2, Arena::Shape::Rectangle, 1, 7.9 });
        d.click("addArenaGridButton");
        d.drag(QPoint(1, 1), QPoint(158, 118));
        const QList<Arena> arenas = d.view()->Arenas();
        QCOMPARE(arenas.size(), 2);
        d.click("processVideoButton");
        QVERIFY(d.waitIdle());
        QVERIFY(dialogs->takeMessages().isEmpty());
        const QByteArray blobs = fileBytes(multi);
        QVERIFY(blobs.contains(" " + ArenaLayout::describeRects(arenas).toUtf8() + "\n"));
        // The grid drawn over the area its wells span, as a grid: the file names its group.
        QVERIFY(blobs.contains("\nScale: 0.10000000 mm/px\n"));
        const QStringList cliArenas { "--area", "1,1,158,118", "--arena-grid", "1x2:square:7.9mm" };
        const QString cliFile = testutils::scratchPath("cli-arenas.datamulti.txt");
        QString err;
        QCOMPARE(runCli(QStringList { oneFish, "--method", "blobs", "--output", cliFile, "--quiet" }
                         + cliArenas,
                     &err),
            0);
        QCOMPARE(blobs, fileBytes(cliFile));
        // Results > Export Trajectories offers this run's file and writes the DeepLabCut CSV
        // pondwatch-cli trajectories writes; asked again, it asks before replacing it.
        const QString dlcItem = QStringLiteral("DeepLabCut CSV (movement, DeepLabCut)");
        QFile::remove(multi + ".dlc.csv");
        dialogs->queueText(dlcItem);
        dialogs->queueFile(multi);
        ResultsMenu *results = w.windowMenus()->resultsMenu();
        QCOMPARE(results->exportTrajectories(), multi + ".dlc.csv");
        QCOMPARE(QFileInfo(dialogs->questions.last().dir).canonicalFilePath(),
            QFileInfo(multi).canonicalFilePath());
        const QString cliDlc = testutils::scratchPath("cli-arenas.dlc.csv");
        QCOMPARE(testutils::runProgram(QStringLiteral(POND_CLI),
                     { "trajectories", multi, "--format", "dlc", "--output", cliDlc })
                     .exitCode,
            0);
        QCOMPARE(fileBytes(multi + ".dlc.csv"), fileBytes(cliDlc));
        dialogs->queueText(dlcItem);
        dialogs->queueFile(multi);
        dialogs->queueChoice(2);
        QVERIFY(results->exportTrajectories().isEmpty());
        QCOMPARE(dialogs->questions.last().dir, QString("Replace|Save As...|Cancel"));
        QFile::remove(multi);

        method->setCurrentIndex(0);
        auto *slider = w.findChild<QSlider *>();
        slider->setSliderDown(true);
        slider->setSliderPosition(1);
        slider->setSliderDown(false);
        d.click("processVideoButton");
        const QList<RecordedMessage> messages = dialogs->takeMessages();
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].title, QString("No Tracking Area"));
        drawOverlays(d);
        d.setFramesToAverage(20);
        dialogs->queueChoice(1);
        d.click("processVideoButton");
        QVERIFY(!d.running());
        QCOMPARE(dialogs->questions.last().dir, QString("Track the Tracking Area|Cancel"));
        QVERIFY2(dialogs->questions.last().filter.contains("The 2 arenas are kept"),
            qPrintable(dialogs->questions.last().filter));
        QVERIFY(!QFileInfo::exists(single) && !QFileInfo::exists(multi));
        QCOMPARE(d.view()->Arenas().size(), 2);
        dialogs->queueChoice(0);
        d.click("processVideoButton");
        QVERIFY(d.waitIdle());
        // The scale the wells set stays the setup's, and goes in this file too.
        QCOMPARE(runCli(QStringList { oneFish } + cliOverlays
                         + QStringList { "--average", "20", "--scale", "0.1mm/px", "--output",
                             cliFile, "--quiet" },
                     &err),
            0);
        QCOMPARE(fileBytes(single), fileBytes(cliFile));
        // Answered once, the arenas are not asked about again while they stay as they are.
        const int asked = dialogs->questions.size();
        slider->setSliderDown(true);
        slider->setSliderPosition(1);
        slider->setSliderDown(false);
        dialogs->queueChoice(2);
        d.click("processVideoButton");
        QVERIFY(!d.running());
        QCOMPARE(dialogs->questions.size(), asked + 1);
        QCOMPARE(dialogs->questions.last().dir, QString("Replace|Save As...|Cancel"));
    }

    // ---- A data file that cannot be written ------------------------------------------------

    void unwritableFileOffersAnotherPlace()
    {
        const QString video = testutils::scratchPath("blocked/fish.avi");
        QVERIFY(QDir().mkpath(QFileInfo(video).absolutePath()));
        QVERIFY(QFile::copy(oneFish, video));
        // A folder where the file should go: no one can write the file there, root included.
        QVERIFY(QDir().mkpath(video + ".data.txt"));
        const QString notAFolder = testutils::scratchPath("plain-file");
        QFile(notAFolder).open(QIODevice::WriteOnly);
        const QString elsewhere = testutils::scratchPath("elsewhere.txt");

        MainWindow w;
        WindowDriver d(w, *dialogs);
        prepare(d, video);
        // The first place chosen fails too (its parent is a file): the message comes again.
        dialogs->queueFile(notAFolder + "/data.txt");
        dialogs->queueFile(elsewhere);
        const int asked = int(dialogs->questions.size());
        d.click("processVideoButton");
        QVERIFY(d.waitIdle());
        QTest::qWait(50); // any late second StopProcessing has come and gone

        const QList<RecordedMessage> messages = dialogs->takeMessages();
        QCOMPARE(messages.size(), 2);
        for (const RecordedMessage &m : messages) {
            QCOMPARE(m.kind, QString("critical"));
            QCOMPARE(m.title, QString("Can't write the tracking data file."));
        }
        QVERIFY(messages[0].text.contains(video + ".data.txt"));
        QVERIFY(messages[1].text.contains(notAFolder + "/data.txt"));
        const QList<RecordedQuestion> questions = dialogs->questions.mid(asked);
        QCOMPARE(questions.size(), 2);
        for (const RecordedQuestion &q : questions) {
            QCOMPARE(q.kind, QString("save"));
            QCOMPARE(q.dir, QFileInfo(video).absolutePath());
            QCOMPARE(q.filter, QString("Video Data File (*.txt)"));
        }
        verifyIdle(w);

        // The records saved elsewhere are the file a normal run writes.
        const QString cliFile = testutils::scratchPath("cli-blocked.data.txt");
        QCOMPARE(runCli(QStringList { video } + cliOverlays
                     + QStringList { "--average", "20", "--output", cliFile, "--quiet" }),
            0);
        QVERIFY(!fileBytes(elsewhere).isEmpty());
        QCOMPARE(fileBytes(elsewhere), fileBytes(cliFile));

        // Stopped mid-run, the message comes once although StopProcessing runs twice;
        // cancelling the save dialog writes nothing.
        const QStringList filesBefore = QDir(testutils::scratchDir()).entryList(QDir::Files);
        MainWindow w2;
        WindowDriver d2(w2, *dialogs);
        prepare(d2, video);
        TrackerGate gate(d2.tracker());
        gate.holdAtCount(20);
        dialogs->queueFile(QString());
        d2.click("processVideoButton");
        QVERIFY(d2.waitHeld(gate, 20));
        d2.click("stopProcessingButton");
        QTest::qWait(50);
        QCOMPARE(dialogs->takeMessages().size(), 1);
        QCOMPARE(QDir(testutils::scratchDir()).entryList(QDir::Files), filesBefore);
        QVERIFY(QDir(QFileInfo(video).absolutePath()).entryList(QDir::Files)
            == QStringList { "fish.avi" });
    }

    // ---- The window during a large run ------------------------------------------------------

    // A 1920x1080 run with the tracker view on: a timer on the GUI thread measures the longest
    // gap between its ticks, the worst stall the user would feel. It is printed, not asserted
    // on (timing depends on the machine); the run must end and write every record.
    void hdRunWithTrackerViewKeepsTheWindowResponsive()
    {
        const QString video = testutils::scratchPath("hd.mp4");
        fixtures::VideoOptions options;
        options.format = fixtures::VideoFormat::Mp4H264;
        options.size = QSize(1920, 1080);
        options.fps = fps;
        options.frameCount = 30;
        QString error;
        QVERIFY2(fixtures::writeVideo(
                     video, options, [](int i) { return fishScene(i, 1); }, &error),
            qPrintable(error));

        MainWindow w;
        WindowDriver d(w, *dialogs);
        d.open(video);
        const QRect viewRect = d.view()->rect();
        d.setArea(viewRect.topLeft() + QPoint(2, 2), viewRect.bottomRight() - QPoint(2, 2));
        d.setFramesToAverage(10);
        QTest::mouseClick(d.trackerViewCheck(), Qt::LeftButton);
        QVERIFY(d.trackerViewCheck()->isChecked());

        QElapsedTimer clock;
        qint64 lastTick = -1, worstGap = 0;
        int ticks = 0;
        QTimer probe;
        probe.setInterval(2);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            const qint64 now = clock.elapsed();
            if (lastTick >= 0)
                worstGap = std::max(worstGap, now - lastTick);
            lastTick = now;
            ++ticks;
        });
        clock.start();
        probe.start();
        d.click("processVideoButton");
        QVERIFY(d.waitIdle());
        const qint64 runMs = clock.elapsed();
        probe.stop();

        QCOMPARE(d.tracker()->recordCount(), options.frameCount - 2); // frames 2 to 29
        QVERIFY(ticks > 0);
        qInfo("1920x1080 run with the tracker view: %d records in %lld ms; GUI-thread probe: %d "
              "ticks of 2 ms, worst stall %lld ms",
            d.tracker()->recordCount(), runMs, ticks, worstGap);
        QFile::remove(video + ".data.txt");
    }
};

QTEST_MAIN(GuiRunTest)
#include "GuiRunTest.moc"
