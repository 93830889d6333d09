// Whole runs of VideoTracker over pictures served from memory: parameters, single- and
// multi-fish runs, the last frame, edge parameters, stop while paused, mode switched mid-run.

#include "support/TestUtils.h"
#include "support/TrackingTestSupport.h"

#include "formats/TrackingDataFile.h"
#include "tracking/ImageLock.h"
#include "tracking/RunParameters.h"
#include "tracking/TrackerViewPainter.h"
#include "tracking/classic/BackgroundModel.h"
#include "tracking/classic/MultiFishDetector.h"
#include "tracking/classic/ProximityWeights.h"
#include "tracking/classic/SingleFishDetector.h"

#include <QRandomGenerator>
#include <QTest>
#include <QTextStream>

#include <cfloat>
#include <cmath>

using namespace trackingtest;

namespace {

// Runs the tracker to its end; false when it did not finish in time.
bool runToEnd(VideoTracker &tracker)
{
    tracker.start();
    return tracker.wait(60000);
}

} // namespace

class TrackingRunTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void runParameters()
    {
        TrackingControls controls;
        controls.meanFilterSize = 4;
        QCOMPARE(RunParameters::fromControls(controls).filterSide, 5);
        controls.meanFilterSize = 5;
        QCOMPARE(RunParameters::fromControls(controls).filterSide, 5);
        controls.meanFilterSize = 1;
        QCOMPARE(RunParameters::fromControls(controls).filterSide, 1);
    }

    // ---- Whole runs over pictures served from memory -------------------------------------

    // A square fish, 5 x 5, moving 6 pixels a frame (so it never overlaps its last place)
    // right along one line and back along another, 40 frames.
    void singleFishRun()
    {
        MemoryDecoder decoder;
        QVector<QPoint> truth;
        for (int i = 0; i < 40; ++i) {
            const QPoint p = i < 20 ? QPoint(10 + 6 * i, 20) : QPoint(124 - 6 * (i - 20), 40);
            truth << p;
            decoder.frames << withSquare(uniformFrame({ 160, 60 }, 120), p.x(), p.y(), 5, 30);
        }
        TestHost host;
        host.decoder = &decoder;
        host.videoPath = testutils::scratchPath("square.avi");
        host.image = decoder.frames[0];
        host.setArea(QRect(QPoint(2, 2), QPoint(157, 57)));
        host.controls.framesToAverage = 10;
        host.controls.meanFilterSize = 5;
        VideoTracker tracker(&host);
        QVERIFY(runToEnd(tracker));
        QCOMPARE(tracker.lastWriteError(), QString());
        QCOMPARE(tracker.lastWrittenPath(), host.videoPath + ".data.txt");

        const QVector<TrackRecord> records = tracker.resultsSnapshot();
        QCOMPARE(records.size(), 39);
        QCOMPARE(host.showResultsTrue.load(), 1);
        QCOMPARE(host.showResultsFalse.load(), 1);
        QCOMPARE(host.fishFoundCalls.load(), 39);
        // The run's first frame is its background: nothing differs, the fish is at the centre.
        QVERIFY(!records[0].found);
        QCOMPARE(QPoint(records[0].x, records[0].y), QPoint(80, 30));
        for (int i = 0; i < records.size(); ++i) {
            QCOMPARE(records[i].frameNumber, qint64(i + 1));
            QCOMPARE(records[i].seconds, float((i + 1) * 40 / 1000.0));
            QVERIFY(records[i].fishPositions.isEmpty());
            if (i >= 1)
                QVERIFY2(records[i].found, qPrintable(QString::number(i)));
            // From the fourth frame on the fish outweighs the fading trace of its last place.
            if (i >= 3)
                QCOMPARE(QPoint(records[i].x, records[i].y), truth[i + 1]);
        }
        const QStringList lines = fileLines(tracker.lastWrittenPath());
        QCOMPARE(lines.size(), 3 + 39);
        QCOMPARE(lines[3].split(' ').value(0), QStringLiteral("0.04000000"));

        // The records stay for the view until the next run, which replaces them and the file.
        QCOMPARE(tracker.recordCount(), 39);
        decoder.current = 30;
        QVERIFY(runToEnd(tracker));
        const QStringList second = fileLines(tracker.lastWrittenPath());
        QCOMPARE(second.size(), 3 + 9);
        QVERIFY(second[3].startsWith("1.24000001 "));
        QCOMPARE(tracker.resultsSnapshot().first().frameNumber, qint64(31));

        // The same records written elsewhere are the same bytes.
        const QString other = testutils::scratchPath("elsewhere.data.txt");
        QVERIFY(tracker.writeDataFileTo(other));
        QCOMPARE(fileBytes(other), fileBytes(host.videoPath + ".data.txt"));
        QCOMPARE(tracker.lastWrittenPath(), other);
        QVERIFY(!tracker.writeDataFileTo(testutils::scratchPath("no/dir/x.txt")));
        QVERIFY(!tracker.lastWriteError().isEmpty());
    }

    // The run writes only the header when there is no frame after the one shown.
    void runOnLastFrame()
    {
        for (int fish : { 1, 3 }) {
            MemoryDecoder decoder;
            decoder.frames << uniformFrame({ 40, 30 }, 100) << uniformFrame({ 40, 30 }, 100);
            decoder.current = 1;
            TestHost host;
            host.decoder = &decoder;
            host.videoPath = testutils::scratchPath("last.avi");
            host.image = decoder.frames[1];
            host.setArea(QRect(0, 0, 40, 30));
            host.controls.fishCount = fish;
            VideoTracker tracker(&host);
            QVERIFY(runToEnd(tracker));
            const QStringList lines = fileLines(tracker.lastWrittenPath());
            QCOMPARE(lines.size(), fish == 1 ? 3 : 5);
            QVERIFY(lines.last().startsWith(fish == 1 ? "Seconds " : "Time "));
            QCOMPARE(tracker.recordCount(), 0);
            bool ok = true;
            QCOMPARE(tracker.recordFromEnd(0, &ok).x, 0);
            QVERIFY(!ok);
        }
    }

    // Frames to Average 1 never finds; filter 4 is used as 5; an area as wide as the filter
    // writes the lowest float.
    void parameterEdgeRuns()
    {
        MemoryDecoder decoder;
        for (int i = 0; i < 25; ++i)
            decoder.frames << withSquare(uniformFrame({ 60, 40 }, 120), 10 + 2 * i, 20, 5, 20);
        auto run = [&](const std::function<void(TestHost &)> &set, const QString &name) {
            decoder.current = 0;
            TestHost host;
            host.decoder = &decoder;
            host.videoPath = testutils::scratchPath(name);
            host.image = decoder.frames[0];
            host.setArea(QRect(0, 0, 60, 40));
            host.controls.framesToAverage = 8;
            set(host);
            VideoTracker tracker(&host);
            runToEnd(tracker);
            return fileLines(tracker.lastWrittenPath());
        };

        const QStringList one = run([](TestHost &h) { h.controls.framesToAverage = 1; }, "one.avi");
        QCOMPARE(one.size(), 3 + 24);
        for (int i = 3; i < one.size(); ++i) {
            const QStringList f = one[i].split(' ');
            QCOMPARE(f[5], QStringLiteral("0"));
            QCOMPARE(f[4], QStringLiteral("0.00000000"));
            QCOMPARE(f[1] + ' ' + f[2], QStringLiteral("30 20"));
        }

        const QStringList four
            = run([](TestHost &h) { h.controls.meanFilterSize = 4; }, "four.avi");
        const QStringList five
            = run([](TestHost &h) { h.controls.meanFilterSize = 5; }, "five.avi");
        QCOMPARE(four, five);
        QVERIFY(five != run([](TestHost &h) { h.controls.meanFilterSize = 3; }, "three.avi"));

        const QStringList narrow = run(
            [](TestHost &h) {
                h.setArea(QRect(20, 0, 5, 40));
                h.controls.meanFilterSize = 5;
            },
            "narrow.avi");
        QCOMPARE(narrow.size(), 3 + 24);
        QCOMPARE(narrow[3],
            QStringLiteral("0.04000000 22 20 0.00000000 "
                           "-340282346638528859811704183484516925440.00000000 0"));
    }

    // Pause takes effect after the frame in hand; a stop while paused writes the file.
    void stopWhilePaused()
    {
        MemoryDecoder decoder;
        for (int i = 0; i < 20; ++i)
            decoder.frames << uniformFrame({ 40, 30 }, 100 + i);
        TestHost host;
        host.decoder = &decoder;
        host.videoPath = testutils::scratchPath("paused.avi");
        host.setArea(QRect(0, 0, 40, 30));
        VideoTracker tracker(&host);
        tracker.setPaused(true);
        tracker.start();
        QTRY_COMPARE_WITH_TIMEOUT(tracker.recordCount(), 1, 10000);
        tracker.waitUntilAsleep();
        QTest::qWait(250);
        QCOMPARE(tracker.recordCount(), 1);
        QVERIFY(tracker.isRunning());
        tracker.requestStop();
        QVERIFY(!tracker.isPaused());
        QVERIFY(tracker.wait(10000));
        QCOMPARE(fileLines(host.videoPath + ".data.txt").size(), 3 + 1);

        // Resuming goes on with the next frame.
        decoder.current = 0;
        tracker.setPaused(true);
        tracker.start();
        QTRY_COMPARE_WITH_TIMEOUT(tracker.recordCount(), 1, 10000);
        tracker.waitUntilAsleep();
        tracker.setPaused(false);
        QVERIFY(tracker.wait(10000));
        QCOMPARE(tracker.recordCount(), 19);
        tracker.waitUntilAsleep(); // not running: returns at once
    }

    // The difference mode is read during the run: a bright fish is tracked while the rule is
    // "Bright object (+)" and no longer once "Dark object (-)" is chosen (the faint dark trace
    // it leaves stays under the threshold).
    void differenceModeSwitchedDuringRun()
    {
        MemoryDecoder decoder;
        for (int i = 0; i < 31; ++i)
            decoder.frames << withSquare(uniformFrame({ 200, 40 }, 100), 10 + 6 * i, 20, 5, 200);
        TestHost host;
        host.decoder = &decoder;
        host.videoPath = testutils::scratchPath("switch.avi");
        host.setArea(QRect(0, 0, 200, 40));
        host.controls.framesToAverage = 10;
        host.controls.meanFilterSize = 5;
        host.controls.signedDifference = true;
        host.controls.brightObject = true;
        decoder.beforeStep = [&host](int index) {
            if (index == 20)
                host.controls.brightObject = false;
        };
        VideoTracker tracker(&host);
        QVERIFY(runToEnd(tracker));
        const QVector<TrackRecord> r = tracker.resultsSnapshot();
        QCOMPARE(r.size(), 30);
        for (int i = 1; i < 19; ++i)
            QVERIFY2(r[i].found && r[i].x == 10 + 6 * (i + 1), qPrintable(QString::number(i)));
        for (int i = 19; i < r.size(); ++i)
            QVERIFY2(!r[i].found, qPrintable(QString::number(i)));
    }

    // Two fish moving 6 pixels a frame: the records carry the centre and the per-fish lists;
    // a fish that jumps further than three filter widths clears its flag in the previous
    // record.
    void multiFishRun()
    {
        MemoryDecoder decoder;
        for (int i = 0; i < 30; ++i) {
            QImage f = uniformFrame({ 200, 60 }, 120);
            f = withSquare(f, 20 + 6 * i, 15, 5, 20);
            f = withSquare(f, i < 20 ? 20 + 6 * i : 180 - 6 * (i - 20), 45, 5, 20);
            decoder.frames << f;
        }
        TestHost host;
        host.decoder = &decoder;
        host.videoPath = testutils::scratchPath("two.avi");
        host.image = decoder.frames[0];
        host.setArea(QRect(0, 0, 200, 60));
        host.controls.fishCount = 2;
        host.controls.framesToAverage = 10;
        host.controls.meanFilterSize = 5;
        // The trace a fish leaves (|d| = 100 / n) stays under it from the second frame on.
        host.controls.confidenceThreshold = 50.0f;
        VideoTracker tracker(&host);
        tracker.setShowTrackerView(true);
        QVERIFY(runToEnd(tracker));
        QCOMPARE(tracker.lastWrittenPath(), host.videoPath + ".datamulti.txt");
        QCOMPARE(host.fishFoundCalls.load(), 0);
        const QVector<TrackRecord> r = tracker.resultsSnapshot();
        QCOMPARE(r.size(), 29);
        // First record: the first difference is all zero, so nothing is found.
        QCOMPARE(r[0].fishFoundFlags, QVector<bool>({ false, false }));
        QCOMPARE(r[0].fishPositions, QVector<QPoint>({ QPoint(100, 30), QPoint(100, 30) }));
        QCOMPARE(r[0].fishConfidences, QVector<float>({ 0.0f, 0.0f }));
        // Second: equally far from the centre, fish 0 takes the first candidate found.
        QCOMPARE(r[1].fishPositions, QVector<QPoint>({ QPoint(32, 15), QPoint(32, 45) }));
        for (int i = 0; i < r.size(); ++i) {
            QCOMPARE(QPoint(r[i].x, r[i].y), QPoint(100, 30));
            QCOMPARE(r[i].confidence, 0.0f);
            QVERIFY(!r[i].found);
            QCOMPARE(r[i].fishPositions.size(), 2);
            if (i >= 1 && i < 18) {
                QCOMPARE(r[i].fishFoundFlags, QVector<bool>({ true, true }));
                QCOMPARE(r[i].fishPositions[0], QPoint(20 + 6 * (i + 1), 15));
                QCOMPARE(r[i].fishPositions[1], QPoint(20 + 6 * (i + 1), 45));
            }
        }
        // Frame 20: fish 1 jumps from (134,45) to (180,45), taken as a leftover.
        QCOMPARE(r[19].fishPositions[1], QPoint(180, 45));
        QCOMPARE(r[19].fishFoundFlags, QVector<bool>({ true, true }));
        QCOMPARE(r[18].fishFoundFlags, QVector<bool>({ true, false }));
        QCOMPARE(r[20].fishPositions[1], QPoint(174, 45));
        QCOMPARE(r[19].fishFoundFlags, QVector<bool>({ true, true }));

        const QStringList lines = fileLines(tracker.lastWrittenPath());
        QCOMPARE(lines.size(), 5 + 29);
        QCOMPARE(lines[1], QStringLiteral("2"));
        QVERIFY(lines[5 + 18].endsWith(" 134 45 "));
        QCOMPARE(lines[5 + 18].split(' ').value(5), QStringLiteral("0"));

        // The tracker view was painted grey.
        QMutexLocker locker(&imageLock);
        const QImage view = tracker.trackerViewImage();
        QCOMPARE(view.size(), QSize(200, 60));
        const QRgb p = view.pixel(194, 15);
        QCOMPARE(qRed(p), 255);
        QVERIFY(qRed(p) == qGreen(p) && qGreen(p) == qBlue(p));
        QCOMPARE(view.pixel(1, 1), qRgb(0, 0, 0));
    }
};

int runTrackingRunTest(int argc, char **argv)
{
    TrackingRunTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "TrackingRunTest.moc"
