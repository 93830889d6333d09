// The background model: averaging, the difference rules, grey levels and frame bounds, the
// summed table against direct means, and the single-fish scan done during the update.

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

class TrackingBackgroundModelTest : public QObject
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
                during.update(
                    f, controls, [&](const BoxMeanRows &rows) { scanning.scanRows(during, rows); });
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
};

int runTrackingBackgroundModelTest(int argc, char **argv)
{
    TrackingBackgroundModelTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "TrackingBackgroundModelTest.moc"
