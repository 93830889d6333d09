// The whole-video background method on synthetic videos against their ground truth: a fish
// resting for the first 100 frames, 20 fish, two fish crossing and touching, bright fish under
// noise, blur and uneven light. Then its data files in every reader, pondwatch-cli track
// --method blobs with its options, and the classic method's files against the bytes written
// before detection methods had an interface.

#include "TrackingTestSupport.h"
#include "support/TestUtils.h"
#include "support/VideoFixtures.h"

#include "analysis/DataFileHeader.h"
#include "analysis/SampleCollector.h"
#include "tools/AnnotationRows.h"
#include "tools/StimulusEventAnalysis.h"
#include "tracking/TrackingDataFile.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>
#include <QtMath>

#include <cmath>

using namespace trackingtest;

namespace {

using Scene = QVector<QVector<fixtures::FishSpec>>;

fixtures::FishSpec fishAt(QPointF centre, QPointF velocity, bool dark = true)
{
    fixtures::FishSpec f;
    f.center = centre;
    f.dark = dark;
    if (velocity.manhattanLength() > 0)
        f.angleDegrees = qRadiansToDegrees(std::atan2(velocity.y(), velocity.x()));
    return f;
}

// Rests at (60, 60) for frames 0 to 99, then swims a loop for 140 frames.
Scene restingFish()
{
    Scene scene;
    for (int i = 0; i < 240; ++i) {
        const double t = std::max(0, i - 100) * 0.045;
        const QPointF p(60 + 60 * std::sin(t), 60 + 40 * (1 - std::cos(t)));
        const QPointF v(60 * std::cos(t), 40 * std::sin(t));
        fixtures::FishSpec f = fishAt(p, v);
        scene << QVector<fixtures::FishSpec> { f };
    }
    return scene;
}

// 20 fish, each circling in its own cell of a 5 x 4 grid, about 1.2 pixels a frame.
Scene school(int frames)
{
    Scene scene;
    for (int i = 0; i < frames; ++i) {
        QVector<fixtures::FishSpec> fish;
        for (int k = 0; k < 20; ++k) {
            const QPointF cell(32 + 64 * (k % 5), 30 + 60 * (k / 5));
            const double a = 0.12 * i * (k % 2 ? 1 : -1) + 0.7 * k;
            const QPointF p = cell + QPointF(10 * std::cos(a), 10 * std::sin(a));
            const QPointF v = QPointF(-std::sin(a), std::cos(a)) * (k % 2 ? 1 : -1);
            fish << fishAt(p, v);
        }
        scene << fish;
    }
    return scene;
}

// Two fish on lanes 5 pixels apart swimming towards each other: they touch, lie side by side
// and part again.
Scene crossing()
{
    Scene scene;
    for (int i = 0; i < 90; ++i)
        scene << QVector<fixtures::FishSpec> { fishAt(QPointF(40 + 2 * i, 86), QPointF(1, 0)),
            fishAt(QPointF(218 - 2 * i, 91), QPointF(-1, 0)) };
    return scene;
}

// Three bright fish swimming back and forth in lanes.
Scene brightLanes()
{
    Scene scene;
    for (int i = 0; i < 90; ++i) {
        QVector<fixtures::FishSpec> fish;
        for (int k = 0; k < 3; ++k) {
            const double w = 0.05 + 0.01 * k, phase = 1.3 * k;
            fish << fishAt(QPointF(120 + 80 * std::sin(w * i + phase), 40 + 50 * k),
                QPointF(std::cos(w * i + phase), 0), false);
        }
        scene << fish;
    }
    return scene;
}

// The scene darkened, lit from one side, blurred and noisy.
QImage hardPicture(const QImage &scene, int index)
{
    const int w = scene.width(), h = scene.height();
    QImage lit(scene.size(), QImage::Format_RGB888);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            lit.setPixel(x, y, qRgb(0, 0, 0));
    QVector<int> grey(w * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            grey[y * w + x] = int(qGray(scene.pixel(x, y)) * 0.55 + 20 + 60.0 * x / w);
    QRandomGenerator random(quint32(1000 + index));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int sum = 0, n = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    if (x + dx >= 0 && x + dx < w && y + dy >= 0 && y + dy < h) {
                        sum += grey[(y + dy) * w + x + dx];
                        ++n;
                    }
            const int v = std::clamp(sum / n + int(random.bounded(21)) - 10, 0, 255);
            lit.setPixel(x, y, qRgb(v, v, v));
        }
    return lit;
}

bool writeScene(const QString &path, const Scene &scene, QSize size, quint32 seed,
    fixtures::VideoFormat format = fixtures::VideoFormat::LosslessAvi, bool hard = false)
{
    fixtures::VideoOptions options;
    options.format = format;
    options.size = size;
    options.frameCount = int(scene.size());
    QString error;
    const bool ok = fixtures::writeVideo(
        path, options,
        [&](int i) {
            const QImage picture = fixtures::drawScene(size, scene[i], seed);
            return hard ? hardPicture(picture, i) : picture;
        },
        &error);
    if (!ok)
        qWarning("%s", qPrintable(error));
    return ok;
}

double distance(QPointF a, QPointF b)
{
    return std::hypot(a.x() - b.x(), a.y() - b.y());
}

// The engine's run in this process over a real decoder, opened as the window opens a video.
struct EngineRun
{
    QVideoDecoder decoder;
    TestHost host;
    VideoTracker tracker { &host };
    qint64 shownFrame = -1;

