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
#include "formats/SetupFile.h"
#include "formats/TrackingDataFile.h"
#include "model/ArenaLayout.h"
#include "model/FishPalette.h"
#include "tools/AnnotationRows.h"
#include "tools/StimulusEventAnalysis.h"
#include "tracking/ImageLock.h"
#include "tracking/blobs/BackgroundChoice.h"

#include <QCryptographicHash>
#include <QFile>
#include <QPainter>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>
#include <QUrl>
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

// Two fish in a dish: the first rests at (60, 60) for 70% of the frames, then swims; the
// second circles all along. A speck (a dark dot, half a body) settles 25 pixels from the
// resting fish at frame 30 and stays. The resting fish is hidden for a few frames (under a
// leaf, say), with the speck in its lost index's reach.
constexpr int restFrames = 120, restUntil = 84, hiddenFrom = 60, hiddenUntil = 68;
const QPointF speckAt(35, 60);
bool hidden(int frame)
{
    return frame >= hiddenFrom && frame < hiddenUntil;
}

Scene mostlyResting(bool dark)
{
    Scene scene;
    for (int i = 0; i < restFrames; ++i) {
        const double t = std::max(0, i - restUntil) * 0.08;
        const QPointF p(60 + 40 * std::sin(t), 60 + 30 * (1 - std::cos(t)));
        const double a = 0.07 * i;
        fixtures::FishSpec first = fishAt(p, QPointF(std::cos(t), std::sin(t)), dark);
        if (hidden(i))
            first.size = QSizeF(0, 0);
        fixtures::FishSpec second = fishAt(QPointF(170 + 40 * std::cos(a), 110 + 40 * std::sin(a)),
            QPointF(-std::sin(a), std::cos(a)), dark);
        scene << QVector<fixtures::FishSpec> { first, second };
    }
    return scene;
}

// Six wells of a 2 x 3 plate, one larva each, circling 8 pixels out; the larva of well 4
// never moves, that of well 2 rests for 70% of the frames. On a resting plate no larva moves.
constexpr int platePitch = 60;
Scene smallPlate(bool resting)
{
    Scene scene;
    for (int i = 0; i < restFrames; ++i) {
        QVector<fixtures::FishSpec> fish;
        for (int k = 0; k < 6; ++k) {
            const int t = resting || k == 3 ? 0 : k == 1 ? std::max(0, i - restUntil) : i;
            const double a = 0.12 * t + k;
            fixtures::FishSpec f = fishAt(QPointF((k % 3 + 0.5) * platePitch + 8 * std::cos(a),
                                              (k / 3 + 0.5) * platePitch + 8 * std::sin(a)),
                QPointF(-std::sin(a), std::cos(a)));
            f.size = QSizeF(12, 5);
            fish << f;
        }
        scene << fish;
    }
    return scene;
}

