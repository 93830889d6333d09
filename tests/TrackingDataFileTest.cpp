// The tracking data file: single- and multi-fish layouts, saving and reading back.

#include "support/TestUtils.h"
#include "support/TrackingTestSupport.h"

#include "formats/TrackingDataFile.h"
#include "model/ArenaLayout.h"
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

TrackRecord found(int x, int y)
{
    TrackRecord r;
    r.x = x, r.y = y, r.found = true;
    return r;
}

TrackRecord lost(int x, int y)
{
    TrackRecord r;
    r.x = x, r.y = y, r.found = false;
    return r;
}

QString text(const std::function<void(QTextStream &)> &write)
{
    QString s;
    QTextStream out(&s);
    write(out);
    out.flush();
    return s;
}

} // namespace

class TrackingDataFileTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The single-fish file: header lines, numbers, zone membership, the threshold flag.
    void singleFishFile()
    {
        TrackingDataFile::Content c;
        c.confidenceThreshold = 30.0f;
        c.overlays.areas << QRect(QPoint(5, 6), QPoint(104, 85));
        c.overlays.areaLabels << "Tracking Area";
        QCOMPARE(text([&](QTextStream &o) { TrackingDataFile::writeSingleFish(o, c); }),
            QStringLiteral("Tracking area (x1, y1, x2, y2): \n5 6 105 86\n"
                           "Seconds FishX FishY FishMovement Confidence Confidence>30.00000000\n"));

        c.overlays.areas << QRect(QPoint(10, 10), QPoint(19, 19));
        c.overlays.areaLabels << "Zone1-left";
        Ruler ruler;
        ruler.label = "Ruler1-tank";
        ruler.x1 = 0, ruler.y1 = 0, ruler.x2 = 30, ruler.y2 = 40, ruler.length = 12.5f;
        PointDist pd;
        pd.label = "PointDist1-feeder";
        pd.centrex = 1, pd.centrey = 2, pd.radx = 3, pd.rady = 4, pd.length = -12.75f;
        c.overlays.rulers << ruler;
        c.overlays.pointDists << pd;
        TrackRecord a = found(19, 15);
        a.seconds = 0.04f, a.movement = std::sqrt(5.0f), a.confidence = 41.555557f;
        TrackRecord b = lost(20, 15);
        b.seconds = 1.0f, b.confidence = 30.0f; // equal to the threshold: flag 0
        TrackRecord d = lost(20, 15);
        d.confidence = -FLT_MAX;
        c.records = { a, b, d };
        const QStringList lines
            = text([&](QTextStream &o) { TrackingDataFile::writeSingleFish(o, c); }).split('\n');
        auto m = [](float v) { return TrackingDataFile::real(v); };
        const QStringList expected = {
            "Tracking area (x1, y1, x2, y2): ",
            "5 6 105 86",
            "Zone1-left (x1, y1, x2, y2): ",
            "10 10 20 20",
            "Ruler1-tank (x1, y1, x2, y2, length): ",
            "0 0 30 40 12.50000000",
            "PointDist1-feeder (centrex, centrey, radx, rady, length): ",
            "1 2 3 4 -12.75000000",
            "Seconds FishX FishY FishMovement Confidence Confidence>30.00000000 Zone1-left "
            "Ruler1-tank PointDist1-feeder",
            "0.04000000 19 15 2.23606801 41.55555725 1 1 " + m(ruler.Measure(QPointF(19, 15))) + " "
                + m(pd.Measure(QPointF(19, 15))),
            "1.00000000 20 15 0.00000000 30.00000000 0 0 " + m(ruler.Measure(QPointF(20, 15))) + " "
                + m(pd.Measure(QPointF(20, 15))),
            "0.00000000 20 15 0.00000000 -340282346638528859811704183484516925440.00000000 0 0 "
                + m(ruler.Measure(QPointF(20, 15))) + " " + m(pd.Measure(QPointF(20, 15))),
            "",
        };
        QCOMPARE(lines, expected);
    }

    void multiFishFile()
    {
        TrackingDataFile::Content c;
        c.multiFish = true;
        c.fishCount = 3;
        c.overlays.areas << QRect(QPoint(0, 0), QPoint(99, 79))
                         << QRect(QPoint(10, 10), QPoint(19, 19));
        c.overlays.areaLabels << "Tracking Area"
                              << "A";
        const QString headerOnly
            = text([&](QTextStream &o) { TrackingDataFile::writeMultiFish(o, c); });
        QCOMPARE(headerOnly,
            QStringLiteral("NumFish: \n3\nTracking area (x1, y1, x2, y2): \n0 0 100 80\n"
                           "A (x1, y1, x2, y2): \n10 10 20 20\n"
                           "Time Fish1Conf? Fish1HowConf Fish1X Fish1Y Fish1A Fish2Conf? "
                           "Fish2HowConf Fish2X Fish2Y Fish2A Fish3Conf? Fish3HowConf Fish3X "
                           "Fish3Y Fish3A \n"));

        TrackRecord r;
        r.seconds = 2.5f;
        r.x = 50, r.y = 40;
        r.fishPositions = { QPoint(19, 12), QPoint(20, 12), QPoint(50, 40) };
        r.fishConfidences = { 33.25f, 0.0f, 40.0f };
        r.fishFoundFlags = { true, false, true };
        c.records = { r };
        const QStringList lines
            = text([&](QTextStream &o) { TrackingDataFile::writeMultiFish(o, c); }).split('\n');
        QCOMPARE(lines.value(7),
            QStringLiteral("2.50000000 1 33.25000000 19 12 1 0 0.00000000 20 12 0 "
                           "1 40.00000000 50 40 0 "));
        QCOMPARE(lines.size(), 9);

        // Two overlapping round arenas: arena 2's zone does not hold arena 1's fish in a corner
        // of its square, outside its circle; where the circles overlap, both hold a fish.
        TrackingDataFile::Content wells;
        wells.multiFish = true;
        wells.fishCount = 2;
        wells.overlays.areas << QRect(QPoint(0, 0), QPoint(99, 79));
        wells.overlays.areaLabels << "Tracking Area";
        wells.overlays = ArenaLayout::withArenaZones(wells.overlays,
            { Arena { QRect(0, 0, 40, 40), Arena::Shape::Ellipse, 1, 0 },
                Arena { QRect(30, 0, 40, 40), Arena::Shape::Ellipse, 1, 0 } });
        TrackRecord w;
        w.fishPositions = { QPoint(34, 2), QPoint(35, 20) };
        w.fishConfidences = { 1.0f, 1.0f };
        w.fishFoundFlags = { true, true };
        wells.records = { w };
        const QStringList wellLines
            = text([&](QTextStream &o) { TrackingDataFile::writeMultiFish(o, wells); }).split('\n');
        QCOMPARE(wellLines.value(9),
            QStringLiteral("0.00000000 1 1.00000000 34 2 1 0 1 1.00000000 35 20 1 1 "));
    }

    // The header read back gives the overlays as they were; failures leave earlier files.
    void savingAndReadingBack()
    {
        TrackingDataFile::Content c;
        c.fishCount = 2;
        c.overlays.areas << QRect(QPoint(3, 4), QPoint(200, 150))
                         << QRect(QPoint(10, 10), QPoint(19, 19))
                         << QRect(QPoint(0, 0), QPoint(0, 0));
        c.overlays.areaLabels << "Tracking Area"
                              << "Zone1-with space"
                              << "Zone2-";
        Ruler ruler;
        ruler.label = "Ruler1-x";
        ruler.x1 = 1, ruler.y1 = 2, ruler.x2 = 3, ruler.y2 = 4, ruler.length = 2.5f;
        c.overlays.rulers << ruler;
        PointDist pd;
        pd.label = "PointDist1-y";
        pd.centrex = 5, pd.centrey = 6, pd.radx = 7, pd.rady = 8, pd.length = 10.0f;
        c.overlays.pointDists << pd << pd;
        c.records = { found(20, 30) };
        for (bool multi : { false, true }) {
            c.multiFish = multi;
            const QString path = testutils::scratchPath(multi ? "a.datamulti.txt" : "a.data.txt");
            QString error;
            QVERIFY(TrackingDataFile::save(path, c, &error));
            QVERIFY(error.isEmpty());
            OverlaySet back;
            QVERIFY2(TrackingDataFile::readOverlays(path, &back, &error), qPrintable(error));
            QCOMPARE(back.areas, c.overlays.areas);
            QCOMPARE(back.areaLabels, c.overlays.areaLabels);
            QCOMPARE(back.rulers.size(), 1);
            QCOMPARE(back.rulers[0].label, ruler.label);
            QCOMPARE(QVector<int>({ back.rulers[0].x1, back.rulers[0].y1, back.rulers[0].x2,
                         back.rulers[0].y2 }),
                QVector<int>({ 1, 2, 3, 4 }));
            QCOMPARE(back.rulers[0].length, 2.5f);
            QCOMPARE(back.pointDists.size(), 2);
            QCOMPARE(back.pointDists[1].rady, 8);
            QCOMPARE(back.pointDists[1].length, 10.0f);
        }

        const QString kept = testutils::scratchPath("kept.data.txt");
        QVERIFY(TrackingDataFile::save(kept, c));
        const QByteArray before = fileBytes(kept);
        QString error;
        QVERIFY(
            !TrackingDataFile::save(testutils::scratchPath("no/such/dir/x.data.txt"), c, &error));
        QVERIFY(error.startsWith("Cannot write"));
        QVERIFY(!TrackingDataFile::save(testutils::scratchDir(), c, &error));
        QCOMPARE(fileBytes(kept), before);

        OverlaySet none;
        QVERIFY(
            !TrackingDataFile::readOverlays(testutils::scratchPath("missing.txt"), &none, &error));
        QFile junk(testutils::scratchPath("junk.txt"));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("Tracking area (x1, y1, x2, y2): \n1 2\n");
        junk.close();
        QVERIFY(!TrackingDataFile::readOverlays(junk.fileName(), &none, &error));
    }
};

int runTrackingDataFileTest(int argc, char **argv)
{
    TrackingDataFileTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "TrackingDataFileTest.moc"