    bool run(const QString &video, int fish, const std::function<void(TestHost &)> &set = {})
    {
        host.decoder = &decoder;
        host.videoPath = video;
        if (!decoder.open(video) || !decoder.seekNextFrame() || !decoder.copyFrame(host.image))
            return false;
        shownFrame = decoder.frameNumber();
        host.setArea(QRect(QPoint(0, 0), host.image.size()));
        host.controls.detectionMethod = int(DetectionKind::Blobs);
        host.controls.fishCount = fish;
        if (set)
            set(host);
        tracker.start();
        return tracker.wait(120000) && tracker.lastWriteError().isEmpty();
    }
};

// Where a fish drawn at `centre` lies in pixel indices: the painter's pixel (x, y) covers
// x ... x + 1, and the tracker names a pixel by its index.
QPointF truth(const fixtures::FishSpec &fish)
{
    return fish.center - QPointF(0.5, 0.5);
}

// Recall, mean error and identity switches of a run against the truth, over the frames
// `counted` accepts. Each fish index answers for the true fish nearest to its first counted
// position found; a switch is a counted frame where its nearest true fish changes.
struct Score
{
    double recall = 0;
    double meanError = 0;
    int switches = 0;
    bool oneToOne = true;
    QString text() const
    {
        return QStringLiteral("recall %1, mean error %2 px, %3 switches%4")
            .arg(recall)
            .arg(meanError)
            .arg(switches)
            .arg(oneToOne ? "" : ", two indices on one fish");
    }
};

Score score(const QVector<TrackRecord> &records, const Scene &scene,
    const std::function<bool(int)> &counted = {})
{
    Score s;
    const int fish = scene.value(0).size();
    QVector<int> truthOf(fish, -1), nearestBefore(fish, -1);
    int pairs = 0, hits = 0, errors = 0;
    double errorSum = 0;
    for (const TrackRecord &r : records) {
        const int frame = int(r.frameNumber);
        if (frame >= scene.size() || (counted && !counted(frame)))
            continue;
        for (int i = 0; i < fish; ++i) {
            ++pairs;
            const bool found = fish == 1 ? r.found : r.fishFoundFlags.value(i);
            if (!found)
                continue;
            const QPointF p = r.exactPositions.value(i);
            int nearest = 0;
            for (int k = 1; k < fish; ++k)
                if (distance(p, truth(scene[frame][k])) < distance(p, truth(scene[frame][nearest])))
                    nearest = k;
            if (truthOf[i] < 0)
                truthOf[i] = nearest;
            if (nearestBefore[i] >= 0 && nearest != nearestBefore[i])
                ++s.switches;
            nearestBefore[i] = nearest;
            const double e = distance(p, truth(scene[frame][truthOf[i]]));
            if (e <= 3.0)
                ++hits;
            errorSum += e;
            ++errors;
        }
    }
    for (int i = 0; i < fish; ++i)
        for (int k = i + 1; k < fish; ++k)
            if (truthOf[i] >= 0 && truthOf[i] == truthOf[k])
                s.oneToOne = false;
    s.recall = pairs ? double(hits) / pairs : 0;
    s.meanError = errors ? errorSum / errors : 1e9;
    qInfo("%s", qPrintable(s.text()));
    return s;
}

using CliResult = testutils::ProgramRun;

CliResult runCli(const QStringList &args)
{
    return testutils::runProgram(QStringLiteral(POND_CLI), QStringList { "track" } + args, 120000);
}

QByteArray sha256Of(const QString &path)
{
    return QCryptographicHash::hash(fileBytes(path), QCryptographicHash::Sha256).toHex();
}

} // namespace

