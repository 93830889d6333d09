// The row kernels: every table this processor runs gives the plain table's bits, kernel by
// kernel, on random rows of every width from 1 to 70 and some wider odd ones, for every
// difference rule and every filter size the width allows; and a whole engine on either table
// keeps the same planes and finds the same fish.

#include "support/TrackingTestSupport.h"

#include "tracking/TrackerViewPainter.h"
#include "tracking/classic/BackgroundModel.h"
#include "tracking/classic/CandidateScan.h"
#include "tracking/classic/MultiFishDetector.h"
#include "tracking/classic/SingleFishDetector.h"
#include "tracking/classic/kernels/ColumnOrderRules.h"
#include "tracking/classic/kernels/RowKernels.h"

#include <QRandomGenerator>
#include <QTest>

#include <cstring>
#include <vector>

namespace {

// The tables under test and the one the engine had before, put back at the end.
class KernelChoice
{
public:
    KernelChoice()
        : before(RowKernels::active())
    {
    }
    ~KernelChoice() { RowKernels::select(before); }

private:
    const RowKernels &before;
};

bool sameBits(const std::vector<float> &a, const std::vector<float> &b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

bool sameBits(float a, float b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Values of d and of box means: small integers (so that ties and exact zeros come up), their
// negatives, and fractions spread over the grey range.
float randomValue(QRandomGenerator &random)
{
    switch (random.bounded(4)) {
    case 0:
        return float(random.bounded(4));
    case 1:
        return -float(random.bounded(4));
    default:
        return float(random.generateDouble() * 510.0 - 255.0);
    }
}

std::vector<float> randomValues(QRandomGenerator &random, size_t count)
{
    std::vector<float> v(count);
    for (float &x : v)
        x = randomValue(random);
    return v;
}

std::vector<uchar> randomBytes(QRandomGenerator &random, size_t count)
{
    std::vector<uchar> v(count);
    for (uchar &b : v)
        b = uchar(random.bounded(256));
    return v;
}

const DifferenceRule rules[] = { DifferenceRule::Keep, DifferenceRule::Unsigned,
    DifferenceRule::Bright, DifferenceRule::Dark };

} // namespace

class TrackingKernelsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each kernel of each fast table against the plain one, bit for bit. The buffers are
    // exactly as long as the kernels may read, so that the sanitizer builds see any read past
    // a row's end.
    void fastKernelsGivePlainBits()
    {
        const RowKernels &plain = RowKernels::plain();
        const std::vector<const RowKernels *> tables = RowKernels::available();
        QVERIFY(!tables.empty() && tables.front() == &plain);
        qInfo("kernel tables: %d (active: %s)", int(tables.size()), RowKernels::active().name);
        std::vector<int> widths;
        for (int w = 1; w <= 70; ++w)
            widths.push_back(w);
        for (int w : { 71, 97, 131, 255, 333, 641 })
            widths.push_back(w);
        QRandomGenerator random(15);
        for (const RowKernels *fast : tables) {
            if (fast == &plain)
                continue;
            for (int w : widths) {
                const QString where = QStringLiteral("%1, width %2").arg(fast->name).arg(w);
                const std::vector<uchar> rgb = randomBytes(random, size_t(3 * w));
                std::vector<QRgb> xrgb(static_cast<size_t>(w));
                for (QRgb &p : xrgb)
                    p = random.generate();
                std::vector<float> greyPlain(static_cast<size_t>(w)),
                    greyFast(static_cast<size_t>(w));
                plain.greyFromRgb(rgb.data(), greyPlain.data(), w);
                fast->greyFromRgb(rgb.data(), greyFast.data(), w);
                QVERIFY2(sameBits(greyPlain, greyFast), qPrintable("grey from RGB, " + where));
                plain.greyFromXrgb(xrgb.data(), greyPlain.data(), w);
                fast->greyFromXrgb(xrgb.data(), greyFast.data(), w);
                QVERIFY2(sameBits(greyPlain, greyFast), qPrintable("grey from RGB32, " + where));

                // The background after 1 to 4 frames: the weights of n = 1 ... 4.
                for (DifferenceRule rule : rules) {
                    const int n = 1 + random.bounded(4);
                    const float alpha = float(1.0 / n), beta = float(1.0 - 1.0 / n);
                    std::vector<float> bgPlain(static_cast<size_t>(w));
                    for (float &b : bgPlain)
                        b = float(random.generateDouble() * 255.0);
                    std::vector<float> bgFast = bgPlain, dPlain(static_cast<size_t>(w)),
                                       dFast(static_cast<size_t>(w));
                    plain.updateBackground(
                        greyPlain.data(), bgPlain.data(), dPlain.data(), w, alpha, beta, rule);
                    fast->updateBackground(
                        greyPlain.data(), bgFast.data(), dFast.data(), w, alpha, beta, rule);
                    QVERIFY2(sameBits(bgPlain, bgFast) && sameBits(dPlain, dFast),
                        qPrintable(QStringLiteral("background, rule %1, ").arg(int(rule)) + where));
                    plain.updateBackgroundFromRgb(
                        rgb.data(), bgPlain.data(), dPlain.data(), w, alpha, beta, rule);
                    fast->updateBackgroundFromRgb(
                        rgb.data(), bgFast.data(), dFast.data(), w, alpha, beta, rule);
                    QVERIFY2(sameBits(bgPlain, bgFast) && sameBits(dPlain, dFast),
                        qPrintable(QStringLiteral("background from RGB, rule %1, ").arg(int(rule))
                            + where));
                    std::vector<float> vPlain = randomValues(random, size_t(w)), vFast = vPlain;
                    plain.applyDifferenceRule(vPlain.data(), w, rule);
                    fast->applyDifferenceRule(vFast.data(), w, rule);
                    QVERIFY2(sameBits(vPlain, vFast),
                        qPrintable(QStringLiteral("rule %1, ").arg(int(rule)) + where));
                }

                // A summed table of up to 40 rows (whole bands of 16 and what is left over),
                // made in one go and in two parts.
                const int h = 1 + random.bounded(40);
                std::vector<float> tablePlain = randomValues(random, size_t(w) * h);
                for (float &v : tablePlain)
                    v = std::abs(v);
                std::vector<float> tableFast = tablePlain;
                const int split = random.bounded(h + 1);
                plain.summedRows(tablePlain.data(), w, 0, h);
                fast->summedRows(tableFast.data(), w, 0, split);
                fast->summedRows(tableFast.data(), w, split, h);
                QVERIFY2(sameBits(tablePlain, tableFast), qPrintable("summed rows, " + where));

                // Box means for every filter size the width and height allow.
                for (int half = 0; 2 * half + 2 <= w && 2 * half + 2 <= h; ++half) {
                    const float area = float(2 * half + 1) * float(2 * half + 1);
                    const int y = half + 1 + random.bounded(h - 2 * half - 1);
                    const float *bottom = tablePlain.data() + size_t(y + half) * w;
                    const float *top = tablePlain.data() + size_t(y - half - 1) * w;
                    std::vector<float> meanPlain(size_t(w), 0.0f), meanFast(size_t(w), 0.0f);
                    const float highestPlain
                        = plain.boxMeanRow(bottom, top, meanPlain.data(), half, w, area);
                    const float highestFast
                        = fast->boxMeanRow(bottom, top, meanFast.data(), half, w, area);
                    QVERIFY2(sameBits(meanPlain, meanFast),
                        qPrintable(
                            QStringLiteral("box means, side %1, ").arg(2 * half + 1) + where));
                    // The highest mean each returns is the row's, as the scan would find it,
                    // and so is the highest window sum over the area.
                    const float highest = plain.highestValue(meanPlain.data(), half + 1, w - half);
                    const float sumPlain = plain.highestBoxSum(bottom, top, half, w);
                    const float sumFast = fast->highestBoxSum(bottom, top, half, w);
                    QVERIFY2(sameBits(highestPlain, highest) && sameBits(highestFast, highest)
                            && sameBits(sumPlain, sumFast)
                            && (w < 2 * half + 2 || sameBits(sumPlain / area, highest)),
                        qPrintable(QStringLiteral("highest box mean, side %1, ").arg(2 * half + 1)
                            + where));
                }

                // Scores over every range of a row of this width (a sample of them when wide).
                const std::vector<float> means = randomValues(random, size_t(w));
                std::vector<float> weights(static_cast<size_t>(w));
                for (float &v : weights)
                    v = float(0.25 + 0.75 * random.generateDouble());
                for (int trial = 0; trial < 40; ++trial) {
                    const int begin = random.bounded(w + 1);
                    const int end = begin + random.bounded(w - begin + 1);
                    QVERIFY2(sameBits(plain.highestScore(means.data(), weights.data(), begin, end),
                                 fast->highestScore(means.data(), weights.data(), begin, end)),
                        qPrintable(
                            QStringLiteral("score of %1 ... %2, ").arg(begin).arg(end) + where));
                    QVERIFY2(sameBits(plain.highestValue(means.data(), begin, end),
                                 fast->highestValue(means.data(), begin, end)),
                        qPrintable(
                            QStringLiteral("highest of %1 ... %2, ").arg(begin).arg(end) + where));
                }

                // Local maxima of the middle row of a three-row map with many ties, for every
                // filter size's column range and a few thresholds.
                if (w >= 3) {
                    std::vector<float> map(size_t(3 * w));
                    for (float &v : map)
                        v = float(random.bounded(6));
                    const float *row = map.data() + w;
                    for (int half = 0; 2 * half + 4 <= w; ++half)
                        for (float threshold : { -1.0f, 0.0f, 2.0f, 4.5f }) {
                            std::vector<int> plainColumns(size_t(w), -1),
                                fastColumns(size_t(w), -1);
                            const int xBegin = half + 2, xEnd = w - half - 2;
                            const int count = plain.localMaxima(
                                row, w, xBegin, xEnd, threshold, plainColumns.data());
                            QCOMPARE(fast->localMaxima(
                                         row, w, xBegin, xEnd, threshold, fastColumns.data()),
                                count);
                            QVERIFY2(plainColumns == fastColumns,
                                qPrintable(
                                    QStringLiteral("local maxima, threshold %1, ").arg(threshold)
                                    + where));
                        }
                }
            }
        }
    }

    // A model and the single-fish detector run with each table over frames of an odd size,
    // RGB888 and RGB32, in each rule: the same planes, box means, candidates and records.
    void enginesOnEveryTableAgree()
    {
        const KernelChoice restore;
        QRandomGenerator random(3);
        const QSize size(97, 61);
        QVector<QImage> frames;
        for (int i = 0; i < 5; ++i) {
            QImage f(size, QImage::Format_RGB888);
            for (int y = 0; y < size.height(); ++y)
                for (int x = 0; x < size.width(); ++x)
                    f.setPixel(
                        x, y, qRgb(random.bounded(256), random.bounded(256), random.bounded(256)));
            frames.append(i % 2 ? f : f.convertToFormat(QImage::Format_RGB32));
        }
        struct Outcome
        {
            std::vector<float> background, summed, means;
            QVector<TrackRecord> records;
            std::vector<QPoint> candidates;
            QString scanDisagrees; // where the candidates found during the update differ
        };
        auto run = [&](const RowKernels &kernels, int side, const QRect &area) {
            RowKernels::select(kernels);
            TrackingControls controls;
            BackgroundModel model;
            model.reset(area, side, 3);
            SingleFishDetector single;
            single.reset(area, 0.01f, 1.0f);
            std::atomic<bool> show { false };
            QImage view;
            TrackerViewPainter painter(view);
            Outcome o;
            QPoint reference = area.center();
            for (int i = 0; i < frames.size(); ++i) {
                controls.signedDifference = i % 3 != 0;
                controls.brightObject = i % 2 == 0;
                single.beginFrame(model, reference);
                // Multi-fish candidates found band by band, at thresholds that pass over no
                // row, some rows and most rows.
                const float limits[] = { 1.0f, 45.0f, 70.0f };
                CandidateScan scans[3];
                for (int k = 0; k < 3; ++k)
                    scans[k].begin(
                        area.width(), area.height(), (side - 1) / 2, area.topLeft(), limits[k]);
                model.update(frames[i], controls, [&](const BoxMeanRows &rows) {
                    single.scanRows(model, rows);
                    for (CandidateScan &scan : scans)
                        scan.addRows(rows);
                });
                o.records.append(single.detect(model, reference, show, painter));
                reference = QPoint(o.records.last().x, o.records.last().y);
                for (int k = 0; k < 3; ++k) {
                    const std::vector<MultiFishDetector::Candidate> whole
                        = MultiFishDetector::findCandidates(model.boxMeans(), model.width(),
                            model.height(), model.halfWidth(), area.topLeft(), limits[k]);
                    const bool complete = scans[k].complete();
                    const std::vector<FishCandidate> streamed = scans[k].takeCandidates();
                    bool same = complete && streamed.size() == whole.size();
                    for (size_t c = 0; same && c < whole.size(); ++c)
                        same = streamed[c].position == whole[c].position
                            && streamed[c].value == whole[c].value;
                    if (!same && o.scanDisagrees.isEmpty())
                        o.scanDisagrees = QStringLiteral("frame %1, threshold %2: %3 of %4")
                                              .arg(i)
                                              .arg(limits[k])
                                              .arg(streamed.size())
                                              .arg(whole.size());
                }
                for (const MultiFishDetector::Candidate &c :
                    MultiFishDetector::findCandidates(model.boxMeans(), model.width(),
                        model.height(), model.halfWidth(), area.topLeft(), 1.0f))
                    o.candidates.push_back(c.position);
            }
            o.background = model.backgroundPlane();
            o.summed = model.summedTable();
            o.means.assign(
                model.boxMeans(), model.boxMeans() + size_t(area.width()) * area.height());
            return o;
        };
        for (const RowKernels *fast : RowKernels::available()) {
            for (int side : { 1, 3, 7 }) {
                for (const QRect &area : { QRect(0, 0, 97, 61), QRect(-3, 2, 90, 55) }) {
                    const Outcome a = run(RowKernels::plain(), side, area);
                    const Outcome b = run(*fast, side, area);
                    const QString where = QStringLiteral("%1, side %2, area x %3")
                                              .arg(fast->name)
                                              .arg(side)
                                              .arg(area.x());
                    QVERIFY2(sameBits(a.background, b.background), qPrintable(where));
                    QVERIFY2(sameBits(a.summed, b.summed), qPrintable(where));
                    QVERIFY2(sameBits(a.means, b.means), qPrintable(where));
                    QVERIFY2(a.candidates == b.candidates, qPrintable(where));
                    QVERIFY2(a.scanDisagrees.isEmpty(),
                        qPrintable(where + ", plain: " + a.scanDisagrees));
                    QVERIFY2(b.scanDisagrees.isEmpty(), qPrintable(where + ", " + b.scanDisagrees));
                    QCOMPARE(a.records.size(), b.records.size());
                    for (int i = 0; i < a.records.size(); ++i) {
                        QCOMPARE(a.records[i].x, b.records[i].x);
                        QCOMPARE(a.records[i].y, b.records[i].y);
                        QVERIFY(sameBits(a.records[i].confidence, b.records[i].confidence));
                    }
                }
            }
        }
    }

    // Rules given in column order and applied row by row: every pixel gets its run's rule, as
    // when the plane is walked pixel by pixel in column order.
    void columnOrderRulesReachEveryPixelOnce()
    {
        QRandomGenerator random(5);
        for (int trial = 0; trial < 300; ++trial) {
            const int w = 1 + random.bounded(40), h = 1 + random.bounded(40);
            const int count = w * h;
            std::vector<ColumnOrderRules::Run> runs { { 0, rules[random.bounded(4)] } };
            const int changes = random.bounded(6);
            for (int i = 0; i < changes; ++i) {
                const int begin = runs.back().begin + 1 + random.bounded(count);
                if (begin < count)
                    runs.push_back({ begin, rules[random.bounded(4)] });
            }
            const std::vector<float> d = randomValues(random, size_t(count));
            std::vector<float> expected = d;
            size_t run = 0;
            for (int k = 0; k < count; ++k) {
                while (run + 1 < runs.size() && runs[run + 1].begin <= k)
                    ++run;
                float &cell = expected[size_t(k % h) * w + k / h];
                RowKernels::plain().applyDifferenceRule(&cell, 1, runs[run].rule);
            }
            for (const RowKernels *kernels : RowKernels::available()) {
                std::vector<float> plane = d;
                ColumnOrderRules::apply(*kernels, runs, plane.data(), w, h);
                QVERIFY2(sameBits(plane, expected),
                    qPrintable(QStringLiteral("%1: %2 x %3, %4 runs")
                                   .arg(kernels->name)
                                   .arg(w)
                                   .arg(h)
                                   .arg(runs.size())));
            }
        }
    }
};

int runTrackingKernelsTest(int argc, char **argv)
{
    TrackingKernelsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "TrackingKernelsTest.moc"
