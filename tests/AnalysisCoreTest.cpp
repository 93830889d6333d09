// The analysis without its window: which overlays a file offers, the samples of each kind of
// variable, the time windows with their statistics, and the report text.

#include "analysis/AnalysisReport.h"
#include "analysis/DataAnalysis.h"
#include "analysis/DataFileHeader.h"
#include "analysis/SampleCollector.h"
#include "analysis/WindowedStatistics.h"
#include "formats/TrackingDataFile.h"
#include "support/AnalysisDataFiles.h"
#include "support/TestUtils.h"

#include <QTest>

#include <cmath>
#include <limits>

using analysisfiles::DataFileBuilder;

namespace {

Samples collect(const QString &path, const QString &variable, const QString &rulerX = {},
    const QString &rulerY = {}, bool allConfident = false)
{
    return SampleCollector::collect(SampleRequest { path, variable, rulerX, rulerY, allConfident });
}

QVector<float> floats(std::initializer_list<float> values)
{
    return QVector<float>(values);
}

bool near(float a, float b, float tolerance = 1e-4f)
{
    return std::fabs(a - b) <= tolerance;
}

// Debug lines written while a test runs.
QStringList debugLines;
void captureDebug(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg)
        debugLines << message;
}

WindowSummary windows(const QVector<float> &times, float offset, float measure, float between)
{
    QVector<float> values;
    for (int i = 0; i < times.size(); ++i)
        values << float(i + 1);
    return WindowedStatistics::summarise(
        times, values, WindowSettings { offset, measure, between });
}

} // namespace

class AnalysisCoreTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void headerNamesByPrefix()
    {
        const QString path = testutils::scratchPath("names.data.txt");
        QStringList lines;
        lines << "Tracking area (x1, y1, x2, y2): "
              << "0 0 640 480";
        lines << "Zone12extra (x1, y1, x2, y2): "
              << "1 1 5 5";
        lines << " Zone2 (x1, y1, x2, y2): "
              << "1 1 5 5"; // leading space: empty first field
        lines << "zone3 (x1, y1, x2, y2): "
              << "1 1 5 5"; // the kind is case-sensitive
        lines << "Ruler1-a (x1, y1, x2, y2, length): "
              << "0 0 10 0 1.00000000";
        lines << "PointDist1 my pond (centrex, centrey, radx, rady, length): "
              << "5 5 9 5 2.00000000";
        lines << "LineDist7 (x1, y1, x2, y2): "
              << "0 0 1 1";
        lines << "ShoalAvgDist (pixels): "
              << "0";
        lines << "Ruler2-b (x1, y1, x2, y2, length): "
              << "0 0 0 10 1.00000000";
        lines << "Zone12extra (x1, y1, x2, y2): "
              << "1 1 5 5"; // repeated names are kept
        lines << "Seconds FishX FishY FishMovement Confidence Confidence>30.00000000 Zone12extra"
                 " Ruler1-a";
        lines << "0.04000000 1 2 0.00000000 41.00000000 1 0 0.50000000";
        lines << ""
              << "Zone9"; // after the rows a name still counts
        DataFileBuilder::writeLines(path, lines);
        DataFileHeader header;
        QVERIFY(header.read(path));
        QCOMPARE(header.measurableNames,
            QStringList({ "Zone12extra", "Ruler1-a", "PointDist1", "LineDist7", "ShoalAvgDist",
                "Ruler2-b", "Zone12extra", "Zone9" }));
        QCOMPARE(header.rulerNames, QStringList({ "Ruler1-a", "Ruler2-b" }));

        // The tracker's own layout, with Windows line ends; a multi-fish file lists its
        // overlays too.
        const QString crlf = DataFileBuilder()
                                 .zone("Zone1", 1, 1, 4, 4)
                                 .ruler("Ruler1", 0, 0, 9, 0, 1)
                                 .row(0, 1, 1, true, { 1, 0.5 })
                                 .write(testutils::scratchPath("crlf.txt"), "\r\n");
        QVERIFY(header.read(crlf));
        QCOMPARE(header.measurableNames, QStringList({ "Zone1", "Ruler1" }));
        const QString multi = testutils::scratchPath("multi.datamulti.txt");
        DataFileBuilder::writeLines(multi,
            { "NumFish: ", "2", "Tracking area (x1, y1, x2, y2): ", "0 0 640 480",
                "Zone1 (x1, y1, x2, y2): ", "1 1 5 5",
                "Time Fish1Conf? Fish1HowConf Fish1X Fish1Y Fish1Zone1 "
                "Fish2Conf? Fish2HowConf Fish2X Fish2Y Fish2Zone1 ",
                "0.04000000 1 40.00000000 3 3 1 1 40.00000000 9 9 0 " });
        QVERIFY(header.read(multi));
        QCOMPARE(header.measurableNames, QStringList({ "Zone1" }));
        QCOMPARE(collect(multi, "Zone1", {}, {}, true).times.size(), 0);
        QCOMPARE(collect(multi, "Speed").times.size(), 0);

        DataFileHeader untouched;
        untouched.measurableNames = QStringList { "Zone1" };
        QVERIFY(!untouched.read(testutils::scratchPath("absent.txt")));
        QCOMPARE(untouched.measurableNames, QStringList { "Zone1" });
    }

    void speed()
    {
        // Ruler1 runs along X; its measure is the position along it in its own unit.
        DataFileBuilder b;
        b.ruler("Ruler1", 0, 0, 100, 0, 10).ruler("Ruler2", 0, 0, 0, 100, 10);
        b.row(0.0, 10, 10, true, { 1.0, 1.0 });
        b.row(0.5, 20, 10, true, { 2.0, 1.0 });
        b.row(1.0, 30, 40, true, { 3.0, 4.0 }); // first sample: (1, 3) over 0.5 s
        b.row(1.0, 40, 40, true, { 4.0, 4.0 }); // same time: dt falls back to 1/30 s
        b.row(1.5, 50, 40, false, { 5.0, 4.0 }); // unconfident: no sample here ...
        b.row(2.0, 60, 40, true, { 6.0, 4.0 }); // ... nor here
        b.row(2.25, 70, 40, true, { 8.0, 4.0 }); // the next pair again: dt = 0.25
        const QString path = b.write(testutils::scratchPath("speed.data.txt"));

        debugLines.clear();
        const QtMessageHandler previous = qInstallMessageHandler(captureDebug);
        const Samples s = collect(path, "Speed", "Ruler1", "Ruler2");
        qInstallMessageHandler(previous);

        QVERIFY(s.opened);
        QCOMPARE(s.times, floats({ 1.0f, 1.0f, 2.25f }));
        QCOMPARE(s.values.size(), 3);
        QVERIFY(near(s.values[0], std::sqrt(10.0f) / 0.5f));
        QVERIFY(near(s.values[1], 1.0f / 0.033333335f));
        QVERIFY(near(s.values[2], 2.0f / 0.25f));
        // One debug line per sample, with its items in order.
        QCOMPARE(debugLines.size(), 3);
        QCOMPARE(debugLines[2].split(' '),
            QStringList({ "SPEED:", "2", "0.25", "8", "TIMEDIFF:", "2.25", "2" }));

        // The same ruler for X and Y, as right after loading: sqrt(2) times the one-axis speed.
        const Samples same = collect(path, "Speed", "Ruler1", "Ruler1");
        QCOMPARE(same.times, s.times);
        QVERIFY(near(same.values[0], std::sqrt(2.0f) * 1.0f / 0.5f));
        QVERIFY(near(same.values[2], std::sqrt(2.0f) * 2.0f / 0.25f));

        // A ruler that is not a column gives no samples, and nothing is read out of range.
        QCOMPARE(collect(path, "Speed", "Ruler1", "Ruler9").times.size(), 0);
        QCOMPARE(collect(path, "Speed").times.size(), 0);
    }

    void shortRowsGiveNoSample()
    {
        DataFileBuilder b;
        b.zone("Zone1", 0, 0, 9, 9).ruler("Ruler1", 0, 0, 100, 0, 10);
        b.row(0.0, 1, 1, true, { 1, 1.0 });
        b.row(0.1, 1, 1, true, { 1, 2.0 });
        b.rawRow("0.2 1 1 0.00000000 41.00000000 1 1"); // ruler column missing
        b.row(0.3, 1, 1, true, { 1, 4.0 }); // its neighbour is unusable for Speed
        b.rawRow("0.4 1 1"); // no threshold flag
        b.rawRow("");
        b.row(0.6, 1, 1, true, { 0, 6.0 });
        b.row(0.7, 1, 1, true, { 0, 7.0 });
        const QString path = b.write(testutils::scratchPath("short.data.txt"));

        QCOMPARE(collect(path, "Zone1", {}, {}, true).times,
            floats({ 0.0f, 0.1f, 0.2f, 0.3f, 0.6f, 0.7f }));
        QCOMPARE(collect(path, "Ruler1", {}, {}, true).values, floats({ 1, 2, 4, 6, 7 }));
        // Only the last pair of rows is whole on both sides.
        QCOMPARE(collect(path, "Speed", "Ruler1", "Ruler1").times, floats({ 0.7f }));
        QCOMPARE(collect(path, "Zone7").times.size(), 0);

        // A file that ends before its column line, or has a bare "Seconds" line.
        DataFileBuilder::writeLines(testutils::scratchPath("nocolumns.txt"),
            { "Tracking area (x1, y1, x2, y2): ", "0 0 9 9", "Ruler1 (x1, y1, x2, y2, length): " });
        QCOMPARE(
            collect(testutils::scratchPath("nocolumns.txt"), "ShoalAvgDist", "Ruler1").times.size(),
            0);
        DataFileBuilder::writeLines(testutils::scratchPath("bare.txt"),
            { "Seconds", "0.1 1 1 0 40 1 1", "0.2 1 1 0 40 1 1", "0.3 1 1 0 40 1 1" });
        QCOMPARE(
            collect(testutils::scratchPath("bare.txt"), "Speed", "Seconds", "Seconds").times.size(),
            0);
        QCOMPARE(
            collect(testutils::scratchPath("bare.txt"), "Zone1", {}, {}, true).times.size(), 0);

        QVERIFY(!collect(testutils::scratchPath("absent.txt"), "Speed").opened);
    }

    void turnAnglesOnASquare()
    {
        const QString cw = analysisfiles::squareWalk(true).write(testutils::scratchPath("cw.txt"));
        const QString ccw
            = analysisfiles::squareWalk(false).write(testutils::scratchPath("ccw.txt"));
        for (const QString &path : { cw, ccw }) {
            const float corner = path == cw ? 90.0f : -90.0f;
            const Samples relative = collect(path, "RelativeTurnAngle");
            const Samples absolute = collect(path, "AbsoluteTurnAngle");
            // Frames 5 to 35: the first sample needs five confident rows.
            QCOMPARE(relative.times.size(), 31);
            QCOMPARE(relative.times.first(), 5 * 0.04f);
            QCOMPARE(absolute.times, relative.times);
            for (int i = 0; i < relative.values.size(); ++i) {
                const int frame = i + 5;
                const bool atCorner = frame == 12 || frame == 20 || frame == 28;
                QVERIFY2(near(relative.values[i], atCorner ? corner : 0.0f, 0.01f),
                    qPrintable(QString("frame %1: %2").arg(frame).arg(relative.values[i])));
                QCOMPARE(absolute.values[i], std::fabs(relative.values[i]));
            }
        }
    }

    void turnAnglesKeepTheHeadingWhileStill()
    {
        // Moving down and to the left, a pause, then straight left: one turn of 45 degrees,
        // counted when the movement resumes; the pause gives zeros.
        DataFileBuilder b;
        int frame = 0;
        const auto at
            = [&](int x, int y, bool confident = true) { b.row(0.04 * frame++, x, y, confident); };
        for (int i = 0; i < 6; ++i)
            at(300 - 10 * i, 100 + 10 * i); // heading 135
        for (int i = 0; i < 5; ++i)
            at(250, 150); // still
        for (int i = 1; i <= 6; ++i)
            at(250 - 10 * i, 150); // heading 180
        at(190, 150, false); // a gap ...
        for (int i = 0; i < 5; ++i)
            at(180 - 10 * i, 150); // ... after which five confident rows are needed
        const Samples s
            = collect(b.write(testutils::scratchPath("still.txt")), "RelativeTurnAngle");
        QCOMPARE(s.times.size(), 1 + 5 + 6 + 1);
        QVERIFY(near(s.values[0], 135.0f, 0.01f)); // the first turn is measured from 0
        int turns = 0;
        for (int i = 1; i < s.values.size(); ++i) {
            if (!near(s.values[i], 0.0f, 0.01f)) {
                ++turns;
                QVERIFY(near(s.values[i], 45.0f, 0.01f));
            }
        }
        QCOMPARE(turns, 1);
        QVERIFY(near(s.times.last(), 0.04f * (frame - 1)));
    }

    void zonesAndRulersTakeTheGeneralRule()
    {
        DataFileBuilder b;
        b.zone("Zone1 feeder", 0, 0, 9, 9)
            .zone("Zone2", 0, 0, 99, 99)
            .ruler("Ruler1", 0, 0, 30, 40, 10);
        b.pointDist("PointDist1", 5, 5, 8, 9, 2);
        b.row(0.1, 5, 5, true, { 1, 1, 0.25, 1.5 });
        b.row(0.2, 50, 50, false, { 0, 1, 3.5, 10.0 });
        b.row(0.3, 500, 50, true, { 0, 0, -1.0, 12.0 });
        const QString path = b.write(testutils::scratchPath("zones.txt"));

        // "Zone1 feeder" is two fields of the column line but one field of a row: its own
        // column is right, every later one is one too far.
        QCOMPARE(collect(path, "Zone1").values, floats({ 1, 0 }));
        QCOMPARE(collect(path, "Zone1", {}, {}, true).values, floats({ 1, 0, 0 }));
        QCOMPARE(collect(path, "Zone2", {}, {}, true).values, floats({ 0.25f, 3.5f, -1.0f }));
        QCOMPARE(collect(path, "Zone2", {}, {}, true).times, floats({ 0.1f, 0.2f, 0.3f }));
        QCOMPARE(collect(path, "Zone2").times, floats({ 0.1f, 0.3f }));
    }

    void shoalAverageDistance()
    {
        const auto file = [](const QString &name, const QStringList &rulerLines) {
            QStringList lines { "Tracking area (x1, y1, x2, y2): ", "0 0 640 480" };
            lines << rulerLines
                  << "Seconds FishX FishY FishMovement Confidence Confidence>30.00000000 "
                     "ShoalAvgDist ShoalAvgDist1"
                  << "0.10000000 1 1 0.00000000 41.00000000 1 100.00000000 100.00000000"
                  << "0.20000000 1 1 0.00000000 12.00000000 0 25.00000000 25.00000000"
                  << "0.30000000 1 1 0.00000000 41.00000000 1 0.00000000 0.00000000";
            DataFileBuilder::writeLines(testutils::scratchPath(name), lines);
            return testutils::scratchPath(name);
        };
        // The ruler is 50 px long and 10 units: 100 px is 20 units.
        const QString good
            = file("shoal.txt", { "Ruler1 (x1, y1, x2, y2, length): ", "0 0 30 40 10.00000000" });
        QCOMPARE(collect(good, "ShoalAvgDist", "Ruler1", "Ruler1").values, floats({ 20.0f, 0.0f }));
        // Unconfident rows taken with "all confident" share the unit of the others.
        QCOMPARE(collect(good, "ShoalAvgDist", "Ruler1", "Ruler1", true).values,
            floats({ 20.0f, 5.0f, 0.0f }));
        // A name that only begins with ShoalAvgDist is a plain column.
        QCOMPARE(
            collect(good, "ShoalAvgDist1", "Ruler1", "Ruler1").values, floats({ 100.0f, 0.0f }));

        // A ruler of no length, or none at all: values that are not finite, and no crash.
        const QString zero
            = file("shoal0.txt", { "Ruler1 (x1, y1, x2, y2, length): ", "7 7 7 7 10.00000000" });
        const Samples z = collect(zero, "ShoalAvgDist", "Ruler1", "Ruler1");
        QCOMPARE(z.values.size(), 2);
        QVERIFY(std::isinf(z.values[0]) && z.values[0] > 0);
        QVERIFY(std::isnan(z.values[1]));
        const Samples none = collect(file("shoalnone.txt", {}), "ShoalAvgDist", "", "");
        QCOMPARE(none.times.size(), 2);
        QVERIFY(std::isnan(none.values[0]) && std::isnan(none.values[1]));
        // A ruler value line that is too short gives no samples.
        const QString shortLine
            = file("shoalshort.txt", { "Ruler1 (x1, y1, x2, y2, length): ", "0 0 30 40" });
        QCOMPARE(collect(shortLine, "ShoalAvgDist", "Ruler1", "Ruler1").times.size(), 0);
    }

    void windowAssignment()
    {
        // A sample exactly on s seconds belongs to window s - 1, the earlier of the two.
        WindowSummary w = windows(floats({ 0.0f, 0.5f, 1.0f, 1.5f, 2.0f, 3.0f }), 0, 1, 0);
        QCOMPARE(w.startTimes, floats({ 0.0f, 1.0f, 2.0f }));
        QCOMPARE(w.means, floats({ 2.0f, 4.5f, 6.0f })); // {1,2,3}, {4,5}, {6}
        QCOMPARE(w.variances, floats({ 2.0f / 3.0f, 0.25f, 0.0f }));

        // An offset drops what comes before it.
        w = windows(floats({ 2.0f, 9.99f, 10.0f, 10.5f, 11.5f }), 10, 1, 0);
        QCOMPARE(w.startTimes, floats({ 10.0f, 11.0f }));
        QCOMPARE(w.means, floats({ 3.5f, 5.0f }));

        // Gaps between windows are dropped.
        w = windows(floats({ 0.5f, 1.0f, 1.01f, 4.99f, 5.0f, 6.0f, 7.0f, 10.5f }), 0, 1, 4);
        QCOMPARE(w.startTimes, floats({ 0.0f, 5.0f, 10.0f }));
        QCOMPARE(w.means, floats({ 1.5f, 5.5f, 8.0f }));

        // Windows without samples are skipped.
        w = windows(floats({ 0.25f, 2.5f }), 0, 1, 0);
        QCOMPARE(w.startTimes, floats({ 0.0f, 2.0f }));
        QCOMPARE(w.variances, floats({ 0.0f, 0.0f }));

        // Overlapping windows: the first window whose end is not before the sample.
        w = windows(floats({ 0.5f, 1.5f, 2.5f }), 0, 2, -1);
        QCOMPARE(w.startTimes, floats({ 0.0f, 1.0f }));
        QCOMPARE(w.means, floats({ 1.5f, 3.0f }));

        // The stepping keeps extended precision: with tenths of a second, 0.4 s and 1.1 s sit
        // on window ends and belong to windows 3 and 11; stepping in single precision would
        // put them in 4 and 10.
        w = windows(floats({ 0.4f, 1.1f }), 0, 0.1f, 0);
        QCOMPARE(w.startTimes, floats({ 0.1f * 3, 0.1f * 11 }));

        // Times that no window can reach end the stepping instead of looping for ever.
        w = windows(floats({ std::numeric_limits<float>::infinity(), 1e30f, 0.5f }), 0, 1e-6f, 0);
        QCOMPARE(w.means, floats({ 3.0f }));

        QVERIFY(WindowSettings({ 0, 1, 0 }).periodIsPositive());
        QVERIFY(WindowSettings({ 0, 0, 0.5f }).periodIsPositive());
        QVERIFY(!WindowSettings({ 0, 0, 0 }).periodIsPositive());
        QVERIFY(!WindowSettings({ 0, 1, -1 }).periodIsPositive());
        QVERIFY(!WindowSettings({ 0, std::nanf(""), 0 }).periodIsPositive());
    }

    void statisticsInSinglePrecision()
    {
        // 2^24 + 1 is lost when added to 2^24 in single precision, in assignment order.
        const WindowSummary w = WindowedStatistics::summarise(floats({ 0.1f, 0.2f, 0.3f }),
            floats({ 16777216.0f, 1.0f, 1.0f }), WindowSettings { 0, 1, 0 });
        QCOMPARE(w.means, floats({ 16777216.0f / 3.0f }));
    }

    void reportText()
    {
        QCOMPARE(AnalysisReport::formatNumber(0.5f), QString("0.500000"));
        QCOMPARE(AnalysisReport::formatNumber(12.0f), QString("12.000000"));
        QCOMPARE(AnalysisReport::formatNumber(-3.25f), QString("-3.250000"));
        QCOMPARE(AnalysisReport::formatNumber(123456789.0f), QString("123456792.000000"));
        QCOMPARE(AnalysisReport::formatNumber(1e-7f), QString("0.000000"));
        QCOMPARE(AnalysisReport::formatNumber(std::nanf("")), QString("nan"));
        QCOMPARE(
            AnalysisReport::formatNumber(std::numeric_limits<float>::infinity()), QString("inf"));
        QCOMPARE(
            AnalysisReport::formatNumber(-std::numeric_limits<float>::infinity()), QString("-inf"));

        QVector<VariableResult> results;
        results.append(
            { "Speed", { floats({ 0, 2 }), floats({ 3.25f, 4 }), floats({ 0.0625f, 0 }) } });
        results.append(VariableResult { "Zone1", WindowSummary {} });
        results.append(
            { "Speed", { floats({ 10 }), floats({ std::nanf("") }), floats({ std::nanf("") }) } });
        const QString text = AnalysisReport::text(results);
        QCOMPARE(text,
            QString("Speed\n"
                    "Time 0.000000 2.000000 \n"
                    "Mean 3.250000 4.000000 \n"
                    "Variance 0.062500 0.000000 \n\n"
                    "Zone1\n"
                    "Time \n"
                    "Mean \n"
                    "Variance \n\n"
                    "Speed\n"
                    "Time 10.000000 \n"
                    "Mean nan \n"
                    "Variance nan \n\n"));
        QCOMPARE(AnalysisReport::text({}), QString());

        results.append({ "Zone2,\"b\"", { floats({ 1 }), floats({ 0.5f }), floats({ 0 }) } });
        QCOMPARE(AnalysisReport::csv(results),
            QString("variable,start,mean,variance\n"
                    "Speed,0.000000,3.250000,0.062500\n"
                    "Speed,2.000000,4.000000,0.000000\n"
                    "Speed,10.000000,nan,nan\n"
                    "\"Zone2,\"\"b\"\"\",1.000000,0.500000,0.000000\n"));
    }

    // A file as the tracker writes it: a fish swimming right along a ruler, through a zone.
    void fileFromTheTrackerWriter()
    {
        TrackingDataFile::Content content;
        content.confidenceThreshold = 30.0f;
        content.overlays.areas
            = { QRect(QPoint(0, 0), QPoint(199, 99)), QRect(QPoint(0, 0), QPoint(49, 99)) };
        content.overlays.areaLabels = { "Tracking Area", "Zone1-left" };
        Ruler tank;
        tank.label = "Ruler1-tank";
        tank.x2 = 100;
        tank.length = 10.0f;
        content.overlays.rulers = { tank };
        for (int i = 0; i < 50; ++i) {
            TrackRecord r;
            r.frameNumber = i;
            r.seconds = float(i * 40 / 1000.0);
            r.x = 10 + 2 * i; // inside the zone for the first 20 rows
            r.y = 50;
            r.movement = 2.0f;
            r.confidence = 50.0f;
            r.found = true;
            content.records << r;
        }
        const QString path = testutils::scratchPath("writer.avi.data.txt");
        QString error;
        QVERIFY2(TrackingDataFile::save(path, content, &error), qPrintable(error));

        DataFileHeader header;
        QVERIFY(header.read(path));
        QCOMPARE(header.measurableNames, QStringList({ "Zone1-left", "Ruler1-tank" }));

        AnalysisInput input;
        input.path = path;
        input.rulerX = input.rulerY = "Ruler1-tank";
        input.rows = { { "Speed", { 0.0f, 10.0f, 0.0f } }, { "Zone1-left", { 0.0f, 10.0f, 0.0f } },
            { "Ruler1-tank", { 0.0f, 10.0f, 0.0f } } };
        const AnalysisOutcome outcome = DataAnalysis::run(input);
        QCOMPARE(outcome.status, AnalysisOutcome::Status::Done);
        QCOMPARE(outcome.results.size(), 3);
        // 2 px a frame along a ruler of 10 units per 100 px, on both axes: 0.2 units each way
        // every 0.04 s, so sqrt(2) * 5 units per second from the third row on.
        const WindowSummary speed = outcome.results[0].windows;
        QCOMPARE(speed.means.size(), 1);
        QVERIFY2(near(speed.means[0], float(std::sqrt(2.0) * 5.0), 1e-3f),
            qPrintable(QString::number(speed.means[0])));
        QVERIFY(speed.variances[0] < 1e-3f);
        QVERIFY(near(outcome.results[1].windows.means[0], 0.4f)); // 20 of the 50 rows
        // The mean position along the ruler: x from 10 to 108, a tenth of it.
        QVERIFY(near(outcome.results[2].windows.means[0], 5.9f, 1e-3f));
    }

    void analysisRunsRowsInOrder()
    {
        DataFileBuilder b;
        b.zone("Zone1", 0, 0, 9, 9);
        for (int i = 0; i < 8; ++i)
            b.row(0.5 * i, 5, 5, i % 3 != 2, { double(i % 2) });
        const QString path = b.write(testutils::scratchPath("run.txt"));

        AnalysisInput input { path, { { "Zone1", { 0, 1, 0 } }, { "Zone1", { 1, 2, 1 } } }, {}, {},
            false };
        AnalysisOutcome outcome = DataAnalysis::run(input);
        QCOMPARE(outcome.status, AnalysisOutcome::Status::Done);
        QCOMPARE(outcome.results.size(), 2);
        QCOMPARE(outcome.results[0].windows.startTimes, floats({ 0.0f, 1.0f, 2.0f, 3.0f }));
        QCOMPARE(outcome.results[1].windows.startTimes, floats({ 1.0f }));

        // A period that is not positive is refused before the row is read, even after rows
        // that went well.
        int reads = 0;
        input.rows.append({ "Zone1", { 0, 0, 0 } });
        outcome = DataAnalysis::run(input, [&](const SampleRequest &r) {
            ++reads;
            return SampleCollector::collect(r);
        });
        QCOMPARE(outcome.status, AnalysisOutcome::Status::PeriodNotPositive);
        QCOMPARE(outcome.failedRow, 2);
        QCOMPARE(reads, 2);
        QCOMPARE(
            outcome.errorTitle(), QString("Time to Measure plus Time Between must be positive."));
        QVERIFY(outcome.results.isEmpty());

        input.path.clear();
        QCOMPARE(DataAnalysis::run(input).errorTitle(), QString("Can't load video data file."));
        input.path = testutils::scratchDir(); // exists, but cannot be read as a file
        input.rows.removeLast();
        QCOMPARE(DataAnalysis::run(input).errorTitle(), QString("Can't open video data file."));
    }
};

QTEST_GUILESS_MAIN(AnalysisCoreTest)
#include "AnalysisCoreTest.moc"
