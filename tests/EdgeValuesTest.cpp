// Values at the edges of their types, each from a file or an option a user can give: they
// are refused with a message that says why, or handled without overflow (the ASan+UBSan
// build turns any overflow into a failure), and ordinary values give what they always gave.

#include "analysis/WindowedStatistics.h"
#include "formats/OverlayLimits.h"
#include "formats/TrackingDataFile.h"
#include "support/TestUtils.h"
#include "tools/StimulusEventBlender.h"
#include "view/ViewRenderer.h"

#include <QFile>
#include <QTest>

#include <climits>
#include <optional>
#include <random>

namespace {

void writeFile(const QString &path, const QByteArray &text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

// The window a sample goes to, one period at a time: the first window whose end is not
// before the sample, none when that window starts after it or the period is lost.
std::optional<qint64> windowByStepping(float time, const WindowSettings &s)
{
    const long double measure = s.measure;
    const long double period = measure + static_cast<long double>(s.between);
    long double d = static_cast<long double>(time) - s.offset;
    qint64 k = 0;
    while (d > measure) {
        const long double next = d - period;
        if (next == d)
            return std::nullopt;
        d = next;
        ++k;
    }
    if (d >= 0.0L)
        return k;
    return std::nullopt;
}

QByteArray header(const QByteArray &zoneLine, const QByteArray &pointDistLine)
{
    return "Tracking area (x1, y1, x2, y2): \n0 0 32 32\n"
           "Zone1-z (x1, y1, x2, y2): \n"
        + zoneLine + "\nPointDist1-p (centrex, centrey, radx, rady, length): \n" + pointDistLine
        + "\nSeconds FishX FishY FishMovement Confidence Confidence>30.00000000 Zone1-z "
          "PointDist1-p\n"
          "0.10000000 5 5 0.00000000 40.00000000 1 1 1.00000000\n";
}

} // namespace

class EdgeValuesTest : public QObject
{
    Q_OBJECT

private slots:
    // Far from the first window, the window is found by division rather than step by step:
    // a sample at 10^12 s with a one-second window, or at an epoch-style time, is placed at
    // once. Everywhere else the windows are the ones stepping gives.
    void windowIndexByDivisionMatchesStepping()
    {
        const WindowSettings settings[] = { { 0, 1, 0 }, { 0, 0.1f, 0 }, { 2.5f, 0.25f, 0.75f },
            { -3, 3.7f, 1.3f }, { 0.04f, 60, 240 }, { 1e6f, 0.5f, 0.5f }, { 0, 1e-3f, 0 } };
        std::mt19937 random(7);
        for (const WindowSettings &s : settings) {
            const float period = s.measure + s.between;
            QVector<float> times = { 0, s.offset, s.offset + s.measure, s.offset + period,
                s.offset - 0.001f, 1.7e9f, 1e12f, -5 };
            for (int k = 0; k < 40; ++k) {
                times << s.offset + period * float(k) + s.measure;
                times << std::nextafter(s.offset + period * float(k) + s.measure, 1e30f);
                times << std::uniform_real_distribution<float>(0, 1e5f)(random);
                times << std::uniform_real_distribution<float>(0, 1e9f)(random);
            }
            for (const float t : times) {
                if ((double(t) - s.offset) / period > 1e7)
                    continue; // too many steps for the twin; placed below
                const WindowSummary summary = WindowedStatistics::summarise({ t }, { 1 }, s);
                const auto expected = windowByStepping(t, s);
                QCOMPARE(summary.startTimes.size(), expected ? 1 : 0);
                if (expected)
                    QCOMPARE(summary.startTimes[0], period * float(*expected) + s.offset);
            }
        }
        // Far away: a whole-second time t with one-second windows lies on the end of window
        // t - 1.
        for (const float t : { 1.7e9f, 1e12f, 3e15f }) {
            const WindowSummary summary
                = WindowedStatistics::summarise({ t }, { 1 }, WindowSettings { 0, 1, 0 });
            QCOMPARE(summary.startTimes.size(), 1);
            QCOMPARE(summary.startTimes[0], float(qint64(t) - 1));
        }
        // A window index beyond any integer: the sample reaches no window.
        const WindowSummary far
            = WindowedStatistics::summarise({ 1e30f }, { 1 }, WindowSettings { 0, 1e-6f, 0 });
        QVERIFY(far.startTimes.isEmpty());
    }

