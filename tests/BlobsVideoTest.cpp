// The whole-video background method on synthetic videos against their ground truth: a fish
// resting for the first 100 frames, 20 fish, two fish crossing and touching, bright fish under
// noise, blur and uneven light. Then its data files in every reader, pondwatch-cli track
// --method blobs with its options, and the classic method's files against the bytes written
// before detection methods had an interface.

#include "support/TestUtils.h"
#include "support/TrackingTestSupport.h"
#include "support/VideoFixtures.h"

#include "analysis/DataFileHeader.h"
#include "analysis/SampleCollector.h"
#include "formats/TrackingDataFile.h"
#include "model/FishPalette.h"
#include "tools/AnnotationRows.h"
#include "tools/StimulusEventAnalysis.h"
#include "tracking/ImageLock.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
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
        run.tracker.setShowTrackerView(true);
        QVERIFY(run.run(restVideo, 1));
        const QVector<TrackRecord> records = run.tracker.resultsSnapshot();
        // The tracker view: the foreground in grey, the fish's ring in its colour.
        QImage view;
        {
            QMutexLocker locker(&imageLock);
            view = run.tracker.trackerViewImage().copy();
        }
        const QPointF last = records.last().exactPositions.value(0);
        QCOMPARE(view.pixel(last.toPoint()), qRgb(128, 128, 128));
        QCOMPARE(view.pixel(0, 0), qRgb(0, 0, 0));
        bool ringed = false;
        for (int y = 0; y < view.height(); ++y)
            for (int x = 0; x < view.width(); ++x)
                ringed = ringed || view.pixel(x, y) == FishPalette::colour(0).rgb();
        QVERIFY(ringed);
        // No warm-up: the rows start with the frame after the one on display.
        QCOMPARE(records.first().frameNumber, run.shownFrame + 1);
        QCOMPARE(records.size(), rest.size() - 1 - int(run.shownFrame));
        QVERIFY(records.first().found);
        QVERIFY(distance(records.first().exactPositions.value(0), QPointF(59.5, 59.5)) < 0.3);
        const Score s = score(records, rest);
        QVERIFY2(s.recall >= 0.99 && s.meanError <= 1.0, qPrintable(s.text()));
        // An ellipse has no head end: once it swims, its motion names it.
        QVector<double> errors;
        for (const TrackRecord &r : records) {
            QCOMPARE(r.headings.size(), 1);
            if (r.frameNumber < 110)
                continue;
            const double truth = rest[int(r.frameNumber)].first().angleDegrees;
            double e = std::fmod(std::fabs(r.headings.first() - truth), 360.0);
            errors << std::min(e, 360.0 - e);
            QVERIFY(r.bodyLengths.first() > 10 && r.bodyLengths.first() < 18); // drawn 14 long
            QVERIFY2(r.areas.first() > 25 && r.areas.first() < 120,
                qPrintable(QString::number(r.areas.first())));
        }
        std::sort(errors.begin(), errors.end());
        QVERIFY2(errors[errors.size() / 2] <= 10.0 && errors.last() < 90.0,
            qPrintable(QString::number(errors[errors.size() / 2])));
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

    // A blobs file in every reader: the overlays reader behind --overlays-from, the analysis
    // (its header, samples and pondwatch-cli analyze), the annotated export's rows and the
    // stimulus-event analysis. Then the saved background loaded back, and the options.
    void blobsFilesAreReadByEveryReader()
    {
        const QString single = testutils::scratchPath("rest.data.txt");
        const QString background = testutils::scratchPath("rest background.png");
        CliResult r = runCli(
            { restVideo, "--method", "blobs", "--area", "0,0,239,179", "--zone", "L=0,0,119,179",
                "--zone", "R=120,0,239,179", "--ruler", "X=0,0,100,0,10", "--pointdist",
                "P=60,60,5,5,2", "--output", single, "--save-background", background, "--quiet" });
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        const QStringList lines = fileLines(single);
        const int header = int(lines.indexOf(QRegularExpression("^Seconds .*")));
        QVERIFY(header > 0);
        QVERIFY2(
            lines[header - 1].startsWith("Detection: blobs background-frames=50 threshold=auto:"),
            qPrintable(lines[header - 1]));
        QVERIFY(
            lines[header].startsWith("Seconds FishX FishY FishMovement Confidence Confidence>"));
        // Heading, body length and area end the header and every row, after the overlays.
        QVERIFY2(lines[header].endsWith(" Zone1-L Zone2-R Ruler1-X PointDist1-P Fish1Heading "
                                        "Fish1BodyLength Fish1Area"),
            qPrintable(lines[header]));
        QCOMPARE(lines.last().split(' ').size(), lines[header].split(' ').size());
        const int rows = int(lines.size()) - header - 1;
        QCOMPARE(rows, rest.size() - 2);

        OverlaySet overlays;
        QString error;
        QVERIFY2(TrackingDataFile::readOverlays(single, &overlays, &error), qPrintable(error));
        QCOMPARE(overlays.areaLabels, QStringList({ "Tracking Area", "Zone1-L", "Zone2-R" }));
        QCOMPARE(overlays.rulers.size(), 1);
        QCOMPARE(overlays.pointDists.size(), 1);

        DataFileHeader names;
        QVERIFY(names.read(single));
        QCOMPARE(names.measurableNames,
            QStringList({ "Zone1-L", "Zone2-R", "Ruler1-X", "PointDist1-P" }));
        SampleRequest request;
        request.path = single;
        request.variable = "PointDist1-P";
        const Samples samples = SampleCollector::collect(request);
        QVERIFY(samples.opened);
        QCOMPARE(samples.values.size(), rows);
        QVERIFY(samples.values.first() < 1.0f); // resting on the point's centre
        const auto analyze = testutils::runProgram(
            QStringLiteral(POND_CLI), { "analyze", single, "--variable", "Speed" });
        QVERIFY2(analyze.exitCode == 0, qPrintable(analyze.err));

        AnnotationRows annotation;
        QCOMPARE(annotation.read(single), AnnotationRows::Error::None);
        QCOMPARE(annotation.size(), rows);
        QVERIFY(std::fabs(annotation.xs.first() - 59.5f) < 0.3f);
        QVERIFY(annotation.xs.first() != std::round(annotation.xs.first())); // decimals kept
        QVERIFY(std::all_of(
            annotation.found.begin(), annotation.found.end(), [](bool f) { return f; }));

        const QString gfa = testutils::scratchPath("rest.gfa");
        QFile gfaFile(gfa);
        QVERIFY(gfaFile.open(QIODevice::WriteOnly));
        gfaFile.write("Stimulus log\nsession,1\n\nname,isi,colour,size\nA,2\nB,2\n");
        gfaFile.close();
        StimulusEventAnalysis events;
        QCOMPARE(events.setDataFile(single), StimulusEventAnalysis::Error::None);
        QCOMPARE(events.setGfaFile(gfa), StimulusEventAnalysis::Error::None);
        QCOMPARE(events.read(), StimulusEventAnalysis::Error::None);
        QCOMPARE(events.analyse(0, 2).size(), 2);

        // The saved background, loaded back, gives the same file; the overlays come from the
        // blobs file.
        QCOMPARE(QImage(background).size(), QSize(240, 180));
        const QString again = testutils::scratchPath("rest again.data.txt");
        r = runCli({ restVideo, "--method=blobs", "--overlays-from", single, "--background-image",
            background, "--output", again, "--quiet" });
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QCOMPARE(fileBytes(again), fileBytes(single));

        // Up to 200 fish with blobs, in the multi-fish layout; fish never found stay at the
        // area's centre, marked not found.
        const QString multi = testutils::scratchPath("rest.datamulti.txt");
        r = runCli({ restVideo, "--method", "blobs", "--fish", "200", "--threshold", "40",
            "--min-area", "10", "--max-area", "400", "--max-speed", "12.5", "--background-frames",
            "20", "--area", "0,0,239,179", "--output", multi, "--quiet" });
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        const QStringList multiLines = fileLines(multi);
        QCOMPARE(multiLines.value(1), QStringLiteral("200"));
        QVERIFY(multiLines.contains("Detection: blobs background-frames=20 threshold=40 "
                                    "min-area=10 max-area=400 max-speed=12.50"));
        QVERIFY(TrackingDataFile::readOverlays(multi, &overlays, &error));
        AnnotationRows multiRows; // the annotated export's reader of multi-fish files
        QCOMPARE(multiRows.read(multi), AnnotationRows::Error::None);
        QCOMPARE(multiRows.size(), rows);
        QCOMPARE(multiRows.fishPositions.first().size(), 200);
        QVERIFY(std::fabs(multiRows.fishPositions.first().first().x() - 59.5) < 0.3);
        QVERIFY(multiRows.fishFound.first().first() && !multiRows.fishFound.first().last());
        const QStringList firstRow = multiLines.value(multiLines.size() - rows).split(' ');
        QCOMPARE(firstRow.value(1), QStringLiteral("1"));
        // After the 200 fish's usual columns, each fish's heading, body length and area: fish
        // 1's measured, fish 200's (never found) all 0.
        const QStringList multiHeader = multiLines.value(multiLines.size() - rows - 1).split(' ');
        QCOMPARE(multiHeader.value(1 + 200 * 4), QStringLiteral("Fish1Heading"));
        QCOMPARE(multiHeader.value(1 + 200 * 4 + 199 * 3 + 2), QStringLiteral("Fish200Area"));
        QVERIFY(firstRow.value(1 + 200 * 4 + 1).toDouble() > 10); // fish 1's body length
        QCOMPARE(firstRow.mid(1 + 200 * 4 + 199 * 3, 3),
            QStringList({ "0.00000000", "0.00000000", "0.00000000" }));
        QCOMPARE(
            firstRow.mid(5, 4), QStringList({ "0", "0.00000000", "120.00000000", "90.00000000" }));

        // Options that need blobs, or lie out of range, are refused before the run.
        const QString unused = testutils::scratchPath("unused.txt");
        const QList<QPair<QStringList, QString>> refused = {
            { { "--fish", "26" }, "--fish must be a whole number from 1 to 25" },
            { { "--max-speed", "5" }, "--max-speed needs --method blobs" },
            { { "--method", "blob" }, "--method must be classic or blobs" },
            { { "--method", "blobs", "--threshold", "automatic" }, "--threshold must be auto or" },
            { { "--method", "blobs", "--fish", "201" },
                "from 1 to 200, got '201' (with --method blobs)" },
            { { "--method", "blobs", "--min-area", "50", "--max-area", "20" }, "is above" },
            { { "--method", "blobs", "--background-image", restVideo + ".missing.png" },
                "--background-image: cannot read" },
            { { "--method", "blobs", "--background-image", testutils::scratchPath("small.png") },
                "is 20x10, the video 240x180" },
        };
        QImage(20, 10, QImage::Format_RGB32).save(testutils::scratchPath("small.png"));
        for (const auto &c : refused) {
            r = runCli(
                QStringList { restVideo, "--area", "0,0,239,179", "--output", unused } + c.first);
            QCOMPARE(r.exitCode, 2);
            QVERIFY2(r.err.contains(c.second), qPrintable(r.err));
        }
        QVERIFY(!QFile::exists(unused));
    }

    // The classic method through the detection interface writes the bytes it wrote before
    // the interface existed (the hashes were taken from that build on this very video).
    void classicFilesKeepTheirBytes()
    {
        const QString video = testutils::scratchPath("three boxes.avi");
        const QString filter = "color=c=0x808080:s=160x120:r=25:d=3[bg];"
                               "color=c=black:s=9x5:r=25:d=3[a];color=c=black:s=9x5:r=25:d=3[b];"
                               "color=c=0x202020:s=5x9:r=25:d=3[c];"
                               "[bg][a]overlay=x='20+t*30':y=50[ba];"
                               "[ba][b]overlay=x='120-t*25':y=80[bb];"
                               "[bb][c]overlay=x=70:y='10+t*20'";
        const auto made = testutils::runProgram("ffmpeg",
            { "-v", "error", "-y", "-filter_complex", filter, "-c:v", "ffv1", "-pix_fmt", "bgr0",
                video });
        QVERIFY2(made.exitCode == 0, qPrintable(made.err));
        const QStringList overlays = { "--area", "5,5,154,114", "--zone", "A=0,0,79,119", "--ruler",
            "X=0,0,100,0,10", "--pointdist", "P=80,60,10,10,5", "--average", "10" };
        const QString single = testutils::scratchPath("boxes.data.txt");
        const QString multi = testutils::scratchPath("boxes.datamulti.txt");
        CliResult r = runCli(QStringList { video } + overlays
            + QStringList { "--zone", "B=80,0,159,119", "--output", single, "--quiet" });
        QCOMPARE(r.exitCode, 0);
        r = runCli(QStringList {
                       video, "--method", "classic", "--fish", "3", "--output", multi, "--quiet" }
            + overlays);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(sha256Of(single),
            QByteArray("5fc47ef0d9f802275e1621b06315dd259a6a092f7b4d3d3137878b8752670dac"));
        QCOMPARE(sha256Of(multi),
            QByteArray("691c32b5db05614349b9ca08558574f8c7caf1ae3c2dfd6323a08344782ffcb1"));
    }
};

int runBlobsVideoTest(int argc, char **argv)
{
    BlobsVideoTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "BlobsVideoTest.moc"
