// Arenas for the whole-video background method on synthetic videos against their ground
// truth: a 6 x 8 plate with one fish per well (some wells empty, some fish resting), 100 fish
// in one arena; the plate's data file with its Arena zones, pondwatch-cli's arena options
// and split-arenas; the grid's numbering and moves.

#include "support/DialogScope.h"
#include "support/FindControl.h"
#include "support/GridDialogAnswer.h"
#include "support/TestUtils.h"
#include "support/TrackingTestSupport.h"
#include "support/VideoFixtures.h"

#include "analysis/TrackTable.h"
#include "analysis/ui/AnalysisWindow.h"
#include "app/MainWindow.h"
#include "app/WindowMenus.h"
#include "formats/SetupFile.h"
#include "formats/TrackingDataFile.h"
#include "model/ArenaLayout.h"
#include "tools/AnnotationRows.h"
#include "ui/ArenaControls.h"
#include "ui/DetectionControls.h"
#include "view/ViewRenderer.h"
#include "view/ui/VideoView.h"

#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QtMath>

#include <cmath>

using namespace trackingtest;

namespace {

using Scene = QVector<QVector<fixtures::FishSpec>>;

constexpr int rows = 6, columns = 8, pitch = 36, frames = 120;
const QSet<int> emptyWells { 5, 17, 40 };
const QSet<int> restingWells { 0, 9, 22, 23, 31, 46 };

// The fish of well k (absent wells have none) circling its centre 6 pixels out, resting
// for the first 30 frames in the resting wells.
fixtures::FishSpec wellFish(int k, int frame)
{
    const QPointF centre((k % columns + 0.5) * pitch, (k / columns + 0.5) * pitch);
    const int t = restingWells.contains(k) ? std::max(0, frame - 30) : frame;
    const double a = 0.15 * t * (k % 2 ? 1 : -1) + 0.9 * k;
    fixtures::FishSpec f;
    f.center = centre + QPointF(6 * std::cos(a), 6 * std::sin(a));
    f.size = QSizeF(12, 5);
    f.angleDegrees = qRadiansToDegrees(a) + 90;
    return f;
}

Scene plate()
{
    Scene scene;
    for (int i = 0; i < frames; ++i) {
        QVector<fixtures::FishSpec> fish;
        for (int k = 0; k < rows * columns; ++k)
            if (!emptyWells.contains(k))
                fish << wellFish(k, i);
        scene << fish;
    }
    return scene;
}

// 100 fish, each circling in its own cell of a 10 x 10 grid: neighbours never touch.
Scene hundred(int count)
{
    Scene scene;
    for (int i = 0; i < count; ++i) {
        QVector<fixtures::FishSpec> fish;
        for (int k = 0; k < 100; ++k) {
            const double a = 0.1 * i * (k % 2 ? 1 : -1) + 0.7 * k;
            fixtures::FishSpec f;
            f.center = QPointF(
                15 + 30 * (k % 10) + 5 * std::cos(a), 15 + 30 * (k / 10) + 5 * std::sin(a));
            f.size = QSizeF(10, 4);
            f.angleDegrees = qRadiansToDegrees(a) + 90;
            fish << f;
        }
        scene << fish;
    }
    return scene;
}

bool writeScene(const QString &path, const Scene &scene, QSize size, bool wells)
{
    fixtures::VideoOptions options;
    options.format = fixtures::VideoFormat::LosslessAvi;
    options.size = size;
    options.frameCount = int(scene.size());
    QString error;
    const bool ok = fixtures::writeVideo(
        path, options,
        [&](int i) {
            QImage picture = fixtures::drawScene(size, scene[i], 31);
            if (wells) { // the wells' walls, part of the background
                QPainter p(&picture);
                p.setPen(QPen(QColor(70, 70, 70), 1));
                for (int k = 0; k < rows * columns; ++k)
                    p.drawEllipse(QPointF((k % columns + 0.5) * pitch, (k / columns + 0.5) * pitch),
                        pitch / 2.0 - 1, pitch / 2.0 - 1);
            }
            return picture;
        },
        &error);
    if (!ok)
        qWarning("%s", qPrintable(error));
    return ok;
}

// The engine's run in this process, over the arenas given, as the window starts it.
struct EngineRun
{
    QVideoDecoder decoder;
    TestHost host;
    VideoTracker tracker { &host };