class BlobsVideoTest : public QObject
{
    Q_OBJECT

    QString restVideo;
    Scene rest;

private Q_SLOTS:
    void initTestCase()
    {
        restVideo = testutils::scratchPath("resting fish.avi");
        rest = restingFish();
        QVERIFY(writeScene(restVideo, rest, QSize(240, 180), 21));
    }

    // The classic method misses a fish that rests at the start; here it is found from the
    // first row on, at its place.
    void restingFishIsFoundFromTheFirstRow()
    {
        EngineRun run;
        QVERIFY(run.run(restVideo, 1));
        const QVector<TrackRecord> records = run.tracker.resultsSnapshot();
        // No warm-up: the rows start with the frame after the one on display.
        QCOMPARE(records.first().frameNumber, run.shownFrame + 1);
        QCOMPARE(records.size(), rest.size() - 1 - int(run.shownFrame));
        QVERIFY(records.first().found);
        QVERIFY(distance(records.first().exactPositions.value(0), QPointF(59.5, 59.5)) < 0.3);
        const Score s = score(records, rest);
        QVERIFY2(s.recall >= 0.99 && s.meanError <= 1.0, qPrintable(s.text()));
        // The background was made and kept for viewing: the fish is not in it.
        const QImage background = run.host.controls.blobs.lastBackground();
        QCOMPARE(background.size(), QSize(240, 180));
        QVERIFY(qGray(background.pixel(60, 60)) > 60);
    }

    void twentyFishKeepTheirIdentities()
    {
        const QString video = testutils::scratchPath("school.avi");
        const Scene scene = school(50);
        QVERIFY(writeScene(video, scene, QSize(320, 240), 22));
        EngineRun run;
        QVERIFY(run.run(video, 20));
        const Score s = score(run.tracker.resultsSnapshot(), scene);
        QVERIFY2(s.recall >= 0.99 && s.meanError <= 1.0 && s.switches == 0 && s.oneToOne,
            qPrintable(s.text()));
    }

    // While touching, the shared blob is split: both indices stay found on distinct parts;
    // once apart, each is on its own fish again.
    void touchingFishAreSplitAndKeepTheirIdentities()
    {
        const QString video = testutils::scratchPath("crossing.avi");
        const Scene scene = crossing();
        QVERIFY(writeScene(video, scene, QSize(240, 180), 23));
        EngineRun run;
        QVERIFY(run.run(video, 2));
        const QVector<TrackRecord> records = run.tracker.resultsSnapshot();
        auto apart = [&scene](int frame) {
            return std::fabs(scene[frame][0].center.x() - scene[frame][1].center.x()) > 24;
        };
        const Score s = score(records, scene, apart);
        QVERIFY2(s.recall >= 0.99 && s.meanError <= 1.0 && s.switches == 0 && s.oneToOne,
            qPrintable(s.text()));
        int together = 0;
        for (const TrackRecord &r : records) {
            if (apart(int(r.frameNumber)))
                continue;
            ++together;
            QVERIFY(r.fishFoundFlags.value(0) && r.fishFoundFlags.value(1));
            QVERIFY(distance(r.exactPositions.value(0), r.exactPositions.value(1)) >= 3.0);
        }
        QVERIFY(together > 10);
    }

    void brightFishUnderNoiseBlurAndUnevenLight()
    {
        const QString video = testutils::scratchPath("hard.avi");
        const Scene scene = brightLanes();
        QVERIFY(
            writeScene(video, scene, QSize(240, 180), 24, fixtures::VideoFormat::AviMpeg4, true));
        EngineRun run;
        QVERIFY(run.run(video, 3, [](TestHost &host) {
            host.controls.signedDifference = true;
            host.controls.brightObject = true;
        }));
        const Score s = score(run.tracker.resultsSnapshot(), scene);
        QVERIFY2(s.recall >= 0.99 && s.meanError <= 1.0 && s.switches == 0 && s.oneToOne,
            qPrintable(s.text()));
    }
};

int runBlobsVideoTest(int argc, char **argv)
{
    BlobsVideoTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "BlobsVideoTest.moc"