bool writeScene(const QString &path, const Scene &scene, QSize size, quint32 seed,
    fixtures::VideoFormat format = fixtures::VideoFormat::LosslessAvi, bool hard = false,
    const std::function<void(QPainter &, int)> &floor = {})
{
    fixtures::VideoOptions options;
    options.format = format;
    options.size = size;
    options.frameCount = int(scene.size());
    QString error;
    const bool ok = fixtures::writeVideo(
        path, options,
        [&](int i) {
            QImage picture = fixtures::drawScene(size, scene[i], seed);
            if (floor) {
                // The floor (a speck, a mesh, the wells' walls) lies under the fish: drawn on
                // the bare ground, then the scene's fish pixels put back over it.
                QImage under = fixtures::texturedBackground(size, seed)
                                   .convertToFormat(QImage::Format_RGB888);
                QPainter p(&under);
                floor(p, i);
                p.end();
                const QImage ground = fixtures::texturedBackground(size, seed)
                                          .convertToFormat(QImage::Format_RGB888);
                for (int y = 0; y < size.height(); ++y)
                    for (int x = 0; x < size.width(); ++x)
                        if (picture.pixel(x, y) != ground.pixel(x, y))
                            under.setPixel(x, y, picture.pixel(x, y));
                picture = under;
            }
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
    int doubledRows = 0; // rows in which two found indices lie nearest one true fish
    QString text() const
    {
        return QStringLiteral("recall %1, mean error %2 px, %3 switches%4, %5 doubled rows")
            .arg(recall)
            .arg(meanError)
            .arg(switches)
            .arg(oneToOne ? "" : ", two indices on one fish")
            .arg(doubledRows);
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
        QVector<int> nearestFound;
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
            if (nearestFound.contains(nearest))
                ++s.doubledRows;
            nearestFound << nearest;
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
        // Ringed, and nothing more in its colour: no number beside the ring, which the window
        // numbers once over this picture (a second one read "3 3").
        double nearest = 1e9, farthest = -1;
        for (int y = 0; y < view.height(); ++y)
            for (int x = 0; x < view.width(); ++x)
                if (view.pixel(x, y) == FishPalette::colour(0).rgb()) {
                    const double d = distance(QPointF(x, y), last);
                    nearest = std::min(nearest, d);
                    farthest = std::max(farthest, d);
                }
        QVERIFY(farthest >= 0);
        QVERIFY2(farthest - nearest <= 4, qPrintable(QString("%1 %2").arg(nearest).arg(farthest)));
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

    // Each row ends with its picture's index, counted from the video's first picture: the time
    // of picture Frame (as ffprobe gives it) is the row's time in every row, also where a
    // time over the frame period is not the index: an MPEG-TS whose timestamps start after 0,
    // and a run started mid-video.
    void framesAreThePicturesIndices()
    {
        for (const auto format :
            { fixtures::VideoFormat::LosslessAvi, fixtures::VideoFormat::MpegTsH264 }) {
            const QString video = testutils::scratchPath("frames" + fixtures::suffixFor(format));
            QVERIFY(writeScene(video, rest, QSize(240, 180), 21, format));
            const QVector<fixtures::ProbedFrame> probed = fixtures::ffprobeFrames(video);
            const QPair<int, int> base = fixtures::ffprobeTimeBase(video);
            QCOMPARE(probed.size(), rest.size());
            auto msOf = [&](qint64 i) {
                const qint64 dts = probed.value(int(i)).pktDts != fixtures::noPts
                    ? probed.value(int(i)).pktDts
                    : probed.value(int(i)).bestEffort;
                return qint64(std::llround(double(dts) * base.first * 1000.0 / base.second));
            };
            for (const bool midway : { false, true }) {
                const QString out = video + (midway ? ".midway.data.txt" : ".data.txt");
                QStringList args { video, "--method", "blobs", "--area", "0,0,239,179", "--output",
                    out, "--quiet" };
                // The slider's place: the time of picture 10.
                if (midway)
                    args << "--start-ms" << QString::number(msOf(10));
                const CliResult r = runCli(args);
                QVERIFY2(r.exitCode == 0, qPrintable(r.err));
                const QStringList lines = fileLines(out);
                const int header = int(lines.indexOf(QRegularExpression("^Seconds .*")));
                QVERIFY(header > 0);
                const int column = int(lines[header].split(' ').indexOf("Frame"));
                QVERIFY(column > 0);
                // The run starts after the picture shown: picture 1 after opening (a step
                // passes over picture 0), picture 10 after the seek.
                qint64 expected = midway ? 11 : 2;
                for (int line = header + 1; line < lines.size(); ++line, ++expected) {
                    const QStringList fields = lines[line].split(' ');
                    QCOMPARE(fields.value(column).toLongLong(), expected);
                    QCOMPARE(std::llround(fields.value(0).toDouble() * 1000.0), msOf(expected));
                }
                QCOMPARE(expected, qint64(rest.size()));
                // The tidy trajectories number their rows by the same frames.
                const CliResult tidy = testutils::runProgram(QStringLiteral(POND_CLI),
                    { "trajectories", out, "--format", "tidy", "--output", out + ".csv" });
                QVERIFY2(tidy.exitCode == 0, qPrintable(tidy.err));
                const QStringList csv = fileLines(out + ".csv");
                QCOMPARE(csv.value(1).section(',', 0, 0), QString::number(midway ? 11 : 2));
            }
        }
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
                                        "Fish1BodyLength Fish1Area Frame"),
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
        // Only the Detection line tells the two apart: it names the picture.
        const QStringList againLines = fileLines(again);
        QCOMPARE(againLines.size(), lines.size());
        for (int k = 0; k < lines.size(); ++k)
            if (k != header - 1)
                QCOMPARE(againLines[k], lines[k]);
        QVERIFY2(againLines[header - 1].contains(" difference=abs background=picture:"
                     + QString::fromLatin1(QUrl::toPercentEncoding(background, "/"))),
            qPrintable(againLines[header - 1]));

        // Up to 200 fish with blobs, in the multi-fish layout; fish never found stay at the
        // area's centre, marked not found.
        const QString multi = testutils::scratchPath("rest.datamulti.txt");
        r = runCli({ restVideo, "--method", "blobs", "--fish", "200", "--threshold", "40",
            "--min-area", "10", "--max-area", "400", "--max-speed", "12.5", "--background-frames",
            "20", "--area", "0,0,239,179", "--output", multi, "--quiet" });
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        const QStringList multiLines = fileLines(multi);
        QCOMPARE(multiLines.value(1), QStringLiteral("200"));
        QVERIFY(multiLines
                    .filter(QRegularExpression("^Detection: blobs background-frames=20 "
                                               "threshold=40 min-area=10 max-area=400 "
                                               "max-speed=12.50 difference=abs "
                                               "background=auto:median "))
                    .size()
            == 1);
        // A setup saved with the whole-video background gives the method, its parameters and
        // its background rule without --method.
        TrackingSetup saved;
        saved.hasParameters = true;
        saved.overlays.areas = { QRect(0, 0, 239, 179) };
        saved.overlays.areaLabels = { QStringLiteral("Tracking Area") };
        saved.fishCount = 30;
        saved.wholeVideoBackground = true;
        saved.backgroundFrames = 20;
        saved.backgroundMode = 2; // extreme
        saved.blobThreshold = 40;
        saved.minArea = 10;
        saved.maxArea = 400;
        const QString setup = testutils::scratchPath("rest.setup.txt");
        QVERIFY(SetupFile::write(setup, saved, &error));
        const QString fromSetup = testutils::scratchPath("rest.fromsetup.txt");
        r = runCli({ restVideo, "--setup", setup, "--output", fromSetup, "--quiet" });
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        const QStringList setupLines = fileLines(fromSetup);
        QCOMPARE(setupLines.value(1), QStringLiteral("30"));
        QVERIFY2(setupLines
                     .filter(QRegularExpression("^Detection: blobs background-frames=20 "
                                                "threshold=40 min-area=10 max-area=400 .*"
                                                "background=extreme"))
                     .size()
                == 1,
            qPrintable(setupLines.join('\n')));
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

    // Animals resting for 70% of the video stay found, dark ones on a textured floor and
    // bright ones on a mesh (their polarity read from the frames under the absolute rule); the
    // speck beside the resting fish is never taken for it, not even while the fish is hidden
    // and its index is lost; no row has two indices on one fish.
    void restingAnimalsStayFound()
    {
        struct Case
        {
            const char *name;
            bool dark;
            QString difference; // the rule: abs, dark
            QString mode; // the background asked for
            int still; // animals found against the spatial background
        };
        // The median holds the resting fish: it is found as an animal that never moves.
        const QList<Case> cases = {
            { "textured", true, "dark", "auto", 0 },
            { "textured", true, "dark", "median", 1 },
            { "mesh", false, "abs", "auto", 0 },
            { "mesh", false, "abs", "extreme", 0 },
        };
        for (const Case &c : cases) {
            const QString tag = QStringLiteral("%1 %2").arg(QLatin1String(c.name), c.mode);
            const QString video = testutils::scratchPath(QStringLiteral("%1.avi").arg(c.name));
            const Scene scene = mostlyResting(c.dark);
            // The mesh under noise, blur and uneven light, compressed.
            QVERIFY(writeScene(video, scene, QSize(240, 180), 25,
                c.dark ? fixtures::VideoFormat::LosslessAvi : fixtures::VideoFormat::AviMpeg4,
                !c.dark, [&](QPainter &p, int i) {
                    if (c.dark) { // the speck
                        if (i >= 30) {
                            p.setPen(Qt::NoPen);
                            p.setBrush(QColor(20, 20, 20));
                            p.drawEllipse(speckAt, 3.2, 3.2);
                        }
                        return;
                    }
                    p.setPen(QPen(QColor(60, 60, 60), 1));
                    for (int k = 0; k < 240; k += 10) {
                        p.drawLine(k, 0, k, 179);
                        p.drawLine(0, k, 239, k);
                    }
                }));
            EngineRun run;
            QVERIFY(run.run(video, 2, [&c](TestHost &host) {
                host.controls.signedDifference = c.difference != "abs";
                host.controls.brightObject = false;
                BackgroundMode mode = BackgroundMode::Auto;
                QVERIFY(BackgroundChoice::modeFromName(c.mode, &mode));
                host.controls.blobs.backgroundMode = int(mode);
            }));
            const QVector<TrackRecord> records = run.tracker.resultsSnapshot();
            const Score s = score(records, scene, [](int frame) { return !hidden(frame); });
            QVERIFY2(s.recall >= 0.99 && s.oneToOne && s.switches == 0 && s.doubledRows == 0,
                qPrintable(tag + ": " + s.text()));
            for (const TrackRecord &r : records)
                for (int i = 0; i < 2; ++i)
                    QVERIFY2(!r.fishFoundFlags.value(i)
                            || distance(r.exactPositions.value(i), speckAt) > 4,
                        qPrintable(tag + QStringLiteral(": frame %1").arg(r.frameNumber)));
            const QStringList lines = fileLines(run.tracker.lastWrittenPath());
            const QString detection = lines.filter(QRegularExpression("^Detection: ")).value(0);
            const QString expected = c.mode == "auto"
                ? "background=auto:masked background-why=an-animal-rests-in-the-median"
                : "background=" + c.mode;
            QVERIFY2(detection.contains(expected + (c.dark ? " animals=dark" : " animals=bright")
                         + QStringLiteral(" static-animals=%1").arg(c.still))
                    && detection.contains(" difference=" + c.difference),
                qPrintable(detection));
        }
    }

    // A larva that never moves is found in its well against the spatial background, in
    // every row, and no other well's larva is lost for it. On a plate where no larva ever
    // moves, the body is learned from the still larvae themselves.
    void neverMovingLarvaIsFoundInItsWell()
    {
        for (const bool resting : { false, true }) {
            const QString video = testutils::scratchPath(
                resting ? QStringLiteral("resting plate.avi") : QStringLiteral("small plate.avi"));
            const Scene scene = smallPlate(resting);
            const QSize size(3 * platePitch, 2 * platePitch);
            QVERIFY(writeScene(video, scene, size, 26, fixtures::VideoFormat::LosslessAvi, false,
                [](QPainter &p, int) {
                    p.setPen(QPen(QColor(70, 70, 70), 1));
                    for (int k = 0; k < 6; ++k)
                        p.drawEllipse(
                            QPointF((k % 3 + 0.5) * platePitch, (k / 3 + 0.5) * platePitch), 28,
                            28);
                }));
            const QList<Arena> wells = ArenaLayout::grid(
                QRect(QPoint(0, 0), size - QSize(1, 1)), 2, 3, Arena::Shape::Ellipse, 1, 1);
            EngineRun run;
            QVERIFY(run.run(video, 1, [&wells](TestHost &host) {
                host.overlays.arenas = wells;
                host.controls.signedDifference = true;
                host.controls.brightObject = false;
            }));
            const QVector<TrackRecord> records = run.tracker.resultsSnapshot();
            for (int k = 0; k < 6; ++k) {
                int near = 0;
                for (const TrackRecord &r : records)
                    if (r.fishFoundFlags.value(k)
                        && distance(r.exactPositions.value(k), truth(scene[int(r.frameNumber)][k]))
                            <= 2.0)
                        ++near;
                const QString said = QStringLiteral("%1well %2: %3 of %4 rows")
                                         .arg(resting ? "resting plate, " : "")
                                         .arg(k + 1)
                                         .arg(near)
                                         .arg(records.size());
                qInfo("%s", qPrintable(said));
                QVERIFY2(near >= 0.95 * records.size(), qPrintable(said));
            }
            const QStringList lines = fileLines(run.tracker.lastWrittenPath());
            QVERIFY2(lines.filter(resting ? " static-animals=6" : " static-animals=1").size() == 1,
                qPrintable(lines.filter("Detection").value(0)));
        }
    }

    // One fish in one arena, rectangular or round, is written in the multi-fish layout and
    // found where the same run over the Tracking Area finds it; split-arenas gives its rows.
    void loneFishInOneArenaIsFound()
    {
        const QString byArea = testutils::scratchPath("lone by area.data.txt");
        CliResult r = runCli(
            { restVideo, "--method", "blobs", "--area", "0,0,239,179", "--output", byArea });
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        AnnotationRows reference;
        QCOMPARE(reference.read(byArea), AnnotationRows::Error::None);
        for (const QString &arena : { QStringLiteral("--arena=0,0,239,179:1"),
                 QStringLiteral("--arena-circle=120,90,150:1") }) {
            const QString file = testutils::scratchPath("lone.datamulti.txt");
            r = runCli({ restVideo, "--method", "blobs", arena, "--output", file, "--quiet" });
            QVERIFY2(r.exitCode == 0, qPrintable(r.err));
            AnnotationRows rows;
            QCOMPARE(rows.read(file), AnnotationRows::Error::None);
            QCOMPARE(rows.size(), reference.size());
            int found = 0;
            for (int i = 0; i < rows.size(); ++i) {
                found += rows.fishFound[i].value(0) ? 1 : 0;
                QVERIFY2(distance(rows.fishPositions[i].value(0),
                             QPointF(reference.xs[i], reference.ys[i]))
                        < 0.5,
                    qPrintable(arena + QStringLiteral(" row %1").arg(i)));
            }
            QVERIFY2(found >= rows.size() - 1, qPrintable(arena));
            const auto split
                = testutils::runProgram(QStringLiteral(POND_CLI), { "split-arenas", file });
            QVERIFY2(split.exitCode == 0, qPrintable(split.err));
            AnnotationRows part;
            QCOMPARE(part.read(testutils::scratchPath("lone.Arena1.data.txt")),
                AnnotationRows::Error::None);
            QCOMPARE(part.found.count(true), found);
        }
    }

    // The end of a run says in how many rows every fish was found, per arena; under half
    // warns, and fails with --strict; a run that found none fails. Options of the classic
    // method alone are said to be ignored.
    void runSaysHowManyWereFound()
    {
        const QString file = testutils::scratchPath("found.datamulti.txt");
        const QStringList area = { "--area", "0,0,239,179" };
        struct Case
        {
            QStringList args;
            int exitCode;
            QString said;
        };
        const QList<Case> cases = {
            { area, 0, "track: every animal found in 100.0% of 238 rows\n" },
            { area + QStringList { "--fish", "3" }, 0,
                "warning: fewer fish were found than asked: every animal found in 0.0% of 238 "
                "rows\n" },
            { area + QStringList { "--fish", "3", "--strict" }, 8,
                "--strict: every fish was found in under half of the rows of " + file },
            { { "--arena", "0,0,119,179:1", "--arena", "200,0,239,179:2" }, 0, "arena 2 0.0%)\n" },
            { { "--area", "200,0,239,40" }, 7, "no fish was found in any of the 238 rows" },
            { area + QStringList { "--average", "10", "--filter", "5" }, 0,
                "warning: --average, --filter do not apply to --method blobs; ignored\n" },
        };
        for (const Case &c : cases) {
            const CliResult r
                = runCli(QStringList { restVideo, "--method", "blobs", "--output", file } + c.args);
            QVERIFY2(r.exitCode == c.exitCode && r.err.contains(c.said),
                qPrintable(c.args.join(' ') + ": " + r.err));
            QVERIFY(QFile::exists(file)); // written whatever was found
            QVERIFY2(!r.err.contains("Frames to Average"), qPrintable(r.err)); // none averaged
            QFile::remove(file);
        }
        const CliResult classic = runCli({ restVideo, "--area", "0,0,239,179", "--strict" });
        QCOMPARE(classic.exitCode, 2);
        QVERIFY(classic.err.contains("--strict needs --method blobs"));
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