    bool run(const QString &video, const QList<Arena> &arenas)
    {
        host.decoder = &decoder;
        host.videoPath = video;
        if (!decoder.open(video) || !decoder.seekNextFrame() || !decoder.copyFrame(host.image))
            return false;
        host.setArea(QRect(QPoint(0, 0), host.image.size()));
        host.overlays.arenas = arenas;
        host.controls.detectionMethod = int(DetectionKind::Blobs);
        host.controls.fishCount = 1; // the arenas' own counts apply
        tracker.start();
        return tracker.wait(300000) && tracker.lastWriteError().isEmpty();
    }
};

// Where a fish drawn at `centre` lies in pixel indices.
QPointF truth(const fixtures::FishSpec &fish)
{
    return fish.center - QPointF(0.5, 0.5);
}

void drag(QWidget *view, QPoint from, QPoint to)
{
    auto send
        = [view](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
              QMouseEvent event(type, QPointF(at), view->mapToGlobal(QPointF(at)), button, buttons,
                  Qt::NoModifier);
              QCoreApplication::sendEvent(view, &event);
          };
    send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

double distance(QPointF a, QPointF b)
{
    return std::hypot(a.x() - b.x(), a.y() - b.y());
}

} // namespace

class ArenasTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Numbered row by row from the top left; cells tile the dragged rectangle; round arenas
    // are circles centred in their cells; a grid moves as a whole; the fish counts survive
    // the detection line.
    void gridNumberingAndMoves()
    {
        const QRect outer(QPoint(10, 20), QPoint(809, 619)); // 800 x 600
        QList<Arena> square = ArenaLayout::grid(outer, 6, 8, Arena::Shape::Rectangle, 2, 1);
        QCOMPARE(square.size(), 48);
        QCOMPARE(square[0].rect.topLeft(), outer.topLeft());
        QCOMPARE(square[7].rect.topRight(), QPoint(809, 20));
        QCOMPARE(square[8].rect.topLeft(), QPoint(10, 120));
        QCOMPARE(square[47].rect.bottomRight(), outer.bottomRight());
        int covered = 0;
        for (int i = 0; i < 48; ++i) {
            covered += square[i].rect.width() * square[i].rect.height();
            for (int j = i + 1; j < 48; ++j)
                QVERIFY(!square[i].rect.intersects(square[j].rect));
        }
        QCOMPARE(covered, 800 * 600);

        const QList<Arena> round = ArenaLayout::grid(outer, 6, 8, Arena::Shape::Ellipse, 1, 2);
        QCOMPARE(round[9].rect, QRect(110, 120, 100, 100));
        QVERIFY(round[9].containsPixel(160, 170) && !round[9].containsPixel(111, 121));
        QVERIFY(round[9].containsPixel(110, 170) && round[9].containsPixel(209, 170));

        QList<Arena> both = square + round;
        QCOMPARE(ArenaLayout::nextGroup(both), 3);
        ArenaLayout::moveGroup(both, 50, QPoint(5, -3));
        QCOMPARE(both[48].rect.topLeft(), QPoint(15, 17));
        QCOMPARE(both[95].rect, round[47].rect.translated(5, -3));
        QCOMPARE(both[0].rect, square[0].rect);
        QCOMPARE(ArenaLayout::totalFish(both), 48 * 2 + 48);
        QCOMPARE(ArenaLayout::arenaOfFish(both).mid(0, 4), QList<int>({ 0, 0, 1, 1 }));

        const QString line = QStringLiteral("blobs threshold=auto:12 ")
            + ArenaLayout::describeFish(both.mid(46, 4));
        QCOMPARE(ArenaLayout::fishFromDetection(line), std::optional(QList<int>({ 2, 2, 1, 1 })));
        QVERIFY(!ArenaLayout::fishFromDetection(QStringLiteral("blobs threshold=9")));
        QVERIFY(ArenaLayout::describeShapes(square).isEmpty()); // such files read as before

        // Arena zones read back become arenas, round where the line says so; zones that are
        // not numbered 1 to N once each (a user's own "Arena2") stay zones.
        OverlaySet read = ArenaLayout::withArenaZones(OverlaySet(), both.mid(46, 4));
        read.areas << QRect(1, 2, 3, 4);
        read.areaLabels << QStringLiteral("Zone6-dish");
        const QString described = QStringLiteral("blobs ")
            + ArenaLayout::describeShapes(both.mid(46, 4)) + QLatin1Char(' ') + line.mid(24);
        const QList<Arena> taken = ArenaLayout::takeArenas(&read, described);
        QCOMPARE(taken.size(), 4);
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(taken[i].rect, both[46 + i].rect);
            QCOMPARE(taken[i].shape, both[46 + i].shape);
            QCOMPARE(taken[i].fishCount, both[46 + i].fishCount);
        }
        QCOMPARE(read.areaLabels, QStringList({ "Tracking Area", "Zone6-dish" }));
        OverlaySet stray;
        stray.areas = { QRect(), QRect(0, 0, 5, 5) };
        stray.areaLabels = QStringList({ "Tracking Area", "Arena2" });
        QVERIFY(ArenaLayout::takeArenas(&stray, QString()).isEmpty());
        QCOMPARE(stray.areas.size(), 2);
        QVERIFY(ArenaLayout::grid(outer, 0, 8, Arena::Shape::Ellipse, 1, 1).isEmpty());
    }

    // Every present fish is found in at least 99% of the frames near its true place, within
    // its own well; an empty well reports its fish not found in every row. The file carries
    // each well as a zone; pondwatch-cli with the same grid writes the same file, and
    // split-arenas gives one single-fish file per well with that fish's rows.
    void plateWithOneFishPerWell()
    {
        const QString video = testutils::scratchPath("plate.avi");
        const Scene scene = plate();
        const QSize size(columns * pitch, rows * pitch);
        QVERIFY(writeScene(video, scene, size, true));
        const QRect outer(QPoint(0, 0), QPoint(size.width() - 1, size.height() - 1));
        const QList<Arena> wells
            = ArenaLayout::grid(outer, rows, columns, Arena::Shape::Ellipse, 1, 1);
        EngineRun run;
        QVERIFY(run.run(video, wells));
        const QVector<TrackRecord> records = run.tracker.resultsSnapshot();
        QVERIFY(records.size() >= frames - 2);

        int present = 0;
        for (int k = 0; k < rows * columns; ++k) {
            int found = 0, near = 0;
            for (const TrackRecord &r : records) {
                const QPointF p = r.exactPositions.value(k);
                QVERIFY2(wells[k].containsPixel(int(std::lround(p.x())), int(std::lround(p.y()))),
                    qPrintable(QStringLiteral("fish %1 left its well").arg(k + 1)));
                if (!r.fishFoundFlags.value(k))
                    continue;
                ++found;
                if (!emptyWells.contains(k)
                    && distance(p, truth(scene[int(r.frameNumber)][present])) <= 2.0)
                    ++near;
            }
            if (emptyWells.contains(k)) {
                QVERIFY2(found == 0, qPrintable(QStringLiteral("empty well %1").arg(k + 1)));
                continue;
            }
            QVERIFY2(near >= 0.99 * records.size(),
                qPrintable(QStringLiteral("well %1: %2 of %3 rows near the fish")
                               .arg(k + 1)
                               .arg(near)
                               .arg(records.size())));
            ++present;
        }

        const QString file = TrackingDataFile::multiFishPath(video);
        const QStringList lines = QString::fromUtf8(fileBytes(file)).split(QLatin1Char('\n'));
        QCOMPARE(lines.value(1), QStringLiteral("48"));
        // The wells are on the detection line, not zones with a column per fish and well: the
        // rows grow with the fish alone.
        QVERIFY(!lines.contains(QStringLiteral("Arena48 (x1, y1, x2, y2): ")));
        QVERIFY(lines
                    .filter(QRegularExpression(
                        "^Detection: blobs .*arena-fish=1(,1){47} arena-group=1(,1){47} "
                        "arena-rects=0:0:35:35,36:0:71:35,.*,252:180:287:215$"))
                    .size()
            == 1);
        const QStringList columnLine
            = lines.filter(QRegularExpression("^Time ")).value(0).split(' ', Qt::SkipEmptyParts);
        // Four columns a fish, then each fish's heading, body length and area, then the
        // picture's index.
        QCOMPARE(columnLine.size(), 1 + 48 * 4 + 48 * 3 + 1);
        QCOMPARE(columnLine[48 * 4], QStringLiteral("Fish48Y"));
        QCOMPARE(columnLine[48 * 7], QStringLiteral("Fish48Area"));
        QCOMPARE(columnLine.last(), QStringLiteral("Frame"));

        // pondwatch-cli: the same grid from the options writes the same bytes.
        const QString cliFile = testutils::scratchPath("plate by cli.datamulti.txt");
        const auto cli = testutils::runProgram(QStringLiteral(POND_CLI),
            { "track", video, "--method", "blobs", "--area", "0,0,287,215", "--arena-grid",
                "6x8:round", "--fish", "1", "--output", cliFile, "--quiet" });
        QVERIFY2(cli.exitCode == 0, qPrintable(cli.err));
        QCOMPARE(fileBytes(cliFile), fileBytes(file));
        const auto refused = testutils::runProgram(QStringLiteral(POND_CLI),
            { "track", video, "--area", "0,0,287,215", "--arena-grid", "6x8" });
        QCOMPARE(refused.exitCode, 2);
        QVERIFY2(
            refused.err.contains("--arena-grid needs --method blobs"), qPrintable(refused.err));

        // Read back, the round wells are round again: a run from the file's overlays writes
        // the same bytes, and the window's setup from the file holds the same arenas.
        QVERIFY(lines.filter(QRegularExpression(" arena-round=1(,1){47} ")).size() == 1);
        // A blobs run of the video with the overlays from a file, to a new output.
        const auto trackWith
            = [&video](const QString &option, const QString &from, const QString &output) {
                  return testutils::runProgram(QStringLiteral(POND_CLI),
                      { "track", video, "--method", "blobs", option, from, "--output", output,
                          "--quiet" });
              };
        const QString again = testutils::scratchPath("plate again.datamulti.txt");
        const auto rerun = trackWith("--overlays-from", cliFile, again);
        QVERIFY2(rerun.exitCode == 0, qPrintable(rerun.err));
        QCOMPARE(fileBytes(again), fileBytes(cliFile));
        // The classic method takes them as the zones they were in files of the older layout.
        const QString classicRun = testutils::scratchPath("plate classic.datamulti.txt");
        const auto classicRows = testutils::runProgram(QStringLiteral(POND_CLI),
            { "track", video, "--overlays-from", cliFile, "--fish", "2", "--output", classicRun,
                "--quiet" });
        QVERIFY2(classicRows.exitCode == 0, qPrintable(classicRows.err));
        QVERIFY(fileBytes(classicRun).contains("\nArena48 (x1, y1, x2, y2): \n252 180 288 216\n"));
        TrackingSetup setup;
        QVERIFY(SetupFile::read(cliFile, &setup));
        QCOMPARE(setup.overlays.areas.size(), 1);
        QCOMPARE(setup.overlays.arenas.size(), 48);
        QCOMPARE(setup.overlays.arenas[47].rect, wells[47].rect);
        QCOMPARE(setup.overlays.arenas[47].shape, Arena::Shape::Ellipse);

        // Kept in a setup file, the wells are the same arenas for the next video: track
        // --setup writes the same bytes. Round and rectangular arenas come back as they were,
        // with their fish and grid, beside the zones; a setup without an "arenas" line keeps
        // its ArenaN areas as zones, and a line that does not match them is refused.
        const QString plateSetup = testutils::scratchPath("plate.pwsetup");
        QVERIFY(SetupFile::write(plateSetup, setup));
        const QString viaSetup = testutils::scratchPath("plate via setup.datamulti.txt");
        const auto fromSetup = trackWith("--setup", plateSetup, viaSetup);
        QVERIFY2(fromSetup.exitCode == 0, qPrintable(fromSetup.err));
        QCOMPARE(fileBytes(viaSetup), fileBytes(cliFile));
        TrackingSetup mixed = setup;
        mixed.overlays.arenas = wells.mid(9, 2);
        mixed.overlays.arenas[1].shape = Arena::Shape::Rectangle;
        mixed.overlays.arenas[1].fishCount = 2;
        mixed.overlays.arenas << wells[20];
        mixed.overlays.arenas[2].group = 0;
        mixed.overlays.areas << QRect(QPoint(2, 3), QPoint(40, 50));
        mixed.overlays.areaLabels << QStringLiteral("Zone1-dish");
        mixed.overlays.scale = Scale { 0.025, QStringLiteral("mm") };
        QVERIFY(SetupFile::write(plateSetup, mixed));
        TrackingSetup back;
        QString error;
        QVERIFY2(SetupFile::read(plateSetup, &back, &error), qPrintable(error));
        QCOMPARE(back.overlays.arenas, mixed.overlays.arenas);
        QCOMPARE(back.overlays.areas, mixed.overlays.areas);
        QCOMPARE(back.overlays.areaLabels, mixed.overlays.areaLabels);
        QCOMPARE(back.overlays.scale.describe(), QStringLiteral("0.02500000 mm/px"));
        const QString text = SetupFile::text(mixed);
        for (const QString &older : { QString(text).remove(QRegularExpression("arenas [^\\n]*\\n")),
                 QString(text).replace("arena-fish=1,2,1", "arena-fish=1,2") }) {
            QFile f(plateSetup);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(older.toUtf8());
            f.close();
            back = TrackingSetup();
            const bool read = SetupFile::read(plateSetup, &back, &error);
            QCOMPARE(read, !older.contains("arenas"));
            QVERIFY2(read ? back.overlays.arenas.isEmpty() && back.overlays.areas.size() == 5
                          : error.startsWith(plateSetup + ": line "),
                qPrintable(error));
        }

        // split-arenas: one single-fish file per well, each with its own fish's rows.
        const auto split
            = testutils::runProgram(QStringLiteral(POND_CLI), { "split-arenas", cliFile });
        QVERIFY2(split.exitCode == 0, qPrintable(split.err));
        QCOMPARE(split.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size(), 48);
        for (int k : { 0, 5, 30, 47 }) {
            const QString part = testutils::scratchPath(
                QStringLiteral("plate by cli.Arena%1.data.txt").arg(k + 1));
            OverlaySet overlays;
            QVERIFY(TrackingDataFile::readOverlays(part, &overlays));
            QCOMPARE(overlays.areas.value(0), wells[k].rect);
            QCOMPARE(overlays.areas.size(), 1); // the arenas are no zones of their parts
            AnnotationRows rows;
            QCOMPARE(rows.read(part), AnnotationRows::Error::None);
            QCOMPARE(rows.size(), records.size());
            for (int i = 0; i < records.size(); i += 7) {
                QCOMPARE(rows.found[i], records[i].fishFoundFlags[k]);
                QVERIFY(
                    distance(QPointF(rows.xs[i], rows.ys[i]), records[i].exactPositions[k]) < 1e-3);
            }
        }
        // A file without arenas is refused with the reason, and so is a classic run's file
        // whose zones are named Arena1 and Arena2 (a setup's arenas loaded into it): its fish
        // are not the arenas' fish, and split by the zones each part held rows outside it.
        const auto noArenas = testutils::runProgram(
            QStringLiteral(POND_CLI), { "split-arenas", testutils::scratchPath("nothing.txt") });
        QCOMPARE(noArenas.exitCode, 1);
        const QString classic = testutils::scratchPath("classic arenas.datamulti.txt");
        QFile classicFile(classic);
        QVERIFY(classicFile.open(QIODevice::WriteOnly));
        classicFile.write("NumFish: \n2\nTracking area (x1, y1, x2, y2): \n0 0 200 100\n"
                          "Arena1 (x1, y1, x2, y2): \n0 0 100 100\n"
                          "Arena2 (x1, y1, x2, y2): \n100 0 200 100\n"
                          "Time Fish1Conf? Fish1HowConf Fish1X Fish1Y Fish1Arena1 Fish1Arena2 "
                          "Fish2Conf? Fish2HowConf Fish2X Fish2Y Fish2Arena1 Fish2Arena2 \n"
                          "0.04000000 1 9.0 150 50 0 1 1 9.0 50 50 1 0 \n");
        classicFile.close();
        const auto classicSplit
            = testutils::runProgram(QStringLiteral(POND_CLI), { "split-arenas", classic });
        QCOMPARE(classicSplit.exitCode, 1);
        QVERIFY2(classicSplit.err.contains("no arena assignment"), qPrintable(classicSplit.err));
        QVERIFY(!QFile::exists(testutils::scratchPath("classic arenas.Arena1.data.txt")));
    }

    // measures on a 2 x 3 plate tracked from its video. Each moving larva's distance lies
    // within 2% of its drawn path, a larva that never moves gains none, and one whose centre
    // jitters within 1.5 px of its place gains at most 1% of a moving one's: the minimal
    // distance moved. Movers are mobile, the others immobile; the larva circling near the wall
    // is at the wall, the others in the centre; the zone's entries and first latency are
    // those of the drawn path; the wells are named as on a plate; the empty well's rows are
    // all left out; time bins add up to the whole.
    void measuresOnAPlate()
    {
        constexpr int count = 400, pitchPx = 64;
        const QSize size(3 * pitchPx, 2 * pitchPx);
        // Per well: the radius of its circle and the speed along it (px per frame); well 1
        // still, well 2 jittering, well 5 empty.
        const double radius[6] = { 18, 0, 0, 25, 22, 0 };
        const double speed[6] = { 1.5, 0, 0, 1.5, 1.2, 0 };
        QVector<QPointF> jitter;
        QRandomGenerator random(11);
        while (jitter.size() < count) {
            const QPointF d(random.bounded(3.0) - 1.5, random.bounded(3.0) - 1.5);
            if (std::hypot(d.x(), d.y()) <= 1.5)
                jitter << d;
        }
        const auto fishAt = [&](int k, int frame) {
            const QPointF centre((k % 3 + 0.5) * pitchPx, (k / 3 + 0.5) * pitchPx);
            fixtures::FishSpec f;
            f.size = QSizeF(10, 4);
            const double a = radius[k] > 0 ? speed[k] * frame / radius[k] : 0.3 * k;
            f.center = centre + (k == 2 ? jitter[frame] : QPointF())
                + radius[k] * QPointF(std::cos(a), std::sin(a));
            f.angleDegrees = qRadiansToDegrees(a) + 90;
            return f;
        };
        const QString video = testutils::scratchPath("measures plate.avi");
        fixtures::VideoOptions options;
        options.format = fixtures::VideoFormat::LosslessAvi;
        options.size = size;
        options.frameCount = count;
        QString error;
        QVERIFY2(fixtures::writeVideo(
                     video, options,
                     [&](int i) {
                         QVector<fixtures::FishSpec> fish;
                         for (int k = 0; k < 5; ++k)
                             fish << fishAt(k, i);
                         return fixtures::drawScene(size, fish, 5);
                     },
                     &error),
            qPrintable(error));
        // The empty plate as the background, so that the larvae that stay put are found in
        // every frame (finding them without it is the tracker's business, not this test's).
        const QString empty = testutils::scratchPath("measures plate empty.png");
        QVERIFY(fixtures::drawScene(size, {}, 5).save(empty));
        const QString data = testutils::scratchPath("measures plate.datamulti.txt");
        const auto tracked = testutils::runProgram(QStringLiteral(POND_CLI),
            { "track", video, "--method", "blobs", "--difference", "dark", "--arena-grid",
                "2x3:round:6.4mm", "--area", "0,0,191,127", "--fish", "1", "--zone",
                "left=0,0,31,63", "--background-image", empty, "--output", data, "--quiet" });
        QVERIFY2(tracked.exitCode == 0, qPrintable(tracked.err));
        TrackTable table;
        QVERIFY2(table.read(data, &error), qPrintable(error));
        QCOMPARE(table.wellNames(), QStringList({ "A1", "A2", "A3", "B1", "B2", "B3" }));
        // The wells' 6.4 mm over their 64 pixels set the scale, kept in the file.
        QCOMPARE(table.scale.describe(), QStringLiteral("0.10000000 mm/px"));
        const int rowCount = int(table.times.size());
        QVERIFY(rowCount >= count - 3);
        const int firstFrame = int(table.frameOf(0));

        const auto measures = [&](const QStringList &extra) {
            const auto run = testutils::runProgram(
                QStringLiteral(POND_CLI), QStringList { "measures", data } + extra);
            QList<QStringList> rows;
            for (const QString &line : run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
                rows << line.split(QLatin1Char(','));
            return std::make_pair(run, rows);
        };
        const auto [run, rows] = measures({});
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QCOMPARE(rows.value(0).join(','),
            QStringLiteral("fish,arena,well,start_s,end_s,distance,unit,mean_speed,mobile_s,"
                           "immobile_s,Zone1-left_s,Zone1-left_entries,Zone1-left_latency_s,"
                           "wall_s,centre_s,rows,rows_not_found"));
        QCOMPARE(rows.size(), 7);
        const auto cell = [&rows](int fish, const char *column) {
            return rows[fish + 1].value(int(rows[0].indexOf(QLatin1String(column))));
        };
        const double seconds = rowCount * table.framePeriod();
        double moving = 1e9;
        for (int k = 0; k < 5; ++k) {
            const QString well = QStringLiteral("well %1").arg(cell(k, "well"));
            QCOMPARE(cell(k, "unit"), QStringLiteral("mm"));
            QCOMPARE(cell(k, "rows").toInt() + cell(k, "rows_not_found").toInt(), rowCount);
            QVERIFY2(cell(k, "rows").toInt() >= rowCount - 2, qPrintable(well));
            const double distanceMoved = cell(k, "distance").toDouble() / 0.1; // pixels
            const double mobile = cell(k, "mobile_s").toDouble();
            const double wall = cell(k, "wall_s").toDouble();
            if (speed[k] > 0) {
                const double path = speed[k] * (rowCount - 1);
                QVERIFY2(std::abs(distanceMoved - path) <= 0.02 * path,
                    qPrintable(QStringLiteral("%1: %2 px, drawn %3 px")
                                   .arg(well)
                                   .arg(distanceMoved)
                                   .arg(path)));
                moving = std::min(moving, distanceMoved);
                QVERIFY2(mobile >= 0.95 * seconds, qPrintable(well));
            } else {
                QVERIFY2(mobile <= 0.01 * seconds, qPrintable(well));
            }
            if (k == 1)
                QCOMPARE(distanceMoved, 0.0);
            // Only the larva circling 25 px out of 32 swims in the outer quarter.
            QVERIFY2(k == 3 ? wall >= 0.95 * seconds : wall <= 0.01 * seconds, qPrintable(well));
        }
        QVERIFY2(cell(2, "distance").toDouble() / 0.1 <= 0.01 * moving,
            qPrintable(QStringLiteral("jittering larva: %1 px").arg(cell(2, "distance"))));
        QCOMPARE(cell(5, "rows").toInt(), 0); // the empty well
        QCOMPARE(cell(5, "mean_speed"), QString());

        // The zone: entries and the first latency of the drawn path of well A1's larva, whose
        // rounded pixel lies in columns 0 to 31; no other larva enters it.
        int entries = 0;
        double latency = -1;
        bool wasIn = false;
        for (int row = 0; row < rowCount; ++row) {
            const QPointF p = truth(fishAt(0, firstFrame + row));
            const bool in = std::lround(p.x()) <= 31 && std::lround(p.y()) <= 63;
            entries += in && !wasIn;
            if (in && latency < 0)
                latency = table.times[row] - table.times[0];
            wasIn = in;
        }
        QVERIFY(entries >= 4);
        QCOMPARE(cell(0, "Zone1-left_entries").toInt(), entries);
        QVERIFY(std::abs(cell(0, "Zone1-left_latency_s").toDouble() - latency) <= 0.081);
        QCOMPARE(cell(1, "Zone1-left_entries"), QStringLiteral("0"));
        QCOMPARE(cell(1, "Zone1-left_latency_s"), QString());

        // Bins of 4 s cover the file and add up to the whole.
        const auto [binned, binRows] = measures({ "--bin", "4" });
        QVERIFY2(binned.exitCode == 0, qPrintable(binned.err));
        const int bins = int(std::floor(table.times.last() / 4)) + 1;
        QCOMPARE(binRows.size(), 1 + 6 * bins);
        for (int k = 0; k < 6; ++k) {
            double sum = 0;
            int found = 0;
            for (int b = 0; b < bins; ++b) {
                const QStringList &r = binRows[1 + k * bins + b];
                QCOMPARE(r[3].toDouble(), 4.0 * b);
                sum += r[5].toDouble();
                found += r.value(r.size() - 2).toInt();
            }
            QVERIFY(std::abs(sum - cell(k, "distance").toDouble()) < 0.01);
            QCOMPARE(found, cell(k, "rows").toInt());
        }
        // The plate figure: the still larva's well at the low end of the colour scale, the
        // fastest at the high end, the empty well hatched grey; each well where it lies.
        const QString figure = testutils::scratchPath("measures plate.png");
        const auto plotted = testutils::runProgram(QStringLiteral(POND_CLI),
            { "plot", data, "--plate", "--measure", "distance", "--output", figure });
        QVERIFY2(plotted.exitCode == 0, qPrintable(plotted.err));
        const QImage plateImage(figure);
        const double s = 412.0 / 192; // the panel's plate side over the arenas' span
        const auto wellColour = [&](int k) {
            return plateImage.pixelColor(
                int(28 + ((k % 3) * 64 + 32) * s), int(60 + ((k / 3) * 64 + 12) * s));
        };
        QCOMPARE(wellColour(1), QColor(68, 1, 84));
        QCOMPARE(wellColour(3), QColor(253, 231, 37)); // B1 went furthest
        QVERIFY2(wellColour(0).green() > 200, qPrintable(wellColour(0).name()));
        QVERIFY(wellColour(5) != QColor(68, 1, 84) && wellColour(5) != wellColour(1));
        const auto badPlot = testutils::runProgram(QStringLiteral(POND_CLI),
            { "plot", data, "--plate", "--measure", "speed", "--output", figure });
        QCOMPARE(badPlot.exitCode, 2);

        // The analysis window's measures: the CLI's table cell for cell, in bins and for the
        // whole file; Export CSV writes its very bytes; the plate figure is the CLI's.
        {
            DialogScope dialogs;
            AnalysisWindow window;
            auto *path = findControl<QLineEdit>(window, "dataFileEdit");
            path->setText(data);
            QTest::keyClick(path, Qt::Key_Return);
            auto *shown = findControl<QTableWidget>(window, "measuresTableView");
            auto *bin = findControl<QDoubleSpinBox>(window, "measuresBinSpin");
            QCOMPARE(bin->text(), QStringLiteral("whole file"));
            const auto sameTable = [shown](const QList<QStringList> &cli) {
                QCOMPARE(shown->rowCount(), cli.size() - 1);
                QCOMPARE(shown->columnCount(), cli[0].size());
                for (int c = 0; c < cli[0].size(); ++c)
                    QCOMPARE(shown->horizontalHeaderItem(c)->text(), cli[0][c]);
                for (int r = 1; r < cli.size(); ++r)
                    for (int c = 0; c < cli[r].size(); ++c)
                        QCOMPARE(shown->item(r - 1, c)->text(), cli[r][c]);
            };
            bin->setValue(4);
            findControl<QPushButton>(window, "measureButton")->click();
            sameTable(binRows);
            if (QTest::currentTestFailed())
                return;
            bin->setValue(0);
            findControl<QPushButton>(window, "measureButton")->click();
            sameTable(rows);
            if (QTest::currentTestFailed())
                return;
            QVERIFY(findControl<QLabel>(window, "measuresNotesLabel")
                        ->text()
                        .contains("Lengths in mm (scale 0.10000000 mm/px)"));
            const QString exported = testutils::scratchPath("window measures.csv");
            dialogs.queueFile(exported);
            findControl<QPushButton>(window, "exportMeasuresButton")->click();
            QFile written(exported);
            QVERIFY(written.open(QIODevice::ReadOnly));
            QCOMPARE(written.readAll(), run.out.toUtf8());
            auto *panel = window.findChild<MeasuresPanel *>();
            QCOMPARE(panel->plateFigure("distance").convertToFormat(QImage::Format_RGB32),
                plateImage.convertToFormat(QImage::Format_RGB32));
            QVERIFY2(
                dialogs.unexpectedSummary().isEmpty(), qPrintable(dialogs.unexpectedSummary()));
        }

        for (const QStringList &bad : { QStringList { "--bin", "0" }, { "--wall-band", "1" },
                 { "--immobile-below", "nan" }, { "--min-move", "-1" } })
            QCOMPARE(measures(bad).first.exitCode, 2);
    }

    // "Add Arena Grid..." asks in one dialog, a drag lays the grid out over the outer wells,
    // numbered row by row, with the status bar following the drag; the wells' diameter sets
    // the scale. "Move Arenas" moves it as a whole, and its corner handles resize it (one edit
    // each, the scale following the wells). Each arena is drawn.
    void windowLaysOutAndMovesAGrid()
    {
        DialogScope dialogs;
        MainWindow w;
        auto *arenas = w.findChild<ArenaControls *>();
        QVERIFY(arenas);
        QVERIFY(!arenas->isVisibleTo(&w)); // the classic method has no arenas
        w.findChild<DetectionControls *>()->findChild<QComboBox *>()->setCurrentIndex(1);
        QVERIFY(arenas->isVisibleTo(&w));

        VideoView *view = w.view();
        view->SetImage(uniformFrame(QSize(480, 360), 120));
        view->Redraw();
        auto *scaleLabel = findControl<QLabel>(w, "scaleLabel");
        QCOMPARE(scaleLabel->text(), QStringLiteral("No scale (pixels)"));
        // A plate holding more fish than can be tracked is refused in the dialog.
        QString said;
        answerGridDialog({ 20, 20, Arena::Shape::Ellipse, 1, 0.0 }, &said);
        findControl<QPushButton>(w, "addArenaGridButton")->click();
        QVERIFY2(said.contains("more than the 200"), qPrintable(said));
        QVERIFY(w.statusBar()->currentMessage().isEmpty());

        answerGridDialog({ 6, 8, Arena::Shape::Ellipse, 1, 6.5 }, &said);
        findControl<QPushButton>(w, "addArenaGridButton")->click();
        QCOMPARE(said, QStringLiteral("48 wells, 48 fish."));
        // The status bar says what the drag does, and follows it.
        QVERIFY2(w.statusBar()->currentMessage().contains("6 rows of 8 wells"),
            qPrintable(w.statusBar()->currentMessage()));
        const auto mouse = [view](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
            QMouseEvent event(type, QPointF(at), view->mapToGlobal(QPointF(at)),
                type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, Qt::NoModifier);
            QCoreApplication::sendEvent(view, &event);
        };
        mouse(QEvent::MouseButtonPress, QPoint(0, 0), Qt::LeftButton);
        mouse(QEvent::MouseMove, QPoint(479, 359), Qt::LeftButton);
        QVERIFY2(w.statusBar()->currentMessage().contains(
                     "each well 60 x 60 px (6.5 mm: 0.10833333 mm/px)"),
            qPrintable(w.statusBar()->currentMessage()));
        mouse(QEvent::MouseButtonRelease, QPoint(479, 359), Qt::NoButton);
        QVERIFY(w.statusBar()->currentMessage().isEmpty());
        QVERIFY2(dialogs.unexpectedSummary().isEmpty(), qPrintable(dialogs.unexpectedSummary()));
        const QList<Arena> laid = view->Arenas();
        QCOMPARE(laid.size(), 48);
        QCOMPARE(laid[0].rect, QRect(0, 0, 60, 60));
        QCOMPARE(laid[0].shape, Arena::Shape::Ellipse);
        QCOMPARE(laid[8].rect, QRect(0, 60, 60, 60));
        QCOMPARE(laid[47].rect, QRect(420, 300, 60, 60));
        QCOMPARE(view->Overlays().arenas, laid);
        // 6.5 mm over 60 pixels: the scale, in the overlays a run writes and on screen.
        const QString wellScale = QStringLiteral("0.10833333 mm/px");
        QCOMPARE(view->Overlays().scale.describe(), wellScale);
        QCOMPARE(scaleLabel->text(), "Scale " + wellScale);
        QCOMPARE(findControl<QLabel>(w, "arenaSummary")->text(),
            "48 arenas, 48 fish (whole-video background)\nScale: " + wellScale);
        // Drawn with its outline; a later drag on the view draws no more arenas.
        const QImage shown = view->DisplayedPixmap().toImage();
        QCOMPARE(shown.pixel(30, 0), qRgb(255, 200, 0));
        QVERIFY(shown.pixel(1, 1) != qRgb(255, 255, 255));
        // Each number yellow in a black outline, legible on a light plate (grey 120 here).
        int yellow = 0, black = 0;
        for (int y = 2; y < 20; ++y)
            for (int x = 3; x < 25; ++x) {
                yellow += shown.pixel(x, y) == qRgb(255, 200, 0);
                black += shown.pixel(x, y) == qRgb(0, 0, 0);
            }
        QVERIFY2(yellow > 0 && black > 5, qPrintable(QString("%1 %2").arg(yellow).arg(black)));
        drag(view, QPoint(10, 10), QPoint(100, 100));
        QCOMPARE(view->Arenas().size(), 48);

        // Move Arenas shows the grid's corner handles (white squares); the bottom-right one
        // dragged in to (360, 270) lays the 6 x 8 wells out over 360 x 270 pixels, and the
        // 6.5 mm wells, now 45 pixels wide, give the scale. One Undo takes both back.
        findControl<QPushButton>(w, "moveArenasButton")->click();
        QCOMPARE(view->DisplayedPixmap().toImage().pixel(1, 1), qRgb(255, 255, 255));
        QCOMPARE(view->DisplayedPixmap().toImage().pixel(476, 356), qRgb(255, 255, 255));
        drag(view, QPoint(481, 358), QPoint(360, 270));
        const QList<Arena> resized = view->Arenas();
        QCOMPARE(resized.size(), 48);
        QCOMPARE(resized[0].rect, QRect(0, 0, 45, 45));
        QCOMPARE(resized[47].rect, QRect(315, 225, 45, 45));
        QCOMPARE(view->scale().describe(), QStringLiteral("0.14444444 mm/px"));
        QCOMPARE(view->DisplayedPixmap().toImage().pixel(366, 276), qRgb(255, 255, 255));
        QVERIFY(view->undo());
        QCOMPARE(view->Arenas(), laid);
        QCOMPARE(view->scale().describe(), wellScale);
        QCOMPARE(scaleLabel->text(), "Scale " + wellScale);
        QVERIFY(view->redo());
        QCOMPARE(view->Arenas(), resized);
        QCOMPARE(view->scale().describe(), QStringLiteral("0.14444444 mm/px"));
        QVERIFY(view->undo());
        QCOMPARE(view->Arenas(), laid);

        drag(view, QPoint(200, 200), QPoint(205, 197));
        const QList<Arena> moved = view->Arenas();
        for (int i = 0; i < 48; ++i)
            QCOMPARE(moved[i].rect, laid[i].rect.translated(5, -3));
        // The handles move with the grid (the bottom-left one now at (5, 357)) and go when
        // Move Arenas is off.
        QCOMPARE(view->DisplayedPixmap().toImage().pixel(5, 356), qRgb(255, 255, 255));
        findControl<QPushButton>(w, "moveArenasButton")->click();
        QVERIFY(view->DisplayedPixmap().toImage().pixel(5, 356) != qRgb(255, 255, 255));

        // Each drag is one edit: Undo takes back the move, then the grid; Redo (in the Edit
        // menu, Ctrl+Shift+Z) lays it out and moves it again.
        QVERIFY(view->undo());
        QCOMPARE(view->Arenas(), laid);
        QVERIFY(view->undo());
        QVERIFY(view->Arenas().isEmpty());
        QCOMPARE(
            w.findChild<QAction *>("actionRedo")->shortcut(), QKeySequence(QKeySequence::Redo));
        QVERIFY(view->redo());
        QCOMPARE(view->Arenas(), laid);
        QVERIFY(view->redo());
        QCOMPARE(view->Arenas(), moved);
        QVERIFY(!view->redo());
        // Clear Arenas asks first: Cancel keeps them; Clear removes them, and Undo brings
        // them back.
        dialogs.queueChoice(1);
        findControl<QPushButton>(w, "clearArenasButton")->click();
        QCOMPARE(view->Arenas(), moved);
        dialogs.queueChoice(0);
        findControl<QPushButton>(w, "clearArenasButton")->click();
        QVERIFY(view->Arenas().isEmpty());
        QCOMPARE(dialogs.questions.last().kind, QStringLiteral("choice"));
        QVERIFY(dialogs.questions.last().filter.contains("48 arenas"));
        QVERIFY(view->undo());
        QCOMPARE(view->Arenas(), moved);

        // Saved as a setup and loaded into another window, the moved plate is the same: round
        // wells, one grid.
        const QString plateSetup = testutils::scratchPath("window plate.pwsetup");
        dialogs.queueFile(plateSetup);
        QVERIFY(w.windowMenus()->saveSetup());
        MainWindow other;
        dialogs.queueFile(plateSetup);
        QVERIFY(other.windowMenus()->loadSetup());
        QCOMPARE(other.view()->Arenas(), moved);
        QCOMPARE(other.view()->scale().describe(), wellScale);
        QVERIFY2(dialogs.unexpectedSummary().isEmpty(), qPrintable(dialogs.unexpectedSummary()));
    }

    // The view's refresh with 200 fish and their trails on a 1024 x 1024 frame: measured and
    // reported, never asserted.
    void drawingTwoHundredMarkers()
    {
        QVector<TrackRecord> history(ViewRenderer::trailLength + 1);
        for (int r = 0; r < history.size(); ++r)
            for (int k = 0; k < 200; ++k) {
                history[r].fishPositions << QPoint(20 + 70 * (k % 14) + r, 20 + 70 * (k / 14) + r);
                history[r].fishFoundFlags << true;
            }
        ViewState state;
        state.showResults = state.fishFound = true;
        state.fishPositions
            = QList<QPoint>(history[0].fishPositions.begin(), history[0].fishPositions.end());
        OverlaySet overlays;
        overlays.areas << QRect(0, 0, 1024, 1024);
        overlays.areaLabels << QStringLiteral("Tracking Area");
        overlays.arenas
            = ArenaLayout::grid(QRect(0, 0, 1024, 1024), 10, 20, Arena::Shape::Ellipse, 1, 1);
        const QImage frame = uniformFrame(QSize(1024, 1024), 120);
        QElapsedTimer clock;
        clock.start();
        const QPixmap picture = QPixmap::fromImage(ViewRenderer::render(
            frame, overlays, state, [&history](int index, TrackRecord &record) {
                if (index >= history.size())
                    return false;
                record = history[index];
                return true;
            }));
        qInfo("refresh with 200 markers, their trails and 200 arenas: %lld ms", clock.elapsed());
        QCOMPARE(picture.size(), QSize(1024, 1024));
    }

    void hundredFishKeepTheirIdentities()
    {
        const QString video = testutils::scratchPath("hundred.avi");
        const Scene scene = hundred(40);
        QVERIFY(writeScene(video, scene, QSize(300, 300), false));
        Arena tank;
        tank.rect = QRect(0, 0, 300, 300);
        tank.fishCount = 100;
        EngineRun run;
        QVERIFY(run.run(video, { tank }));
        const QVector<TrackRecord> records = run.tracker.resultsSnapshot();
        // Each index answers for the fish nearest its first position, in every frame.
        QVector<int> truthOf(100, -1);
        int hits = 0, pairs = 0;
        for (const TrackRecord &r : records) {
            const QVector<fixtures::FishSpec> &fish = scene[int(r.frameNumber)];
            for (int i = 0; i < 100; ++i) {
                ++pairs;
                const QPointF p = r.exactPositions.value(i);
                if (truthOf[i] < 0) {
                    int nearest = 0;
                    for (int k = 1; k < 100; ++k)
                        if (distance(p, truth(fish[k])) < distance(p, truth(fish[nearest])))
                            nearest = k;
                    truthOf[i] = nearest;
                }
                if (r.fishFoundFlags.value(i) && distance(p, truth(fish[truthOf[i]])) <= 2.0)
                    ++hits;
            }
        }
        QCOMPARE(QSet<int>(truthOf.begin(), truthOf.end()).size(), 100);
        QVERIFY2(hits >= 0.99 * pairs, qPrintable(QStringLiteral("%1 of %2").arg(hits).arg(pairs)));
    }
};

QTEST_MAIN(ArenasTest)
#include "ArenasTest.moc"
