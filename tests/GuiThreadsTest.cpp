// The two threads of a processing run, exercised through the window as a user would: the
// tracker view switched on and off, pause, review back and forward, a correction click,
// resume, pause again and stop while paused; stop mid-run; the window closed during a run.
// Built also with ThreadSanitizer (label "threaded"), which must report nothing. The gate
// only orders the steps; between them the tracker runs freely beside the 50 ms refresh.

#include "support/DialogScope.h"
#include "support/FindControl.h"
#include "support/GuiRunSupport.h"

#include <optional>

using namespace guitest;

class GuiThreadsTest : public QObject
{
    Q_OBJECT

    std::optional<DialogScope> dialogs;
    QString oneFish, threeFish;

    void prepare(WindowDriver &d, const QString &video)
    {
        d.open(video);
        d.setArea(QPoint(10, 8), QPoint(150, 112));
        d.addZone("left", QPoint(12, 10), QPoint(79, 110));
        d.setFramesToAverage(10);
    }

private Q_SLOTS:
    void initTestCase()
    {
        oneFish = testutils::scratchPath("one fish.avi");
        threeFish = testutils::scratchPath("three fish.avi");
        QVERIFY(encodeFishVideo(oneFish, 100));
        QVERIFY(encodeFishVideo(threeFish, 60, 3));
    }

    void init() { dialogs.emplace(); }

    void cleanup() { dialogs.reset(); }

    void runWithTrackerViewPauseReviewCorrectionAndStop()
    {
        MainWindow w;
        WindowDriver d(w, *dialogs);
        prepare(d, oneFish);
        TrackerGate gate(d.tracker());

        // The tracker view goes on while the tracker runs, and off again while it runs.
        gate.holdAtCount(20);
        d.click("processVideoButton");
        QTest::mouseClick(d.trackerViewCheck(), Qt::LeftButton);
        QVERIFY(d.waitHeld(gate, 20));
        QTest::qWait(120); // refreshes while the tracker is held
        gate.holdAtCount(45);
        QTest::qWait(20);
        QTest::mouseClick(d.trackerViewCheck(), Qt::LeftButton);
        QVERIFY(d.waitHeld(gate, 45));

        // Pause, review, correct, resume.
        d.click("pauseButton");
        QCOMPARE(pauseButton(w)->text(), QString("Resume"));
        d.click("backButton");
        QCOMPARE(w.reviewIndex(), 10);
        d.click("forwardButton");
        QCOMPARE(w.reviewIndex(), 0);
        d.click("backButton");
        QTest::mouseClick(d.view(), Qt::LeftButton, {}, QPoint(60, 50));
        bool ok = false;
        QCOMPARE(d.tracker()->recordFromEnd(10, &ok).confidence, 256.0f);
        gate.holdAtCount(70);
        d.click("pauseButton");
        QCOMPARE(pauseButton(w)->text(), QString("Pause"));

        // Pause again and stop while paused: the window is idle, the file holds 70 records.
        QVERIFY(d.waitHeld(gate, 70));
        d.click("pauseButton");
        d.click("stopProcessingButton");
        QVERIFY(!d.running());
        QCOMPARE(pauseButton(w)->text(), QString("Pause"));
        QVERIFY(!pauseButton(w)->isEnabled());
        QCOMPARE(w.reviewIndex(), 0);
        const QStringList lines = fileLines(oneFish + ".data.txt");
        QCOMPARE(lines.size(), 3 + 2 + 70);
        QVERIFY(d.waitIdle());
    }

    void stopMidRun()
    {
        MainWindow w;
        WindowDriver d(w, *dialogs);
        prepare(d, threeFish);
        d.setFishCount(3);
        QTest::mouseClick(d.trackerViewCheck(), Qt::LeftButton);
        TrackerGate gate(d.tracker());
        gate.holdAtCount(10);
        d.click("processVideoButton");
        QVERIFY(d.waitHeld(gate, 10));
        QTest::qWait(60);
        gate.release();
        d.click("stopProcessingButton"); // while the tracker runs on
        QVERIFY(!d.running());
        const int records = d.tracker()->recordCount();
        QVERIFY(records >= 10);
        QCOMPARE(fileLines(threeFish + ".datamulti.txt").size(), 7 + records);
        QVERIFY(d.waitIdle());
    }

    // The whole-video background method: its pre-pass reads half the samples on a second
    // decoder of its own while the tracker thread reads the rest, then the run goes on.
    void wholeVideoBackgroundRun()
    {
        MainWindow w;
        WindowDriver d(w, *dialogs);
        prepare(d, oneFish);
        findControl<QComboBox>(w, "detectionMethodCombo")->setCurrentIndex(1);
        findControl<QSpinBox>(w, "backgroundFramesSpin")->setValue(12);
        TrackerGate gate(d.tracker());
        gate.holdAtCount(30);
        d.click("processVideoButton");
        QVERIFY(d.waitHeld(gate, 30));
        gate.release();
        d.click("stopProcessingButton");
        QVERIFY(!d.running());
        const QStringList lines = fileLines(oneFish + ".data.txt");
        QVERIFY(lines.size() >= 3 + 2 + 30);
        QVERIFY(lines.join('\n').contains("Detection: blobs background-frames=12 "));
        QVERIFY(d.waitIdle());
    }

    void closeDuringRun()
    {
        QFile::remove(oneFish + ".data.txt");
        auto *w = new MainWindow;
        WindowDriver d(*w, *dialogs);
        prepare(d, oneFish);
        auto gate = std::make_unique<TrackerGate>(d.tracker());
        gate->holdAtCount(10);
        d.click("processVideoButton");
        QVERIFY(d.waitHeld(*gate, 10));
        QTest::qWait(60);
        gate->release();
        delete w; // while the tracker runs on
        gate.reset();
        QVERIFY(fileLines(oneFish + ".data.txt").size() >= 3 + 2 + 10);
    }
};

QTEST_MAIN(GuiThreadsTest)
#include "GuiThreadsTest.moc"
