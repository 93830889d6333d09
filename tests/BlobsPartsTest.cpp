// The parts of the whole-video background method against plain twins and known shapes: the
// assignment solver against brute force, the median against a sort, the grey kernel against
// qGray, blob measures and the split of touching fish on drawn ellipses, and the automatic
// threshold on noise of a known spread.

#include "tracking/blobs/AssignmentSolver.h"
#include "tracking/blobs/BackgroundChoice.h"
#include "tracking/blobs/BackgroundEstimator.h"
#include "tracking/blobs/BlobFinder.h"
#include "tracking/blobs/BlobSplitter.h"
#include "tracking/blobs/ComponentLabeller.h"
#include "tracking/blobs/ForegroundMask.h"
#include "tracking/blobs/GreyPlane.h"
#include "tracking/blobs/IdentityMatcher.h"
#include "tracking/blobs/SmallBlobFilter.h"

#include <QPainter>
#include <QRandomGenerator>
#include <QTest>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace {

double totalCost(const std::vector<std::vector<double>> &costs, const std::vector<int> &columnOf)
{
    double sum = 0;
    for (size_t r = 0; r < columnOf.size(); ++r)
        if (columnOf[r] >= 0)
            sum += costs[r][size_t(columnOf[r])];
    return sum;
}

// Every way of giving min(rows, cols) rows distinct columns; the cheapest total.
double bruteForce(const std::vector<std::vector<double>> &costs)
{
    const int rows = int(costs.size()), cols = int(costs.front().size());
    double best = std::numeric_limits<double>::max();
    if (rows <= cols) {
        std::vector<int> columns(static_cast<size_t>(cols));
        std::iota(columns.begin(), columns.end(), 0);
        do {
            double sum = 0;
            for (int r = 0; r < rows; ++r)
                sum += costs[size_t(r)][size_t(columns[size_t(r)])];
            best = std::min(best, sum);
        } while (std::next_permutation(columns.begin(), columns.end()));
    } else {
        std::vector<int> rowsOrder(static_cast<size_t>(rows));
        std::iota(rowsOrder.begin(), rowsOrder.end(), 0);
        do {
            double sum = 0;
            for (int c = 0; c < cols; ++c)
                sum += costs[size_t(rowsOrder[size_t(c)])][size_t(c)];
            best = std::min(best, sum);
        } while (std::next_permutation(rowsOrder.begin(), rowsOrder.end()));
    }
    return best;
}

// A difference image (CV_8UC1) with filled ellipses of value 100 drawn anti-aliased.
cv::Mat ellipses(QSize size, const QVector<QPair<QPointF, double>> &centresAndAngles)
{
    QImage image(size, QImage::Format_Grayscale8);
    image.fill(0);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(100, 100, 100));
    for (const auto &e : centresAndAngles) {
        p.save();
        p.translate(e.first);
        p.rotate(e.second);
        p.drawEllipse(QPointF(0, 0), 10.0, 3.0);
        p.restore();
    }
    p.end();
    cv::Mat out(size.height(), size.width(), CV_8UC1);
    for (int y = 0; y < size.height(); ++y)
        std::copy_n(image.constScanLine(y), size.width(), out.ptr<uchar>(y));
    return out;
}

double distance(QPointF a, QPointF b)
{
    return std::hypot(a.x() - b.x(), a.y() - b.y());
}

} // namespace

class BlobsPartsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void assignmentMatchesBruteForce()
    {
        QRandomGenerator random(7);
        for (int round = 0; round < 400; ++round) {
            const int rows = 1 + int(random.bounded(6)), cols = 1 + int(random.bounded(6));
            // Small integer costs make ties common, where a wrong solver shows.
            std::vector<std::vector<double>> costs(
                static_cast<size_t>(rows), std::vector<double>(static_cast<size_t>(cols)));
            for (auto &row : costs)
                for (double &c : row)
                    c = round % 2 ? double(random.bounded(5)) : random.bounded(1000.0);
            const std::vector<int> columnOf = AssignmentSolver::solve(costs);
            QCOMPARE(int(columnOf.size()), rows);
            std::vector<int> used;
            for (int c : columnOf)
                if (c >= 0)
                    used.push_back(c);
            QCOMPARE(int(used.size()), std::min(rows, cols));
            std::sort(used.begin(), used.end());
            QVERIFY(std::adjacent_find(used.begin(), used.end()) == used.end());
            QVERIFY2(std::fabs(totalCost(costs, columnOf) - bruteForce(costs)) < 1e-6,
                qPrintable(QStringLiteral("round %1: %2 x %3").arg(round).arg(rows).arg(cols)));
        }
        QVERIFY(AssignmentSolver::solve({}).empty());
    }

    void medianAndGreyMatchTheirPlainTwins()
    {
        QRandomGenerator random(3);
        for (int count = 1; count <= 8; ++count) {
            std::vector<cv::Mat> planes;
            for (int k = 0; k < count; ++k) {
                cv::Mat m(5, 37, CV_8UC1);
                for (int i = 0; i < m.rows * m.cols; ++i)
                    m.data[i] = uchar(random.bounded(256));
                planes.push_back(m);
            }
            const cv::Mat median = BackgroundEstimator::median(planes);
            const int high = BackgroundEstimator::extremeRank(count, true);
            const int low = BackgroundEstimator::extremeRank(count, false);
            QCOMPARE(low, count - 1 - high);
            QVERIFY(high >= (count - 1) / 2 && high <= count - 1);
            const cv::Mat extreme = BackgroundEstimator::ranked(planes, high);
            // The masked median against the median itself, each way, at a threshold of 40.
            const cv::Mat darkMasked = BackgroundEstimator::masked(planes, median, true, 40);
            const cv::Mat brightMasked = BackgroundEstimator::masked(planes, median, false, 40);
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < 37; ++x) {
                    std::vector<int> v;
                    for (const cv::Mat &p : planes)
                        v.push_back(p.at<uchar>(y, x));
                    std::sort(v.begin(), v.end());
                    QCOMPARE(int(median.at<uchar>(y, x)), v[v.size() / 2]);
                    QCOMPARE(int(extreme.at<uchar>(y, x)), v[size_t(high)]);
                    const int m = v[v.size() / 2];
                    for (const bool dark : { true, false }) {
                        std::vector<int> kept;
                        for (int value : v)
                            if ((dark ? m - value : value - m) <= 40)
                                kept.push_back(value);
                        const cv::Mat &got = dark ? darkMasked : brightMasked;
                        QCOMPARE(int(got.at<uchar>(y, x)), kept[kept.size() / 2]);
                    }
                }
        }
        // The difference histogram against a plain count, over the whole plane and inside a
        // mask (odd width: the tail of each row).
        {
            cv::Mat d(9, 37, CV_8UC1), inside(9, 37, CV_8UC1);
            for (int i = 0; i < d.rows * d.cols; ++i) {
                d.data[i] = uchar(random.bounded(256) / (i % 3 + 1));
                inside.data[i] = uchar(random.bounded(2) * 255);
            }
            for (const cv::Mat &keep : { cv::Mat(), inside }) {
                ForegroundMask::Histogram fast {}, plain {};
                ForegroundMask::addToHistogram(d, keep, fast);
                ForegroundMask::addToHistogram(d, keep, fast); // adds to what is there
                for (int i = 0; i < d.rows * d.cols; ++i)
                    if (keep.empty() || keep.data[i])
                        plain[d.data[i]] += 2;
                QVERIFY(fast == plain);
            }
        }
        QVERIFY(BackgroundEstimator::median({}).empty());
        QVERIFY(BackgroundEstimator::masked({}, cv::Mat(), true, 10).empty());

        // The samples held: all those asked while they fit in the budget, then as many as
        // fit (4K frames, K = 1000: 129 of them, 1.07 GB), never none.
        const qint64 budget = BackgroundEstimator::sampleBudgetBytes;
        QCOMPARE(BackgroundEstimator::samplesWithin(50, 640, 480, budget), 50);
        QCOMPARE(BackgroundEstimator::samplesWithin(1000, 3840, 2160, budget), 129);
        QCOMPARE(BackgroundEstimator::samplesWithin(1000, 1 << 16, 1 << 16, budget), 1);
        QVERIFY(qint64(129) * 3840 * 2160 <= budget);

        // Odd width, so the rows are padded; each frame layout, read in place or converted.
        QImage rgb(37, 6, QImage::Format_RGB888);
        for (int y = 0; y < rgb.height(); ++y)
            for (int x = 0; x < rgb.width(); ++x)
                rgb.setPixel(
                    x, y, qRgb(random.bounded(256), random.bounded(256), random.bounded(256)));
        for (const QImage &frame : { rgb, rgb.convertToFormat(QImage::Format_RGB32),
                 rgb.convertToFormat(QImage::Format_ARGB32),
                 rgb.convertToFormat(QImage::Format_RGB555) }) {
            const cv::Mat grey = GreyPlane::of(frame);
            QCOMPARE(grey.cols, 37);
            QCOMPARE(grey.rows, 6);
            for (int y = 0; y < frame.height(); ++y)
                for (int x = 0; x < frame.width(); ++x) {
                    const QRgb p = frame.pixel(x, y);
                    const double plain = 0.299 * qRed(p) + 0.587 * qGreen(p) + 0.114 * qBlue(p);
                    QVERIFY(std::fabs(grey.at<uchar>(y, x) - plain) <= 0.51);
                }
        }
        QVERIFY(GreyPlane::of(QImage()).empty());
    }

    // Noisy frames, a threshold asked for below the automatic one, and a faint animal resting
    // in 80% of them: the masked background's first pass keeps it, as the median does, and
    // only the extreme background shows both animals. auto takes it and says why.
    void autoTakesTheExtremeWhereOnlyItShowsEveryAnimal()
    {
        cv::RNG rng(7);
        std::vector<cv::Mat> samples;
        const cv::Point rest(60, 80);
        for (int k = 0; k < 20; ++k) {
            cv::Mat frame(120, 120, CV_8UC1);
            rng.fill(frame, cv::RNG::UNIFORM, 192, 209);
            frame(cv::Rect(10 + 5 * k, 20, 10, 4)).setTo(50); // swims
            const cv::Point faint = k % 5 ? rest : cv::Point(20 + 4 * k, 100);
            frame(cv::Rect(faint, cv::Size(10, 4))).setTo(160);
            samples.push_back(frame);
        }
        ArenaRegion region;
        region.rect = QRect(0, 0, 120, 120);
        region.fishCount = 2;
        BlobSettings asked;
        asked.threshold = 30;
        const BackgroundChoice choice = BackgroundChoice::make(
            BackgroundMode::Auto, samples, { region }, ForegroundMask::Rule::Dark, asked);
        QVERIFY(BackgroundEstimator::median(samples).at<uchar>(rest.y + 1, rest.x + 2) == 160);
        QCOMPARE(choice.regionKinds, QStringList { "extreme" });
        QVERIFY(choice.background.at<uchar>(rest.y + 1, rest.x + 2) > 190);
        QVERIFY2(choice.describe(BackgroundMode::Auto)
                     .startsWith("background=auto:extreme "
                                 "background-why=only-extreme-shows-every-animal"),
            qPrintable(choice.describe(BackgroundMode::Auto)));
    }

    void labellerMatchesOpenCv()
    {
        // Random masks of many shapes and densities (specks to solid), including the edges
        // of the word-at-a-time scan; every component must match cv::connectedComponents:
        // the same numbering, areas, boxes and pixels.
        QRandomGenerator random(11);
        ComponentLabeller labeller;
        for (int trial = 0; trial < 400; ++trial) {
            const int rows = 1 + random.bounded(trial < 40 ? 3 : 40);
            const int cols = 1 + random.bounded(trial % 3 == 0 ? 20 : 90);
            const int density = random.bounded(101); // percent of pixels set
            cv::Mat parent(rows + 2, cols + 5, CV_8UC1, cv::Scalar(7));
            cv::Mat mask = parent(cv::Rect(3, 1, cols, rows)); // padded rows, as an ROI
            for (int y = 0; y < rows; ++y)
                for (int x = 0; x < cols; ++x)
                    mask.at<uchar>(y, x) = random.bounded(100) < density ? 255 : 0;
            cv::Mat labels, stats, centroids;
            const int count
                = cv::connectedComponentsWithStats(mask, labels, stats, centroids, 8, CV_32S);
            labeller.label(mask);
            const auto &components = labeller.components();
            QCOMPARE(int(components.size()), count - 1);
            cv::Mat mine(rows, cols, CV_32S, cv::Scalar(0));
            for (size_t k = 0; k < components.size(); ++k) {
                const ComponentLabeller::Component &c = components[k];
                const int label = int(k) + 1;
                QCOMPARE(c.area, stats.at<int>(label, cv::CC_STAT_AREA));
                QCOMPARE(c.left, stats.at<int>(label, cv::CC_STAT_LEFT));
                QCOMPARE(c.top, stats.at<int>(label, cv::CC_STAT_TOP));
                QCOMPARE(c.right - c.left + 1, stats.at<int>(label, cv::CC_STAT_WIDTH));
                QCOMPARE(c.bottom - c.top + 1, stats.at<int>(label, cv::CC_STAT_HEIGHT));
                for (int r = c.firstRun; r < c.firstRun + c.runCount; ++r) {
                    const ComponentLabeller::Run &run = labeller.runsOf()[size_t(r)];
                    for (int x = run.begin; x < run.end; ++x)
                        mine.at<int>(run.y, x) = label;
                }
            }
            QCOMPARE(cv::countNonZero(mine != labels), 0);
        }
    }

    void blobsAreMeasuredAndSplit()
    {
        // One fish at a sub-pixel position, 30 degrees; the frame origin is offset as an
        // arena's would be.
        const QPointF centre(40.3, 27.6);
        cv::Mat d = ellipses(QSize(80, 60), { { centre, 30.0 } });
        cv::Mat mask;
        ForegroundMask::threshold(d, 0, mask);
        BlobFinder finder;
        std::vector<Blob> blobs = finder.find(d, mask, QPoint(100, 200), 4, 1000);
        QCOMPARE(int(blobs.size()), 1);
        // The painter's (40.3, 27.6) is the middle of pixel (39.8, 27.1): a pixel's index names
        // its centre.
        const QPointF pixel = centre - QPointF(0.5, 0.5);
        const double error = distance(blobs[0].centre, pixel + QPointF(100, 200));
        QVERIFY2(error < 0.1, qPrintable(QString::number(error)));
        QVERIFY(std::fabs(blobs[0].angleDegrees - 30.0) < 2.0);
        QVERIFY(std::fabs(blobs[0].length - 20.0) < 2.0);
        QVERIFY(blobs[0].area > 80 && blobs[0].area < 130); // pi * 10 * 3 = 94, and the rim
        QVERIFY(finder.find(d, mask, QPoint(), 200, 1000).empty());
        QVERIFY(finder.find(d, mask, QPoint(), 4, 50).empty());

        // Two fish side by side, touching along their length, split from their predicted
        // positions: each pixel goes to the nearer. Two fish end to end, split from guesses
        // along the region's axis: k-means moves the guesses onto the bodies. (k-means from
        // the first case's seeds would cut the compact pair into a left and a right half.)
        const QPointF half(0.5, 0.5); // painter coordinates to pixel indices
        struct Case
        {
            QPointF a, b;
            QVector<QPointF> seeds;
            bool refine;
        };
        for (const Case &c : { Case { { 40, 28 }, { 40, 33 }, { { 39, 27 }, { 40, 33 } }, false },
                 Case { { 30, 30 }, { 49, 31 }, { { 36, 30 }, { 44, 30 } }, true } }) {
            d = ellipses(QSize(80, 60), { { c.a, 0.0 }, { c.b, 0.0 } });
            ForegroundMask::threshold(d, 0, mask);
            blobs = finder.find(d, mask, QPoint(), 4, 1000);
            QCOMPARE(int(blobs.size()), 1);
            std::vector<cv::Point2f> points;
            std::vector<float> weights;
            finder.pixelsOf(blobs[0], d, QPoint(), &points, &weights);
            QCOMPARE(int(points.size()), int(blobs[0].area));
            const std::vector<Blob> parts = BlobSplitter::split(
                points, weights, std::vector<QPointF>(c.seeds.begin(), c.seeds.end()), c.refine);
            QCOMPARE(int(parts.size()), 2);
            QVERIFY(parts[0].split && parts[1].split);
            const bool inOrder = distance(parts[0].centre, c.a) < distance(parts[0].centre, c.b);
            QVERIFY2(distance(parts[inOrder ? 0 : 1].centre, c.a - half) < 1.0,
                c.refine ? "k-means" : "nearest");
            QVERIFY2(distance(parts[inOrder ? 1 : 0].centre, c.b - half) < 1.0,
                c.refine ? "k-means" : "nearest");
        }
    }

    void automaticThresholdSitsBetweenNoiseAndFish()
    {
        // Normal noise of spread 3 on every pixel, fish pixels 60 above it, for each rule.
        QRandomGenerator random(5);
        for (auto rule : { ForegroundMask::Rule::Absolute, ForegroundMask::Rule::Dark }) {
            std::vector<cv::Mat> samples;
            for (int k = 0; k < 5; ++k) {
                cv::Mat d(60, 80, CV_8UC1);
                for (int i = 0; i < d.rows * d.cols; ++i) {
                    const double u1 = random.generateDouble() + 1e-12, u2 = random.generateDouble();
                    double n = 3.0 * std::sqrt(-2 * std::log(u1)) * std::cos(2 * M_PI * u2);
                    if (rule == ForegroundMask::Rule::Absolute)
                        n = std::fabs(n);
                    d.data[i] = uchar(std::clamp(int(std::lround(n)), 0, 255));
                }
                d(cv::Rect(10 + 10 * k, 20, 12, 5)) += 60;
                samples.push_back(d);
            }
            const int t = ForegroundMask::automaticThreshold(samples, rule, 6);
            QVERIFY2(t >= 14 && t < 60, qPrintable(QString::number(t)));
        }
        QCOMPARE(ForegroundMask::automaticThreshold({}, ForegroundMask::Rule::Bright, 6), 6);
    }

    // A speck is dropped only while there are more blobs than animals, smallest first, and
    // only under half a body.
    void specksAreDroppedOnlyWhenTooMany()
    {
        struct Case
        {
            std::vector<double> areas;
            int animals;
            std::vector<double> kept;
        };
        const QList<Case> cases = {
            { { 60, 10 }, 1, { 60 } },
            { { 10, 60, 12 }, 1, { 60 } },
            { { 10, 60, 12 }, 2, { 60, 12 } },
            { { 10 }, 1, { 10 } }, // alone: perhaps a fish half hidden
            { { 40, 60 }, 1, { 40, 60 } }, // two bodies' worth: for the matcher to judge
            { { 60, 29.9, 30 }, 1, { 60, 30 } },
        };
        for (const Case &c : cases) {
            std::vector<Blob> blobs;
            for (double a : c.areas) {
                Blob b;
                b.area = a;
                blobs.push_back(b);
            }
            SmallBlobFilter::drop(blobs, c.animals, 60.0);
            std::vector<double> kept;
            for (const Blob &b : blobs)
                kept.push_back(b.area);
            QCOMPARE(kept, c.kept);
        }
    }

    void matcherKeepsIdentitiesWithinTheGate()
    {
        auto blobAt = [](double x, double y) {
            Blob b;
            b.centre = QPointF(x, y);
            b.area = 50;
            return b;
        };
        IdentityMatcher matcher;
        matcher.reset(3, 5.0, 4.0);
        // First frame: two fish found (the larger blob first), a piece of fish 1 nearby is
        // not taken for a new fish.
        Blob big = blobAt(10, 10);
        big.area = 80;
        std::vector<int> m = matcher.match({ blobAt(50, 10), big, blobAt(11, 12) });
        QCOMPARE(m, std::vector<int>({ 1, 0, -1 }));
        // Both move 3 px right; the order of the blobs does not matter.
        m = matcher.match({ blobAt(13, 10), blobAt(53, 10) });
        QCOMPARE(m, std::vector<int>({ 0, 1, -1 }));
        QCOMPARE(matcher.predicted(0), QPointF(16, 10));
        // A blob beyond the gate is not fish 0's: fish 0 keeps its position, not found, and
        // the fish not yet found takes the blob.
        m = matcher.match({ blobAt(30, 10), blobAt(56, 10) });
        QCOMPARE(m, std::vector<int>({ -1, 1, 0 }));
        QCOMPARE(matcher.fish()[0].position, QPointF(13, 10));
        // Two frames missing widen its reach: it comes back.
        m = matcher.match({ blobAt(23, 10), blobAt(59, 10), blobAt(31, 13) });
        QCOMPARE(m, std::vector<int>({ 0, 1, 2 }));
        // Two blobs closer than a body length whose areas add up to one body are pieces of one
        // fish's body: one fish is found on them (the larger), the other held where it was.
        Blob head = blobAt(27, 10), tail = blobAt(33, 14);
        head.area = 45;
        tail.area = 30;
        m = matcher.match({ head, blobAt(62, 10), tail });
        QCOMPARE(m, std::vector<int>({ 0, 1, -1 }));
        QCOMPARE(matcher.fish()[2].position, QPointF(31, 13));
    }
};

int runBlobsPartsTest(int argc, char **argv)
{
    BlobsPartsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "BlobsPartsTest.moc"
