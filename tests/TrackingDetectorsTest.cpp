// The detectors: proximity weights, single-fish detection, the tracker view, the back-fill,
// and the multi-fish candidates and assignment.

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

// A model of a W x H area fed with the given pictures, s = 1 unless told.
BackgroundModel feed(const QVector<QImage> &frames, const TrackingControls &controls, int side,
    int average, const QRect &area)
{
    BackgroundModel model;
    model.reset(area, side, average);
    for (const QImage &f : frames)
        model.update(f, controls);
    return model;
}

} // namespace

class TrackingDetectorsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void proximityWeights()
    {
        ProximityWeights w;
        w.build(100, 50, 0.01f);
        QCOMPARE(w.at(0, 0), 1.0f);
        // One tenth of the diagonal away weighs exp(-0.5) * 0.75 + 0.25.
        const double diag = std::sqrt(100.0 * 100 + 50 * 50);
        const int dx = 11;
        const double r = dx / diag;
        QVERIFY(std::fabs(w.at(dx, 0) - (std::exp(-r * r / 0.02) * 0.75 + 0.25)) < 1e-6);
        QVERIFY(w.at(1, 0) < 1.0f && w.at(1, 0) > w.at(2, 0));
        QCOMPARE(w.at(99, 49), 0.25f); // the floor, to float precision
        // A reference outside the area: offsets beyond the table use its last entries.
        QCOMPARE(w.at(500, 3), w.at(99, 3));
        QCOMPARE(w.at(7, 400), w.at(7, 49));
        QCOMPARE(w.at(100000, 60), w.at(99, 49));

        // Variance 0: the fish's own position keeps weight 1, every other offset the floor.
        w.build(20, 10, 0.0f);
        QCOMPARE(w.at(0, 0), 1.0f);
        for (int x = 0; x < 20; ++x)
            for (int y = 0; y < 10; ++y)
                if (x || y)
                    QCOMPARE(w.at(x, y), 0.25f);

        // Tables wider and taller than square, in sizes that end mid-block: every entry (both
        // signs of dx) is the weight itself, whether computed or copied from its mirror, and
        // each row's highest weight is the highest of its row.
        for (const QSize size : { QSize(37, 53), QSize(53, 37), QSize(1, 20), QSize(20, 1) }) {
            w.build(size.width(), size.height(), 0.02f);
            const float diagonal = float(std::sqrt(
                double(size.width()) * size.width() + double(size.height()) * size.height()));
            QVERIFY(w.nonNegative());
            for (int offsetY = 0; offsetY < size.height(); ++offsetY) {
                const float *row = w.signedRow(offsetY);
                float highest = 0.0f;
                for (int offsetX = 0; offsetX < size.width(); ++offsetX) {
                    const float expected
                        = ProximityWeights::weight(offsetX, offsetY, diagonal, 0.02f);
                    QCOMPARE(row[offsetX], expected);
                    QCOMPARE(row[-offsetX], expected);
                    highest = std::max(highest, expected);
                }
                QCOMPARE(w.highestOfRow(offsetY), highest);
            }
        }
        w.build(8, 8, -0.5f); // weights above 1 further out; not negative
        QVERIFY(w.nonNegative() && w.highestOfRow(0) > 1.0f);
        w.build(8, 8, std::nanf(""));
        QVERIFY(!w.nonNegative());
    }

    // Scan order, the strict comparisons, the record and the empty scan.
    void singleFishDetection()
    {
        const QSize size(60, 40);
        const QRect area(0, 0, 60, 40);
        TrackingControls controls;
        std::atomic<bool> show { false };
        QImage view;
        TrackerViewPainter painter(view);
        // N large: the second frame has alpha = beta = 0.5 exactly, so a pixel going from 100
        // to 140 has d = 20 exactly.
        auto modelWith = [&](const QVector<QPoint> &pixels, int side) {
            QImage second = uniformFrame(size, 100);
            for (QPoint p : pixels)
                second.setPixelColor(p, QColor(140, 140, 140));
            return feed({ uniformFrame(size, 100), second }, controls, side, 100, area);
        };
        SingleFishDetector detector;
        detector.reset(area, 0.01f, 10.0f);

        // Equal scores: the smaller column wins, then the smaller row; the same whether the
        // scan paints the tracker view (pixel by pixel in scan order) or not.
        painter.reset(uniformFrame(size, 0));
        TrackRecord r;
        for (bool paint : { false, true }) {
            show = paint;
            r = detector.detect(
                modelWith({ { 40, 10 }, { 20, 10 } }, 1), QPoint(30, 10), show, painter);
            QCOMPARE(QPoint(r.x, r.y), QPoint(20, 10));
            r = detector.detect(modelWith({ { 41, 12 }, { 19, 8 }, { 19, 12 }, { 41, 8 } }, 1),
                QPoint(30, 10), show, painter);
            QCOMPARE(QPoint(r.x, r.y), QPoint(19, 8));
            r = detector.detect(
                modelWith({ { 30, 15 }, { 30, 5 } }, 1), QPoint(30, 10), show, painter);
            QCOMPARE(QPoint(r.x, r.y), QPoint(30, 5));
        }
        show = false;
        QVERIFY(r.found);
        QCOMPARE(r.confidence, 20.0f);
        QCOMPARE(r.movement, 5.0f);

        // A box mean equal to the threshold is not a detection: the fish stays put.
        detector.reset(area, 0.01f, 20.0f);
        r = detector.detect(modelWith({ { 12, 30 } }, 1), QPoint(33, 22), show, painter);
        QVERIFY(!r.found);
        QCOMPARE(r.confidence, 20.0f);
        QCOMPARE(QPoint(r.x, r.y), QPoint(33, 22));
        QCOMPARE(r.movement, 0.0f);
        detector.reset(area, 0.01f, 19.99f);
        r = detector.detect(modelWith({ { 12, 30 } }, 1), QPoint(12, 26), show, painter);
        QVERIFY(r.found);
        QCOMPARE(QPoint(r.x, r.y), QPoint(12, 30));
        QCOMPARE(r.movement, 4.0f);

        // Proximity: a weaker window near the reference beats a stronger one far away.
        QImage second = uniformFrame(size, 100);
        second = withSquare(second, 10, 10, 3, 180); // d = 40 near the reference
        second = withSquare(second, 50, 30, 3, 200); // d = 50 far from it
        BackgroundModel m = feed({ uniformFrame(size, 100), second }, controls, 3, 100, area);
        detector.reset(area, 0.01f, 10.0f);
        r = detector.detect(m, QPoint(12, 12), show, painter);
        QCOMPARE(QPoint(r.x, r.y), QPoint(10, 10));
        r = detector.detect(m, QPoint(48, 28), show, painter);
        QCOMPARE(QPoint(r.x, r.y), QPoint(50, 30));

        // An area no wider than the filter: nothing scanned, the lowest float as confidence.
        const QRect narrow(10, 10, 3, 30);
        BackgroundModel nm = feed({ uniformFrame(size, 100), second }, controls, 3, 100, narrow);
        detector.reset(narrow, 0.01f, 10.0f);
        r = detector.detect(nm, QPoint(11, 25), show, painter);
        QVERIFY(!r.found);
        QCOMPARE(r.confidence, -FLT_MAX);
        QCOMPARE(QPoint(r.x, r.y), QPoint(11, 25));
    }

    // Red and green show the box mean against the threshold, blue the proximity weight; only
    // the scanned band is painted, and only while the flag is set.
    void trackerViewPainting()
    {
        const QSize size(30, 20);
        const QRect area(2, 3, 24, 14);
        TrackingControls controls;
        QImage second = withSquare(uniformFrame(size, 100), 12, 9, 3, 160);
        BackgroundModel m = feed({ uniformFrame(size, 100), second }, controls, 3, 100, area);
        QImage view;
        TrackerViewPainter painter(view);
        painter.reset(uniformFrame(size, 77));
        SingleFishDetector detector;
        detector.reset(area, 0.01f, 20.0f);
        std::atomic<bool> show { false };
        detector.detect(m, QPoint(12, 9), show, painter);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                QCOMPARE(view.pixel(x, y), qRgb(0, 0, 0));

        show = true;
        detector.detect(m, QPoint(12, 9), show, painter);
        // The fish: box mean 30 (d = 30 on all 9 pixels) against 20 caps at 255; weight 1.
        QCOMPARE(view.pixel(12, 9), qRgb(255, 255, 255));
        // Next to it the window holds 6 of the 9 fish pixels: mean 20 gives 255 too; further
        // out 3 of 9: mean 10 gives 127.
        QCOMPARE(qRed(view.pixel(14, 9)), 127);
        ProximityWeights w;
        w.build(area.width(), area.height(), 0.01f);
        QCOMPARE(qBlue(view.pixel(14, 9)), int(255.0f * w.at(2, 0)));
        // Area-relative rows and columns 0..h and W-h.. stay black.
        QCOMPARE(view.pixel(area.left() + 1, 9), qRgb(0, 0, 0));
        QVERIFY(view.pixel(area.left() + 2, 9) != qRgb(0, 0, 0)); // blue = weight
        QCOMPARE(view.pixel(area.right(), 9), qRgb(0, 0, 0));
        QCOMPARE(view.pixel(12, area.top() + 1), qRgb(0, 0, 0));
        QCOMPARE(view.pixel(0, 0), qRgb(0, 0, 0));

        QCOMPARE(TrackerViewPainter::level(0.0f, 0.0f), 0);
        QCOMPARE(TrackerViewPainter::level(3.0f, 0.0f), 255);
        QCOMPARE(TrackerViewPainter::level(-0.5f, 30.0f), 0);
        QCOMPARE(TrackerViewPainter::level(15.0f, 30.0f), 127);
    }

    void backFill()
    {
        // f1 found at (100,100), f2..f4 lost, f5 found at (140,100).
        QVector<TrackRecord> r
            = { found(100, 100), lost(100, 100), lost(100, 100), lost(100, 100) };
        TrackRecord f5 = found(140, 100);
        f5.movement = 40.0f;
        r << f5;
        r[2].confidence = 7.5f;
        SingleFishDetector::backFill(r);
        QCOMPARE(QPoint(r[1].x, r[1].y), QPoint(110, 100));
        QCOMPARE(QPoint(r[2].x, r[2].y), QPoint(120, 100));
        QCOMPARE(QPoint(r[3].x, r[3].y), QPoint(130, 100));
        for (int j = 1; j <= 3; ++j) {
            QCOMPARE(r[j].movement, 10.0f);
            QVERIFY(!r[j].found);
        }
        QCOMPARE(r[2].confidence, 7.5f);
        QCOMPARE(r[4].movement, 40.0f);

        // No found record before the gap: the first record of the run is the anchor.
        r = { lost(50, 50), lost(50, 50), found(90, 50) };
        SingleFishDetector::backFill(r);
        QCOMPARE(QPoint(r[1].x, r[1].y), QPoint(70, 50));
        QCOMPARE(QPoint(r[0].x, r[0].y), QPoint(50, 50));

        // Positions are truncated; the step is the whole distance over the steps.
        r = { found(0, 0), lost(0, 0), lost(0, 0), found(10, 7) };
        SingleFishDetector::backFill(r);
        QCOMPARE(QPoint(r[1].x, r[1].y), QPoint(3, 2));
        QCOMPARE(QPoint(r[2].x, r[2].y), QPoint(6, 4));
        QCOMPARE(r[1].movement, float(std::sqrt(149.0) / 3));

        // Nothing happens unless a found record follows a lost one, with c > 2.
        r = { found(0, 0), lost(5, 5), lost(5, 5) };
        SingleFishDetector::backFill(r);
        QCOMPARE(QPoint(r[1].x, r[1].y), QPoint(5, 5));
        r = { lost(0, 0), found(9, 9) };
        SingleFishDetector::backFill(r);
        QCOMPARE(QPoint(r[0].x, r[0].y), QPoint(0, 0));
        r = { found(0, 0), found(2, 0), found(30, 0) };
        SingleFishDetector::backFill(r);
        QCOMPARE(QPoint(r[1].x, r[1].y), QPoint(2, 0));
    }

    void multiFishCandidates()
    {
        const int w = 12, h = 12, half = 1;
        std::vector<float> map(size_t(w) * h, 0.0f);
        auto at = [&](int x, int y) -> float & { return map[size_t(y) * w + x]; };
        at(4, 4) = 30.0f; // equal to the threshold, above its neighbours
        at(7, 4) = 50.0f; // a plateau of two
        at(7, 5) = 50.0f;
        at(4, 8) = 29.99f; // below the threshold
        at(2, 8) = 90.0f; // outside the candidate range (it starts at h + 2 = 3)
        at(9, 9) = 40.0f; // the last column and row of the range
        at(9, 8) = 39.0f;
        const auto c
            = MultiFishDetector::findCandidates(map.data(), w, h, half, QPoint(100, 200), 30.0f);
        QCOMPARE(int(c.size()), 2);
        QCOMPARE(c[0].position, QPoint(104, 204));
        QCOMPARE(c[0].value, 30.0f);
        QCOMPARE(c[1].position, QPoint(109, 209));
    }

    void multiFishAssignment()
    {
        using Candidate = MultiFishDetector::Candidate;
        TrackRecord previous;
        previous.fishPositions = { QPoint(50, 50), QPoint(60, 50) };
        previous.fishFoundFlags = { true, true };
        previous.fishConfidences = { 40.0f, 40.0f };

        // The closest pair first: fish 1 takes (58,50); fish 0 is 30 away from (80,50), not
        // under 9, so it takes it as a leftover and its previous flag is cleared.
        auto r = MultiFishDetector::assign({ { QPoint(58, 50), 31.0f }, { QPoint(80, 50), 32.0f } },
            &previous, 2, QPoint(0, 0), 3);
        QCOMPARE(r.positions, QVector<QPoint>({ QPoint(80, 50), QPoint(58, 50) }));
        QCOMPARE(r.confidences, QVector<float>({ 32.0f, 31.0f }));
        QCOMPARE(r.found, QVector<bool>({ true, true }));
        QCOMPARE(r.clearPrevious, QVector<int>({ 0 }));

        // Exactly 3 * s away is not matched in the rounds; just under it is.
        TrackRecord one;
        one.fishPositions = { QPoint(50, 50), QPoint(10, 10) };
        one.fishFoundFlags = { true, false };
        r = MultiFishDetector::assign({ { QPoint(59, 50), 31.0f } }, &one, 2, QPoint(0, 0), 3);
        QCOMPARE(r.positions[0], QPoint(59, 50));
        QCOMPARE(r.clearPrevious, QVector<int>({ 0 }));
        QVERIFY(!r.found[1]);
        QCOMPARE(r.positions[1], QPoint(10, 10));
        QCOMPARE(r.confidences[1], 0.0f);
        r = MultiFishDetector::assign({ { QPoint(58, 50), 31.0f } }, &one, 2, QPoint(0, 0), 3);
        QVERIFY(r.clearPrevious.isEmpty());

        // A fish lost in the previous frame is never matched in the rounds, even when close;
        // it can only take a free candidate afterwards.
        TrackRecord lostFish;
        lostFish.fishPositions = { QPoint(20, 20), QPoint(22, 20) };
        lostFish.fishFoundFlags = { false, true };
        r = MultiFishDetector::assign({ { QPoint(21, 20), 35.0f }, { QPoint(40, 20), 36.0f } },
            &lostFish, 2, QPoint(0, 0), 5);
        QCOMPARE(r.positions, QVector<QPoint>({ QPoint(40, 20), QPoint(21, 20) }));
        QCOMPARE(r.clearPrevious, QVector<int>({ 0 }));

        // Equal distances in the rounds: the lower fish index, then the lower candidate.
        TrackRecord twins;
        twins.fishPositions = { QPoint(10, 10), QPoint(14, 10) };
        twins.fishFoundFlags = { true, true };
        r = MultiFishDetector::assign({ { QPoint(12, 10), 33.0f } }, &twins, 2, QPoint(0, 0), 3);
        QCOMPARE(r.found, QVector<bool>({ true, false }));
        QVERIFY(r.clearPrevious.isEmpty());

        // First frame: fish take, in index order, the free candidates nearest to the centre.
        const QPoint centre(100, 100);
        const std::vector<Candidate> first = { { QPoint(120, 100), 40.0f },
            { QPoint(100, 95), 41.0f }, { QPoint(100, 110), 42.0f } };
        r = MultiFishDetector::assign(first, nullptr, 3, centre, 3);
        QCOMPARE(
            r.positions, QVector<QPoint>({ QPoint(100, 95), QPoint(100, 110), QPoint(120, 100) }));
        QVERIFY(r.clearPrevious.isEmpty());
        // Fewer candidates than fish: the rest stay at the centre, not found.
        r = MultiFishDetector::assign({ first[2] }, nullptr, 3, centre, 3);
        QCOMPARE(r.found, QVector<bool>({ true, false, false }));
        QCOMPARE(r.positions[2], centre);
    }
};

int runTrackingDetectorsTest(int argc, char **argv)
{
    TrackingDetectorsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "TrackingDetectorsTest.moc"
