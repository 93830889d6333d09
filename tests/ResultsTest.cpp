// The results people look at: the table against the results text and its CSV read back, the
// per-fish table of a multi-fish file, and the trajectory and heat map pictures.

#include "analysis/DataAnalysis.h"
#include "analysis/FishTracks.h"
#include "analysis/OccupancyGrid.h"
#include "analysis/PictureFile.h"
#include "analysis/ResultsTable.h"
#include "analysis/TrackPicture.h"
#include "model/FishPalette.h"
#include "support/AnalysisDataFiles.h"
#include "support/TestUtils.h"

#include <QPainter>
#include <QTest>

#include <cmath>

using analysisfiles::DataFileBuilder;
using analysisfiles::real;

namespace {

// A fish walking through a zone and back, with one unconfident frame.
QString walkFile()
{
    DataFileBuilder b;
    b.zone("Zone1", 0, 0, 29, 29)
        .zone("Zone2,\"b\"", 30, 0, 59, 29)
        .ruler("Ruler1", 0, 0, 100, 0, 10)
        .pointDist("PointDist1", 0, 0, 50, 0, 5);
    const int xs[] = { 0, 10, 20, 35, 50, 70, 55, 40, 25, 10, 5, 0, 3, 9, 18, 30 };
    for (int i = 0; i < 16; ++i)
        b.row(0.25 * i, xs[i], 5, i != 6,
            { xs[i] < 30 ? 1.0 : 0.0, xs[i] >= 30 && xs[i] < 60 ? 1.0 : 0.0, xs[i] / 10.0,
                std::hypot(xs[i], 5) / 10.0 });
    return b.write(testutils::scratchPath("walk.data.txt"));
}

// One quoted-aware CSV line split (RFC 4180 quoting).
QStringList splitCsv(const QString &line)
{
    QStringList out;
    QString field;
    bool quoted = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            out << field;
            field.clear();
        } else {
            field += c;
        }
    }
    out << field;
    return out;
}

// The text report's numbers: per block, its name and the Time, Mean and Variance tokens.
struct Block
{
    QString name;
    QStringList times, means, variances;
};
QVector<Block> parseReport(const QString &text)
{
    QVector<Block> blocks;
    const QStringList lines = text.split('\n');
    for (int i = 0; i + 3 < lines.size(); i += 5) {
        const auto tokens
            = [&](int k) { return lines[i + k].split(' ', Qt::SkipEmptyParts).mid(1); };
        blocks.append(Block { lines[i], tokens(1), tokens(2), tokens(3) });
    }
    return blocks;
}

AnalysisInput walkInput(const QString &path)
{
    AnalysisInput input;
    input.path = path;
    input.rulerX = "Ruler1";
    input.rulerY = "Ruler1";
    input.rows = { { "Speed", { 0.0f, 1.0f, 0.0f } }, { "Zone1", { 0.0f, 0.5f, 0.5f } },
        { "Zone2,\"b\"", { 0.0f, 2.0f, 0.0f } }, { "PointDist1", { 0.25f, 0.75f, 0.25f } },
        { "AbsoluteTurnAngle", { 0.0f, 4.0f, 0.0f } }, { "Ruler1", { 100.0f, 1.0f, 0.0f } } };
    return input;
}

// A multi-fish file as the tracker writes it: two fish, one zone and one ruler.
QString twoFishFile(const QVector<QPoint> &fish1, const QVector<QPoint> &fish2)
{
    QStringList lines { "NumFish: ", "2", "Tracking area (x1, y1, x2, y2): ", "0 0 200 100",
        "ZoneA (x1, y1, x2, y2): ", "0 0 50 50",
        "Ruler1 (x1, y1, x2, y2, length): ", "0 0 100 0 " + real(20),
        "Time Fish1Conf? Fish1HowConf Fish1X Fish1Y Fish1ZoneA Fish1Ruler1 Fish2Conf? "
        "Fish2HowConf Fish2X Fish2Y Fish2ZoneA Fish2Ruler1 " };
    for (int i = 0; i < fish1.size(); ++i) {
        QString row = real(0.04 * i) + ' ';
        for (const QPoint &p : { fish1[i], fish2[i] }) {
            const bool inZone = p.x() < 50 && p.y() < 50;
            row += QString("1 %1 %2 %3 %4 %5 ")
                       .arg(real(40))
                       .arg(p.x())
                       .arg(p.y())
                       .arg(inZone ? 1 : 0)
                       .arg(real(p.x() / 5.0));
        }
        lines << row;
    }
    DataFileBuilder::writeLines(testutils::scratchPath("two.datamulti.txt"), lines);
    return testutils::scratchPath("two.datamulti.txt");
}