    // The running start of the blend input is summed wide: two intervals of 2 * 10^9 no
    // longer wrap, so the third event still sorts after them.
    void blendRunningStartBeyondInt()
    {
        const QString left = testutils::scratchPath(QStringLiteral("left.gfadata"));
        const QString right = testutils::scratchPath(QStringLiteral("right.gfadata"));
        writeFile(
            left, "F\nx 2000000000 a b 1 2\nF\nx 2000000000 a b 3 4\nF\nx 2000000000 a b 5 6\n");
        writeFile(right,
            "F\nx 1500000000 a b 7 8\nF\nx 1500000000 a b 9 10\nF\nx 1500000000 a b 11 12\n");
        StimulusEventBlender blender;
        QCOMPARE(blender.setLeftFile(left), StimulusEventBlender::Error::None);
        QCOMPARE(blender.setRightFile(right), StimulusEventBlender::Error::None);
        QCOMPARE(blender.read(), StimulusEventBlender::Error::None);
        QCOMPARE(blender.entries.size(), 6);
        QCOMPARE(blender.entries[2].start, Q_INT64_C(4000000000));
        QCOMPARE(
            blender.blended(), QStringLiteral("L1\tR2\tR3\tL4\tR5\tL6\t\n1\t8\t10\t3\t12\t5\t"));
    }

    // A data file's header with a coordinate beyond the range that can be meant is refused,
    // naming the file and the coordinate; up to the limit it is read as before.
    void overlaysBeyondTheirRangeAreRefused()
    {
        const QString path = testutils::scratchPath(QStringLiteral("edge.data"));
        const QByteArray limit = QByteArray::number(overlaylimits::maxCoordinate);
        struct Case
        {
            QByteArray zone, pointDist, refused;
        } cases[] = {
            { "0 0 10 10", "1 1 4 5 2.0", "" },
            { "0 0 " + limit + " 10", "-" + limit + " 1 " + limit + " 5 2.0", "" },
            { "0 0 -2147483648 11", "1 1 4 5 2.0", "-2147483648" },
            { "0 0 2147483647 10", "1 1 4 5 2.0", "2147483647" },
            { "0 0 10 10", "2147483647 1 -2147483648 5 2.0", "2147483647" },
            { "0 0 10 10", "1 1 99999999999 5 2.0", "99999999999" },
        };
        for (const Case &c : cases) {
            writeFile(path, header(c.zone, c.pointDist));
            OverlaySet overlays;
            QString error;
            const bool read = TrackingDataFile::readOverlays(path, &overlays, &error);
            QCOMPARE(read, c.refused.isEmpty());
            if (read) {
                QCOMPARE(overlays.areas.size(), 2);
                QCOMPARE(overlays.pointDists.size(), 1);
                QVERIFY(overlaylimits::firstOutOfRange(overlays).isEmpty());
            } else {
                QVERIFY2(error.contains(path) && error.contains(QString::fromLatin1(c.refused)),
                    qPrintable(error));
            }
        }
    }

    // The command line refuses an area, zone, ruler or point distance that cannot be meant
    // before it opens anything; the export refuses such a header and a far-away Tracking
    // Area whose centre would not fit.
    void commandLineRefusesCoordinatesThatCannotBeMeant()
    {
        const QString video = testutils::scratchPath(QStringLiteral("none.avi"));
        const QStringList refused[] = {
            { "--area", "0,0,2147483647,2147483647" },
            { "--area", "0,0,10,10", "--zone", "z=0,0,2147483647,10" },
            { "--area", "0,0,10,10", "--pointdist", "p=-2147483647,0,1,1,2" },
            { "--area", "0,0,10,10", "--ruler", "r=0,0,20000000,0,2" },
        };
        for (const QStringList &options : refused) {
            const auto run = testutils::runProgram(
                QStringLiteral(POND_CLI), QStringList { "track", video } + options);
            QCOMPARE(run.exitCode, 2);
            QVERIFY2(run.err.contains(QString::number(overlaylimits::maxCoordinate)),
                qPrintable(run.err));
        }

        const QString data = testutils::scratchPath(QStringLiteral("far.data"));
        writeFile(data, header("0 0 10 10", "2147483647 2147483647 0 0 1.0"));
        const auto run
            = testutils::runProgram(QStringLiteral(POND_CLI), { "export", data, video, "--quiet" });
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(data) && run.err.contains(QStringLiteral("2147483647")),
            qPrintable(run.err));
    }

    // An export row may put the fish anywhere in the int range: the marker is then drawn
    // nowhere in the picture, found or not, whatever the filter size.
    void markerFarAwayDrawsNothing()
    {
        QImage frame(32, 24, QImage::Format_RGB32);
        frame.fill(QColor(10, 20, 30));
        const QPoint far[] = { { INT_MAX, INT_MAX }, { INT_MIN, INT_MIN }, { INT_MAX, INT_MIN },
            { INT_MIN + 1, 5 }, { 5, INT_MAX - 1 } };
        for (const QPoint &p : far)
            for (const bool found : { true, false })
                for (const int filter : { 1, 3, 99 }) {
                    ViewState state;
                    state.showResults = true;
                    state.fishFound = found;
                    state.fishPosition = p;
                    state.meanFilterSize = filter;
                    QCOMPARE(
                        ViewRenderer::render(frame, OverlaySet(), state, RecordLookup()), frame);
                }
    }
};

QTEST_MAIN(EdgeValuesTest)
#include "EdgeValuesTest.moc"
