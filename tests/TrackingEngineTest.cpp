// The tracking engine without video files: background model and summed table, proximity
// weights, single- and multi-fish detection, the back-fill, the data file, and whole runs of
// VideoTracker over pictures served from memory.

#include "support/TestUtils.h"
#include "support/TrackingTestSupport.h"

#include "tracking/BackgroundModel.h"
#include "tracking/ImageLock.h"
#include "tracking/MultiFishDetector.h"
#include "tracking/ProximityWeights.h"
#include "tracking/RunParameters.h"
#include "tracking/SingleFishDetector.h"
#include "tracking/TrackerViewPainter.h"
#include "tracking/TrackingDataFile.h"

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

QString text(const std::function<void(QTextStream &)> &write)
{
    QString s;
    QTextStream out(&s);
    write(out);
    out.flush();
    return s;
}

} // namespace

class TrackingEngineTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Averaging, the three difference rules and the moment the background is complete.
    void backgroundModel()
    {
        const QSize size(6, 5);
        const QRect area(0, 0, 6, 5);
        TrackingControls controls;

        // N = 2: grey 120 then 200 gives the background 160 and d = 40.
        const QVector<QImage> rising = { uniformFrame(size, 120), uniformFrame(size, 200) };
        const QVector<QImage> falling = { uniformFrame(size, 200), uniformFrame(size, 120) };
        controls.signedDifference = false;
        BackgroundModel m = feed(rising, controls, 1, 2, area);
        QCOMPARE(m.backgroundPlane()[7], 160.0f);
        QCOMPARE(m.boxMean(2, 2), 40.0f);
        controls.signedDifference = true;
        controls.brightObject = true;
        QCOMPARE(feed(rising, controls, 1, 2, area).boxMean(2, 2), 40.0f);
        QCOMPARE(feed(falling, controls, 1, 2, area).boxMean(2, 2), 0.0f);
        controls.brightObject = false;
        QCOMPARE(feed(rising, controls, 1, 2, area).boxMean(2, 2), 0.0f);
        QCOMPARE(feed(falling, controls, 1, 2, area).boxMean(2, 2), 40.0f);
        controls.signedDifference = false;

        // The first frame of a run becomes the background: nothing differs.
        m.reset(area, 3, 300);
        m.update(withSquare(uniformFrame(size, 100), 2, 2, 2, 10), controls);
        for (float s : m.summedTable())
            QCOMPARE(s, 0.0f);

        // N = 1: the background is always the frame itself.
        m.reset(area, 1, 1);
        for (int i = 0; i < 4; ++i) {
            const QImage f = withSquare(uniformFrame(size, 100), 1 + i, 2, 2, 10 + 40 * i);
            m.update(f, controls);
            QCOMPARE(m.backgroundPlane(), m.greyPlane());
            for (float s : m.summedTable())
                QCOMPARE(s, 0.0f);
        }

        // Complete exactly once, when n reaches N; afterwards each frame weighs 1/N.
        m.reset(area, 1, 3);
        QVector<bool> completed;
        const int greys[] = { 90, 90, 90, 180, 180 };
        for (int g : greys)
            completed << m.update(uniformFrame(size, g), controls);
        QCOMPARE(completed, QVector<bool>({ false, false, true, false, false }));
        m.reset(area, 1, 3);
        for (int g : { 90, 90, 90, 180 })
            m.update(uniformFrame(size, g), controls);
        QVERIFY(std::fabs(m.backgroundPlane()[0] - 120.0f) < 1e-4f);
        QVERIFY(std::fabs(m.boxMean(1, 1) - 60.0f) < 1e-4f);
    }

    // qGray of the area's pixels from scan lines in both pixel formats, and an area reaching
    // past the frame reads 0 there instead of outside the picture.
    void greyLevelsAndFrameBounds()
    {
        TrackingControls controls;
        const QColor colour(200, 100, 50); // (11*200 + 16*100 + 5*50) / 32 = 126
        for (QImage::Format format : { QImage::Format_RGB888, QImage::Format_RGB32,
                 QImage::Format_ARGB32, QImage::Format_Grayscale8 }) {
            QImage f(8, 6, format);
            f.fill(colour);
            BackgroundModel m;
            m.reset(QRect(2, 1, 4, 3), 1, 10);
            m.update(f, controls);
            const int expected = format == QImage::Format_Grayscale8 ? qGray(f.pixel(0, 0)) : 126;
            for (float g : m.greyPlane())
                QCOMPARE(g, float(expected));
        }

        QImage f(4, 4, QImage::Format_RGB888);
        f.fill(QColor(60, 60, 60));
        BackgroundModel m;
        m.reset(QRect(-2, -1, 8, 7), 1, 10);
        m.update(f, controls);
        const std::vector<float> &g = m.greyPlane();
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 8; ++x) {
                const bool inside = x >= 2 && x < 6 && y >= 1 && y < 5;
                QCOMPARE(g[size_t(y) * 8 + x], inside ? 60.0f : 0.0f);
            }
    }

    // Box means from the summed table equal the directly computed window means of |d|, for
    // every position the detectors read.
    void boxMeansMatchDirectMeans()
    {
        QRandomGenerator random(7);
        TrackingControls controls;
        const QRect area(5, 4, 30, 22);
        for (int side : { 1, 3, 5 }) {
            BackgroundModel m;
            m.reset(area, side, 10);
            for (int frame = 0; frame < 4; ++frame) {
                QImage f(40, 30, QImage::Format_RGB888);
                for (int y = 0; y < 30; ++y)
                    for (int x = 0; x < 40; ++x)
                        f.setPixel(x, y,
                            qRgb(random.bounded(256), random.bounded(256), random.bounded(256)));
                m.update(f, controls);
            }
            const int w = area.width(), h = area.height(), half = (side - 1) / 2;
            // Bit for bit the table of a plain column-by-column fill, and the stored box means
            // are the ones of the formula.
            std::vector<float> reference(size_t(w) * h);
            for (int x = 0; x < w; ++x)
                for (int y = 0; y < h; ++y) {
                    const size_t i = size_t(y) * w + x;
                    const float v = std::fabs(m.greyPlane()[i] - m.backgroundPlane()[i]);
                    if (x == 0)
                        reference[i] = y == 0 ? v : v + reference[i - w];
                    else if (y == 0)
                        reference[i] = v + reference[i - 1];
                    else
                        reference[i]
                            = reference[i - 1] + reference[i - w] - reference[i - w - 1] + v;
                }
            QVERIFY(reference == m.summedTable());
            for (int x = half + 1; x <= w - half - 1; ++x)
                for (int y = half + 1; y <= h - half - 1; ++y)
                    QCOMPARE(m.boxMeans()[size_t(y) * w + x], m.boxMean(x, y));
            for (int x = half + 1; x <= w - half - 1; ++x)
                for (int y = half + 1; y <= h - half - 1; ++y) {
                    double sum = 0;
                    for (int yy = y - half; yy <= y + half; ++yy)
                        for (int xx = x - half; xx <= x + half; ++xx) {
                            const size_t i = size_t(yy) * w + xx;
                            sum += std::fabs(double(m.greyPlane()[i]) - m.backgroundPlane()[i]);
                        }
                    const double direct = sum / (side * side);
                    if (std::fabs(m.boxMean(x, y) - direct) > 0.01)
                        QFAIL(qPrintable(QStringLiteral("side %1 at (%2,%3): %4 vs %5")
                                             .arg(side)
                                             .arg(x)
                                             .arg(y)
                                             .arg(m.boxMean(x, y))
                                             .arg(direct)));
                }
        }
    }

    // Areas of many bands of rows, one of them partly outside the frame, and each difference
    // rule: every plane bit for bit the one of the plain per-pixel steps
    // in column order, and the single-fish scan by rows gives the
    // pixel, score and box mean of the scan in column order, also for a reference near a
    // corner and one outside the area.
    void largeAreasMatchThePlainSteps()
    {
        QRandomGenerator random(11);
        struct Case
        {
            QRect area;
            int side;
            bool signedDifference, bright;
        };
        const QSize frameSize(340, 250);
        const QVector<Case> cases = { { QRect(3, 5, 330, 230), 3, false, true },
            { QRect(-4, -3, 300, 240), 5, true, true },
            { QRect(20, 10, 320, 240), 1, true, false } };
        for (const Case &c : cases) {
            TrackingControls controls;
            controls.signedDifference = c.signedDifference;
            controls.brightObject = c.bright;
            BackgroundModel m;
            m.reset(c.area, c.side, 3);
            const int w = c.area.width(), h = c.area.height(), half = (c.side - 1) / 2;
            std::vector<float> background(size_t(w) * h, 0.0f);
            for (int frame = 1; frame <= 4; ++frame) {
                QImage f(frameSize, QImage::Format_RGB888);
                for (int y = 0; y < f.height(); ++y)
                    for (int x = 0; x < f.width(); ++x)
                        f.setPixel(x, y,
                            qRgb(random.bounded(256), random.bounded(256), random.bounded(256)));
                m.update(f, controls);

                const int n = std::min(frame, 3);
                const float alpha = float(1.0 / n), beta = float(1.0 - 1.0 / n);
                std::vector<float> table(size_t(w) * h);
                for (int x = 0; x < w; ++x)
                    for (int y = 0; y < h; ++y) {
                        const size_t i = size_t(y) * w + x;
                        const QPoint p(c.area.left() + x, c.area.top() + y);
                        const float grey = f.valid(p) ? float(qGray(f.pixel(p))) : 0.0f;
                        QCOMPARE(m.greyPlane()[i], grey);
                        background[i] = beta * background[i];
                        background[i] = alpha * grey + background[i];
                        const float d = grey - background[i];
                        const float v = !c.signedDifference ? std::fabs(d)
                            : c.bright                      ? (d > 0.0f ? d : 0.0f)
                                                            : (-d > 0.0f ? -d : 0.0f);
                        if (x == 0)
                            table[i] = y == 0 ? v : v + table[i - w];
                        else if (y == 0)
                            table[i] = v + table[i - 1];
                        else
                            table[i] = table[i - 1] + table[i - w] - table[i - w - 1] + v;
                    }
                QVERIFY(background == m.backgroundPlane());
                QVERIFY(table == m.summedTable());
            }
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const bool inRange
                        = x >= half + 1 && x <= w - half - 1 && y >= half + 1 && y <= h - half - 1;
                    const float expected = inRange ? m.boxMean(x, y) : 0.0f;
                    if (m.boxMeans()[size_t(y) * w + x] != expected)
                        QFAIL(qPrintable(QStringLiteral("box mean at %1,%2").arg(x).arg(y)));
                }

            const float threshold = 5.0f;
            SingleFishDetector detector;
            detector.reset(c.area, 0.01f, threshold);
            ProximityWeights weights;
            weights.build(w, h, 0.01f);
            std::atomic<bool> show { false };
            QImage view;
            TrackerViewPainter painter(view);
            const QVector<QPoint> references = { c.area.center(), c.area.topLeft() + QPoint(2, 1),
                c.area.bottomRight() + QPoint(40, 7) };
            for (QPoint ref : references) {
                float bestScore = -FLT_MAX, bestMean = -FLT_MAX;
                int bestX = 0, bestY = 0;
                for (int x = half + 1; x <= w - half - 1; ++x)
                    for (int y = half + 1; y <= h - half - 1; ++y) {
                        const float mean = m.boxMean(x, y);
                        const float score = weights.at(std::abs(c.area.left() + x - ref.x()),
                                                std::abs(c.area.top() + y - ref.y()))
                            * mean;
                        if (score > bestScore) {
                            bestScore = score;
                            bestMean = mean;
                            bestX = x;
                            bestY = y;
                        }
                    }
                const TrackRecord r = detector.detect(m, ref, show, painter);
                QCOMPARE(r.found, bestMean > threshold);
                QCOMPARE(r.confidence, bestMean);
                QCOMPARE(r.x, c.area.left() + bestX);
                QCOMPARE(r.y, c.area.top() + bestY);
            }
        }
    }

    // The single-fish scan done band by band during the model's update (rows skipped by their
    // bound, the box means kept only a band at a time) gives the record of the scan after the
    // update, bit for bit, and the whole map of box means is still there when asked for.
    void singleFishScanDuringUpdate()
    {
        QRandomGenerator random(7);
        const QSize frameSize(200, 150);
        const QRect area(5, 4, 180, 140);
        TrackingControls controls;
        std::atomic<bool> show { false };
        QImage view;
        TrackerViewPainter painter(view);
        for (float variance : { 0.01f, 0.0f, 0.3f }) {
            BackgroundModel during, after;
            during.reset(area, 5, 4);
            after.reset(area, 5, 4);
            SingleFishDetector scanning, plain;
            scanning.reset(area, variance, 20.0f);
            plain.reset(area, variance, 20.0f);
            ProximityWeights weights;
            weights.build(180, 140, variance);
            // Inside, at the area's corner, and outside it (no scan ahead: clamped weights).
            const QVector<QPoint> references
                = { area.center(), area.topLeft(), QPoint(area.right() + 30, area.top() - 9) };
            for (int frame = 0; frame < 9; ++frame) {
                QImage f(frameSize, QImage::Format_RGB888);
                for (int y = 0; y < f.height(); ++y)
                    for (int x = 0; x < f.width(); ++x) {
                        const int g = 120 + random.bounded(17);
                        f.setPixel(x, y, qRgb(g, g, g));
                    }
                // A dark fish, and from frame 5 a second one of the same darkness.
                for (int y = 0; y < 8; ++y)
                    for (int x = 0; x < 12; ++x) {
                        f.setPixel(30 + 13 * frame + x, 40 + 9 * frame + y, qRgb(20, 20, 20));
                        if (frame >= 5)
                            f.setPixel(150 + x, 20 + y, qRgb(20, 20, 20));
                    }
                const QPoint ref = references[frame % references.size()];
                scanning.beginFrame(during, ref);
                during.update(f, controls, [&](int yBegin, int yEnd, const float *rows) {
                    scanning.scanRows(during, yBegin, yEnd, rows);
                });
                after.update(f, controls);
                const TrackRecord a = scanning.detect(during, ref, show, painter);
                const TrackRecord b = plain.detect(after, ref, show, painter);
                QCOMPARE(a.x, b.x);
                QCOMPARE(a.y, b.y);
                QCOMPARE(a.found, b.found);
                QCOMPARE(a.confidence, b.confidence);
                QCOMPARE(a.movement, b.movement);
                // And both are the first highest score in scan order, every pixel scored.
                float bestScore = -FLT_MAX, bestMean = -FLT_MAX;
                int bestX = 0, bestY = 0;
                for (int x = 3; x <= 180 - 3; ++x)
                    for (int y = 3; y <= 140 - 3; ++y) {
                        const float mean = after.boxMean(x, y);
                        const float score = weights.at(std::abs(area.left() + x - ref.x()),
                                                std::abs(area.top() + y - ref.y()))
                            * mean;
                        if (score > bestScore)
                            bestScore = score, bestMean = mean, bestX = x, bestY = y;
                    }
                QCOMPARE(a.confidence, bestMean);
                if (a.found)
                    QCOMPARE(QPoint(a.x, a.y), area.topLeft() + QPoint(bestX, bestY));
                QVERIFY(
                    std::equal(during.boxMeans(), during.boxMeans() + 180 * 140, after.boxMeans()));
            }
        }
    }

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
        QCOMPARE(w.column(100000), w.column(99));

        // Variance 0: the fish's own position keeps weight 1, every other offset the floor.
        w.build(20, 10, 0.0f);
        QCOMPARE(w.at(0, 0), 1.0f);
        for (int x = 0; x < 20; ++x)
            for (int y = 0; y < 10; ++y)
                if (x || y)
                    QCOMPARE(w.at(x, y), 0.25f);
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

int runTrackingEngineTest(int argc, char **argv)
{
    TrackingEngineTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "TrackingEngineTest.moc"