QImage greyFrame(QSize size)
{
    QImage frame(size, QImage::Format_RGB32);
    frame.fill(QColor(128, 128, 128));
    return frame;
}

bool near(QColor a, QColor b, int tolerance)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
        && std::abs(a.blue() - b.blue()) <= tolerance;
}

} // namespace

class ResultsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLoggingCategory::setFilterRules("default.debug=false"); }

    // Every window of the text report is one table row with the same start and mean, the SD
    // squared is its variance, and n, min and max are those of the window's samples.
    void tableMatchesTheReportText()
    {
        const AnalysisInput input = walkInput(walkFile());
        const AnalysisOutcome outcome = DataAnalysis::run(input);
        QCOMPARE(int(outcome.status), int(AnalysisOutcome::Status::Done));
        const ResultsTable table = ResultsTable::build(input, outcome.results);
        const QVector<Block> blocks = parseReport(AnalysisReport::text(outcome.results));
        QCOMPARE(blocks.size(), input.rows.size());

        int r = 0;
        for (int v = 0; v < blocks.size(); ++v) {
            const Block &block = blocks[v];
            QCOMPARE(block.name, input.rows[v].name);
            // Brute force: the samples of each window, by the window rule written out.
            const Samples samples = SampleCollector::collect(SampleRequest {
                input.path, input.rows[v].name, input.rulerX, input.rulerY, false });
            for (int w = 0; w < block.times.size(); ++w, ++r) {
                QVERIFY(r < table.rows.size());
                const ResultsRow &row = table.rows[r];
                QCOMPARE(row.variableRow, v);
                QCOMPARE(row.fish, 1);
                QCOMPARE(AnalysisReport::formatNumber(row.start), block.times[w]);
                QCOMPARE(AnalysisReport::formatNumber(row.mean), block.means[w]);
                const double variance = block.variances[w].toDouble();
                QVERIFY2(std::fabs(double(row.sd) * row.sd - variance) <= 1e-5 * (1 + variance),
                    qPrintable(block.name + " " + block.variances[w]));
                const WindowSettings &s = input.rows[v].window;
                QCOMPARE(row.end, row.start + s.measure);
                // A sample belongs to the first window whose end is not before it, if that
                // window has begun.
                QVector<float> inWindow;
                const double period = double(s.measure) + s.between;
                for (int i = 0; i < samples.times.size(); ++i) {
                    const double t = samples.times[i];
                    int k = 0;
                    while (s.offset + k * period + s.measure < t)
                        ++k;
                    if (t >= s.offset + k * period
                        && AnalysisReport::formatNumber(float(s.offset + k * period))
                            == block.times[w])
                        inWindow << samples.values[i];
                }
                QCOMPARE(row.n, inWindow.size());
                QCOMPARE(row.min, *std::min_element(inWindow.begin(), inWindow.end()));
                QCOMPARE(row.max, *std::max_element(inWindow.begin(), inWindow.end()));
            }
        }
        QCOMPARE(r, table.rows.size());
        QVERIFY(r > 10);

        const QStringList units { "ruler unit/s", "fraction", "fraction", "ruler unit", "degrees",
            "ruler unit" };
        for (const ResultsRow &row : table.rows)
            QCOMPARE(row.unit, units[row.variableRow]);
        // Ruler1 from 100 s has no window: it is said, not left blank.
        QCOMPARE(table.notes.size(), 1);
        QVERIFY2(table.notes[0].contains("Row 6"), qPrintable(table.notes[0]));
    }

    // The CSV parsed field by field gives back every row, the quoted name included; the
    // tab-separated copy has the same cells.
    void csvReadsBackToTheSameNumbers()
    {
        const AnalysisInput input = walkInput(walkFile());
        const ResultsTable table = ResultsTable::build(input, DataAnalysis::run(input).results);
        QStringList lines = table.csv().split('\n');
        QCOMPARE(lines.takeLast(), QString());
        QCOMPARE(lines.takeFirst(), QString("variable,unit,fish,start_s,end_s,n,mean,sd,min,max"));
        QCOMPARE(lines.size(), table.rows.size());
        const QStringList tabLines = table.tabSeparated().split('\n');
        for (int i = 0; i < lines.size(); ++i) {
            const ResultsRow &row = table.rows[i];
            const QStringList f = splitCsv(lines[i]);
            QCOMPARE(f.size(), 10);
            QCOMPARE(f[0], row.variable);
            QCOMPARE(f[1], row.unit);
            QCOMPARE(f[2].toInt(), row.fish);
            QCOMPARE(f[5].toInt(), row.n);
            const float numbers[] = { row.start, row.end, row.mean, row.sd, row.min, row.max };
            const int columns[] = { 3, 4, 6, 7, 8, 9 };
            for (int k = 0; k < 6; ++k) {
                bool ok = false;
                const double read = f[columns[k]].toDouble(&ok);
                QVERIFY(ok);
                QVERIFY2(std::fabs(read - numbers[k]) <= 5e-7 * (1 + std::fabs(numbers[k])),
                    qPrintable(lines[i]));
            }
            QCOMPARE(tabLines[i + 1].split('\t'), table.cells(row));
        }
        QVERIFY(table.csv().contains("\"Zone2,\"\"b\"\"\",fraction"));
    }

    // Each fish of a multi-fish file follows the single-fish rules on its own columns; the
    // shoal's distance is scaled by the X ruler; Speed without a ruler says why it is empty.
    void multiFishTableGivesEachFishItsRows()
    {
        QVector<QPoint> fish1, fish2;
        for (int i = 0; i < 20; ++i) {
            fish1 << QPoint(10 + i, 10); // in ZoneA, moving 1 px a frame
            fish2 << QPoint(110 + 3 * i, 60); // outside, 3 px a frame
        }
        const QString path = twoFishFile(fish1, fish2);
        AnalysisInput input;
        input.path = path;
        input.rulerX = input.rulerY = "Ruler1";
        input.rows = { { "Speed", { 0, 10, 0 } }, { "ZoneA", { 0, 10, 0 } },
            { "ShoalAvgDist", { 0, 10, 0 } } };
        const AnalysisOutcome outcome = DataAnalysis::run(input);
        QCOMPARE(int(outcome.status), int(AnalysisOutcome::Status::Done));
        const ResultsTable table = ResultsTable::build(input, outcome.results);
        QCOMPARE(table.rows.size(), 5);

        // Fish 2 alone in a single-fish file gives the same Speed window.
        DataFileBuilder single;
        single.zone("ZoneA", 0, 0, 49, 49).ruler("Ruler1", 0, 0, 100, 0, 20);
        for (int i = 0; i < 20; ++i)
            single.row(0.04 * i, fish2[i].x(), fish2[i].y(), true, { 0, fish2[i].x() / 5.0 });
        AnalysisInput alone = input;
        alone.path = single.write(testutils::scratchPath("fish2.data.txt"));
        alone.rows = { input.rows[0] };
        const ResultsTable reference = ResultsTable::build(alone, DataAnalysis::run(alone).results);
        QCOMPARE(reference.rows.size(), 1);

        const ResultsRow &speed1 = table.rows[0], &speed2 = table.rows[1];
        QCOMPARE(speed1.fish, 1);
        QCOMPARE(speed2.fish, 2);
        QCOMPARE(speed2.mean, reference.rows[0].mean);
        QCOMPARE(speed2.n, reference.rows[0].n);
        QVERIFY(std::fabs(speed1.mean * 3 - speed2.mean) < 1e-3f * speed2.mean);
        QCOMPARE(table.rows[2].mean, 1.0f); // fish 1 always in ZoneA
        QCOMPARE(table.rows[3].mean, 0.0f);
        QCOMPARE(table.rows[2].unit, QString("fraction"));
        // The shoal: mean pixel distance over the rows, times 20 units per 100 px.
        const ResultsRow &shoal = table.rows[4];
        QCOMPARE(shoal.fish, 0);
        QCOMPARE(shoal.unit, QString("ruler unit"));
        double sum = 0;
        for (int i = 0; i < 20; ++i)
            sum += std::hypot(fish1[i].x() - fish2[i].x(), fish1[i].y() - fish2[i].y());
        QVERIFY(std::fabs(shoal.mean - sum / 20 * 0.2) < 1e-3);
        QVERIFY(table.csv().contains("\nShoalAvgDist,ruler unit,all,"));

        // No ruler: Speed is empty and the note says why.
        input.rulerX = input.rulerY = QString();
        const ResultsTable bare = ResultsTable::build(input, DataAnalysis::run(input).results);
        QVERIFY(!bare.rows.isEmpty());
        QCOMPARE(bare.rows[0].variable, QString("ZoneA"));
        QVERIFY2(bare.notes.join('|').contains("Speed: empty because the file has no ruler"),
            qPrintable(bare.notes.join('|')));
    }

    // The picture is the frame enlarged by a whole factor; the path's pixels are in the fish's
    // colour where the rows put it, the rest is the frame; PNG and SVG files are written.
    void trajectoryPixelsAreWhereTheDataPutsThem()
    {
        DataFileBuilder b;
        b.zone("Zone1", 100, 10, 149, 59);
        for (int x = 20; x <= 120; x += 2)
            b.row(0.04 * x, x, 80, true, { 0 });
        // The whole-video background method writes sub-pixel positions: the pixel they round to.
        b.rawRow("4.88000000 121.60000000 79.70000000 1.60000000 41.50000000 1 0");
        FishTracks tracks;
        QString error;
        QVERIFY2(tracks.read(b.write(testutils::scratchPath("line.data.txt")), &error),
            qPrintable(error));
        QCOMPARE(tracks.fish.size(), 1);
        QCOMPARE(tracks.fish[0].xs.size(), 52);
        QCOMPARE(QPoint(tracks.fish[0].xs.last(), tracks.fish[0].ys.last()), QPoint(122, 80));

        const QImage frame = greyFrame(QSize(160, 120));
        const int scale = TrackPicture::scaleFor(frame.size());
        QCOMPARE(scale, 3);
        QImage picture(TrackPicture::pictureSize(frame.size()), QImage::Format_RGB32);
        QCOMPARE(picture.size(), QSize(480, 360));
        {
            QPainter painter(&picture);
            TrackPicture::drawTrajectory(painter, frame, tracks);
        }
        const QColor fish = FishPalette::colour(0);
        for (int x : { 30, 57, 90, 111 }) {
            const QPoint p(int((x + 0.5) * scale), int(80.5 * scale));
            QVERIFY2(near(picture.pixelColor(p), fish, 40), qPrintable(QString::number(x)));
            // Off the path (a few pixels below it) the frame shows.
            QCOMPARE(picture.pixelColor(p + QPoint(0, 4 * scale)), QColor(128, 128, 128));
        }
        QCOMPARE(picture.pixelColor(5 * scale, 110 * scale), QColor(128, 128, 128));

        // A plate's 48 fish: the legend goes into columns within a quarter or so of the picture
        // instead of one column over all of it.
        {
            FishTracks plate;
            plate.multiFish = true;
            for (int f = 0; f < 48; ++f) {
                FishTrack track;
                track.xs = { 10 + 2 * f, 12 + 2 * f };
                track.ys = { 10, 12 };
                track.found = { true, true };
                track.confidences = { 40.0f, 40.0f };
                plate.fish << track;
            }
            plate.times = { 0.0f, 0.04f };
            QImage crowded(picture.size(), QImage::Format_RGB32);
            {
                QPainter painter(&crowded);
                TrackPicture::drawTrajectory(painter, frame, plate);
            }
            // The legend's dark box, counted down the picture's right edge.
            int boxRows = 0;
            for (int y = 0; y < crowded.height(); ++y)
                boxRows += qGray(crowded.pixel(crowded.width() - 10, y)) < 80;
            QVERIFY2(boxRows > 40 && boxRows < crowded.height() / 3,
                qPrintable(QString::number(boxRows)));
        }

        const auto draw = [&](QPainter &p) { TrackPicture::drawTrajectory(p, frame, tracks); };
        const QString png = testutils::scratchPath("line.png");
        const QString svg = testutils::scratchPath("line.svg");
        QVERIFY2(PictureFile::save(png, picture.size(), draw, &error), qPrintable(error));
        QVERIFY2(PictureFile::save(svg, picture.size(), draw, &error), qPrintable(error));
        QCOMPARE(QImage(png), picture);
        QFile svgFile(svg);
        QVERIFY(svgFile.open(QIODevice::ReadOnly));
        const QByteArray svgText = svgFile.readAll();
        QVERIFY(svgText.contains("<svg") && svgText.contains("viewBox=\"0 0 480 360\""));
        // A folder that is not there: refused, naming the file.
        const QString nowhere = testutils::scratchPath("none/line.png");
        QVERIFY(!PictureFile::save(nowhere, picture.size(), draw, &error));
        QVERIFY2(error.contains(nowhere), qPrintable(error));

        // With a second fish 20 pixels lower, the Fish choice draws one path or both (All),
        // each in its own colour.
        FishTrack lower = tracks.fish[0];
        for (int &y : lower.ys)
            y += 20;
        tracks.fish << lower;
        const QPoint first(int(57.5 * scale), int(80.5 * scale));
        const QPoint second(int(57.5 * scale), int(100.5 * scale));
        for (int chosen : { -1, 0, 1 }) {
            QImage two(picture.size(), QImage::Format_RGB32);
            {
                QPainter painter(&two);
                TrackPicture::draw(
                    painter, TrackPicture::Kind::Trajectory, frame, tracks, 10, chosen);
            }
            QCOMPARE(near(two.pixelColor(first), FishPalette::colour(0), 40), chosen != 1);
            QCOMPARE(near(two.pixelColor(second), FishPalette::colour(1), 40), chosen != 0);
        }
    }

    // A fish resting in one zone with a few stray detections: at least 99% of the heat map's
    // mass lies in that zone's bins, the grid agrees with counting each position by its bin's
    // rectangle, and the picture is hottest there.
    void heatMapOfARestingFishStaysInItsZone()
    {
        DataFileBuilder b;
        b.zone("Zone1", 40, 20, 79, 59).zone("Zone2", 100, 60, 139, 99);
        QVector<QPoint> positions;
        for (int i = 0; i < 400; ++i)
            positions << QPoint(55 + (i * 7) % 9, 35 + (i * 5) % 7); // jitter inside Zone1
        positions[100] = QPoint(120, 80); // three strays
        positions[200] = QPoint(5, 5);
        positions[300] = QPoint(150, 110);
        for (int i = 0; i < positions.size(); ++i)
            b.row(0.04 * i, positions[i].x(), positions[i].y(), i != 50, { 0, 0 });
        FishTracks tracks;
        QVERIFY(tracks.read(b.write(testutils::scratchPath("rest.data.txt"))));

        for (int bin : { 10, 7 }) {
            const OccupancyGrid grid = OccupancyGrid::compute(tracks, bin);
            QCOMPARE(grid.positions, 399); // the unconfident row is not counted
            const QRect zone(QPoint(40, 20), QPoint(79, 59));
            double inZone = 0, total = 0;
            for (int r = 0; r < grid.rows; ++r) {
                for (int c = 0; c < grid.columns; ++c) {
                    int count = 0; // brute force: the positions inside this bin's rectangle
                    for (int i = 0; i < positions.size(); ++i)
                        count += i != 50 && grid.cell(c, r).contains(positions[i]);
                    QCOMPARE(grid.at(c, r), double(count) / 399);
                    total += grid.at(c, r);
                    if (zone.contains(grid.cell(c, r)))
                        inZone += grid.at(c, r);
                }
            }
            QVERIFY(std::fabs(total - 1.0) < 1e-9);
            QVERIFY2(inZone >= 0.99, qPrintable(QString::number(inZone)));
        }

        const QImage frame = greyFrame(QSize(160, 120));
        QImage picture(TrackPicture::pictureSize(frame.size()), QImage::Format_RGB32);
        {
            QPainter painter(&picture);
            TrackPicture::draw(painter, TrackPicture::Kind::HeatMap, frame, tracks, 10);
        }
        const int s = TrackPicture::scaleFor(frame.size());
        const QColor hot = picture.pixelColor(58 * s, 38 * s);
        const QColor cold = picture.pixelColor(20 * s, 90 * s);
        QVERIFY2(hot.red() > 150 && hot.green() > 100, qPrintable(hot.name()));
        QVERIFY2(
            cold.red() == cold.green() && cold.green() == cold.blue(), qPrintable(cold.name()));
    }
};

QTEST_MAIN(ResultsTest)
#include "ResultsTest.moc"
