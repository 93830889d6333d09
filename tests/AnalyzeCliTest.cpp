// 'pondwatch-cli analyze': the same text as the analysis window, CSV, and its errors.

#include "analysis/ResultsTable.h"
#include "analysis/TrackPicture.h"
#include "analysis/ui/AnalysisWindow.h"
#include "support/AnalysisDataFiles.h"
#include "support/DialogScope.h"
#include "support/TestUtils.h"
#include "support/VideoFixtures.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTableWidget>
#include <QTest>
#include <QtMath>

using analysisfiles::DataFileBuilder;

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

Run cli(const QStringList &args, const QString &command = QStringLiteral("analyze"))
{
    const testutils::ProgramRun r
        = testutils::runProgram(QStringLiteral(POND_CLI), QStringList { command } + args, 60000);
    Run run;
    run.exitCode = r.exitCode;
    run.out = r.out;
    run.err = r.err;
    return run;
}

QString motionFile()
{
    DataFileBuilder b;
    b.zone("Zone1", 0, 0, 15, 15)
        .ruler("Ruler1", 0, 0, 100, 0, 10)
        .ruler("Ruler2", 0, 0, 0, 100, 10);
    const int xs[] = { 0, 10, 20, 40, 70, 70, 70, 90 };
    for (int i = 0; i < 8; ++i)
        b.row(0.5 * i, xs[i], 5, i != 5, { xs[i] < 16 ? 1.0 : 0.0, xs[i] / 10.0, 0.5 });
    return b.write(testutils::scratchPath("motion.data.txt"));
}

// Three fish in two arenas (the older layout: each arena also a zone with a column per fish),
// a zone of the user's, heading and body length columns after the others, a scale; fish 2 is
// lost in row 3. Rows start at frame 1 of a 25 fps video.
QString arenaFileWithHeading()
{
    QStringList lines { "NumFish: ", "3", "Tracking area (x1, y1, x2, y2): ", "0 0 200 100",
        "Zone1-left (x1, y1, x2, y2): ", "0 0 40 100", "Arena1 (x1, y1, x2, y2): ", "0 0 100 100",
        "Arena2 (x1, y1, x2, y2): ", "100 0 200 100",
        "Detection: blobs threshold=20 arena-fish=1,2", "Scale: 0.05000000 mm/px" };
    QString columns = "Time ";
    for (int k = 1; k <= 3; ++k)
        columns += QString("Fish%1Conf? Fish%1HowConf Fish%1X Fish%1Y Fish%1Zone1-left "
                           "Fish%1Arena1 Fish%1Arena2 ")
                       .arg(k);
    for (int k = 1; k <= 3; ++k)
        columns += QString("Fish%1Heading Fish%1BodyLength ").arg(k);
    lines << columns;
    for (int i = 0; i < 6; ++i) {
        QString row = analysisfiles::real(0.04 * (i + 1)) + ' ';
        for (int k = 0; k < 3; ++k) {
            const double x = 10 + 60 * k + 1.25 * i, y = 30 + 0.5 * i;
            row += QString("%1 %2 %3 %4 %5 %6 %7 ")
                       .arg(k == 1 && i == 3 ? 0 : 1)
                       .arg(analysisfiles::real(40))
                       .arg(analysisfiles::real(x), analysisfiles::real(y))
                       .arg(x < 40 ? 1 : 0)
                       .arg(x < 100 ? 1 : 0)
                       .arg(x < 100 ? 0 : 1);
        }
        for (int k = 0; k < 3; ++k)
            row += (k == 2 && i == 0 ? QString("nan") : analysisfiles::real(30.0 * k + i)) + ' '
                + analysisfiles::real(8) + ' ';
        lines << row;
    }
    const QString path = testutils::scratchPath("arenas.datamulti.txt");
    DataFileBuilder::writeLines(path, lines);
    return path;
}

// Reads a tidy and a DeepLabCut file as their users do and prints what pandas made of them.
const char pandasReader[] = R"(
import json, sys
import pandas as pd
tidy = pd.read_csv(sys.argv[1])
dlc = pd.read_csv(sys.argv[2], header=[0, 1, 2, 3], index_col=0)
out = {"tidy_columns": list(tidy.columns), "tidy_frame_dtype": str(tidy["frame"].dtype),
       "tidy": tidy.astype(object).where(tidy.notna(), None).values.tolist(),
       "dlc_levels": list(dlc.columns.names), "dlc_index": [int(i) for i in dlc.index],
       "dlc_individuals": sorted(set(dlc.columns.get_level_values("individuals"))),
       "dlc_bodyparts": sorted(set(dlc.columns.get_level_values("bodyparts")))}
cells = {}
for (scorer, fish, part, coord) in dlc.columns:
    for frame, value in dlc[(scorer, fish, part, coord)].items():
        cells["%s %s %s %d" % (fish, part, coord, frame)] = None if pd.isna(value) else float(value)
out["dlc"] = cells
print(json.dumps(out))
)";

// What the window shows for the same file and rows (its rulers as loaded: the first one).
QString windowText(const QString &path, const QList<QStringList> &rows)
{
    DialogScope dialogs;
    AnalysisWindow w;
    dialogs.queueFile(path);
    w.LoadDataFile();
    auto *table = w.findChild<QTableWidget *>(QStringLiteral("variableTable"));
    for (const QStringList &row : rows) {
        w.AddVariable();
        const int r = table->rowCount() - 1;
        qobject_cast<QComboBox *>(table->cellWidget(r, 0))->setCurrentText(row[0]);
        for (int c = 1; c < 4; ++c)
            qobject_cast<QLineEdit *>(table->cellWidget(r, c))->setText(row[c]);
    }
    w.Analyze();
    if (!dialogs.messages.isEmpty() || !dialogs.unexpected.isEmpty())
        return QStringLiteral("unexpected dialog");
    return w.findChild<QTextEdit *>(QStringLiteral("resultsEdit"))->toPlainText();
}

} // namespace

class AnalyzeCliTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void printsTheWindowsText()
    {
        const QString path = motionFile();
        const Run run = cli({ path, "--variable", "Speed", "--variable", "Zone1", "--window",
            "0,0.5,0.5", "--variable", "Ruler1", "--window", "x,2,", "--variable", "Ruler1",
            "--window", "10,1,0" });
        QCOMPARE(run.exitCode, 0);
        const QString expected = windowText(path,
            { { "Speed", "0", "1", "0" }, { "Zone1", "0", "0.5", "0.5" },
                { "Ruler1", "x", "2", "" }, { "Ruler1", "10", "1", "0" } });
        QVERIFY2(
            expected.startsWith("Speed\nTime 0.000000 1.000000 3.000000 \n"), qPrintable(expected));
        QCOMPARE(run.out, expected);
        QVERIFY2(!run.err.contains("SPEED:"), qPrintable(run.err));
    }

    void rulersAndConfidence()
    {
        const QString path = motionFile();
        // Ruler2 stays put, so the speed is the one along Ruler1.
        Run run = cli({ path, "--variable", "Speed", "--ruler-y", "Ruler2" });
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out.split('\n').mid(0, 3),
            QStringList({ "Speed", "Time 0.000000 1.000000 3.000000 ",
                "Mean 2.000000 5.000000 4.000000 " }));
        run = cli({ path, "--variable", "Zone1", "--window", "0,10,0", "--all-confident" });
        QCOMPARE(run.out.split('\n').value(2), QString("Mean 0.250000 "));
        run = cli({ path, "--variable", "Zone1", "--window", "0,10,0" });
        QCOMPARE(run.out.split('\n').value(2), QString("Mean 0.285714 "));
    }

    void csv()
    {
        const Run run = cli({ motionFile(), "--csv", "--variable", "Speed", "--ruler-x", "Ruler1",
            "--ruler-y", "Ruler2", "--variable", "Ruler1", "--window", "100,1,0" });
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out,
            QString("variable,start,mean,variance\n"
                    "Speed,0.000000,2.000000,0.000000\n"
                    "Speed,1.000000,5.000000,1.000000\n"
                    "Speed,3.000000,4.000000,0.000000\n"));
    }

    void errors()
    {
        const auto expectFailure = [](const Run &run, const QString &message) {
            QVERIFY(run.exitCode > 0);
            QVERIFY(run.out.isEmpty());
            QVERIFY2(run.err.contains(message), qPrintable(run.err));
        };
        expectFailure(cli({ testutils::scratchPath("absent.txt"), "--variable", "Speed" }),
            "Can't load video data file.");
        const QString folder = testutils::scratchPath("folder.txt");
        QDir().mkpath(folder);
        expectFailure(cli({ folder, "--variable", "Zone1", "--ruler-x", "R", "--ruler-y", "R" }),
            "Can't open video data file.");
        expectFailure(cli({ motionFile(), "--variable", "Speed", "--variable", "Zone1", "--window",
                          "0,0,0" }),
            "Time to Measure plus Time Between must be positive.");

        // Usage errors.
        expectFailure(
            cli({ motionFile(), "--window", "0,1,0", "--variable", "Speed" }), "--window");
        expectFailure(cli({ motionFile(), "--variable", "Speed", "--window", "0,1" }), "--window");
        expectFailure(cli({ motionFile() }), "--variable");
        expectFailure(cli({ "--variable", "Speed" }), "DATAFILE");
        // A name the file does not offer (a typo) gives no numbers: refused, with the names.
        const Run typo = cli({ motionFile(), "--variable", "Speed", "--variable", "TurnAngle" });
        QCOMPARE(typo.exitCode, 2);
        expectFailure(typo,
            "--variable TurnAngle: " + motionFile()
                + " offers Speed, RelativeTurnAngle, AbsoluteTurnAngle, Zone1");
    }

    // --table prints the window's results table as CSV; its means are the --csv means.
    void tableIsTheWindowsTable()
    {
        const QString path = motionFile();
        const QStringList rows { "--variable", "Speed", "--variable", "Zone1", "--window",
            "0,0.5,0.5" };
        const Run table = cli(QStringList { path, "--table" } + rows);
        QCOMPARE(table.exitCode, 0);
        AnalysisInput input;
        input.path = path;
        input.rulerX = input.rulerY = "Ruler1";
        input.rows = { { "Speed", { 0, 1, 0 } }, { "Zone1", { 0, 0.5f, 0.5f } } };
        QCOMPARE(table.out, ResultsTable::build(input, DataAnalysis::run(input).results).csv());

        QStringList csvMeans, tableMeans;
        for (const QString &line : cli(QStringList { path, "--csv" } + rows).out.split('\n').mid(1))
            csvMeans << line.section(',', 2, 2);
        for (const QString &line : table.out.split('\n').mid(1))
            tableMeans << line.section(',', 6, 6);
        QCOMPARE(tableMeans, csvMeans);
        QCOMPARE(cli(QStringList { path, "--table", "--csv" } + rows).exitCode, 2);
    }

    // Both trajectory layouts load in pandas as their users load them and agree with the data
    // file: frames as picture indices, fish and arenas from 1, heading read by column name,
    // lengths in the file's unit, empty cells (never a stale position) where a fish was lost.
    // A classic single-fish file has no arena, heading or unit columns; bad options are refused.
    void trajectoriesLoadInPandas()
    {
        const QString data = arenaFileWithHeading();
        const QString tidy = testutils::scratchPath("arenas.tidy.csv");
        const QString dlc = testutils::scratchPath("arenas.dlc.csv");
        Run run = cli({ data, "--format", "tidy", "--output", tidy }, "trajectories");
        QVERIFY2(run.exitCode == 0 && run.err.isEmpty(), qPrintable(run.err));
        run = cli({ data, "--format=dlc", "--output", dlc }, "trajectories");
        QVERIFY2(run.exitCode == 0 && run.err.isEmpty(), qPrintable(run.err));
        const QString script = testutils::scratchPath("read.py");
        DataFileBuilder::writeLines(script, { pandasReader });
        // Debian's Python with python3-pandas, not whichever python3 comes first on the PATH.
        const testutils::ProgramRun python
            = testutils::runProgram(QStringLiteral("/usr/bin/python3"), { script, tidy, dlc });
        QVERIFY2(python.exitCode == 0, qPrintable("pandas (python3-pandas) failed: " + python.err));
        const QJsonObject read = QJsonDocument::fromJson(python.out.toUtf8()).object();

        QCOMPARE(read["tidy_columns"].toVariant().toStringList(),
            QString("frame,time_s,fish,arena,found,x_px,y_px,heading_deg,x_mm,y_mm").split(','));
        QCOMPARE(read["tidy_frame_dtype"].toString(), QString("int64"));
        QCOMPARE(read["dlc_levels"].toVariant().toStringList(),
            QStringList({ "scorer", "individuals", "bodyparts", "coords" }));
        QCOMPARE(read["dlc_individuals"].toVariant().toStringList(),
            QStringList({ "fish1", "fish2", "fish3" }));
        QCOMPARE(read["dlc_bodyparts"].toVariant().toStringList(),
            QStringList({ "centroid", "head", "tail" }));
        QCOMPARE(read["dlc_index"].toVariant().toList().size(), 6);
        const QJsonArray rows = read["tidy"].toArray();
        QCOMPARE(rows.size(), 18);
        const QJsonObject cells = read["dlc"].toObject();
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(read["dlc_index"].toArray()[i].toInt(), i + 1);
            for (int k = 0; k < 3; ++k) {
                const QJsonArray r = rows[3 * i + k].toArray();
                const bool lost = k == 1 && i == 3;
                const double x = 10 + 60 * k + 1.25 * i, y = 30 + 0.5 * i;
                const QString where = QString("frame %1 fish %2").arg(i + 1).arg(k + 1);
                QVERIFY2(r[0].toInt() == i + 1 && std::abs(r[1].toDouble() - 0.04 * (i + 1)) < 1e-6
                        && r[2].toInt() == k + 1 && r[3].toInt() == (k == 0 ? 1 : 2)
                        && r[4].toInt() == (lost ? 0 : 1),
                    qPrintable(where));
                const auto dlcCell = [&](const char *part, const char *coord) {
                    return cells[QString("fish%1 %2 %3 %4").arg(k + 1).arg(part, coord).arg(i + 1)];
                };
                if (lost) {
                    for (int c : { 5, 6, 7, 8, 9 })
                        QVERIFY2(r[c].isNull(), qPrintable(where));
                    for (const char *part : { "centroid", "head", "tail" })
                        QVERIFY2(
                            dlcCell(part, "x").isNull() && dlcCell(part, "likelihood").isNull(),
                            qPrintable(where));
                    continue;
                }
                const bool headingKnown = !(k == 2 && i == 0);
                const double heading = 30.0 * k + i;
                QVERIFY2(std::abs(r[5].toDouble() - x) < 1e-3
                        && std::abs(r[6].toDouble() - y) < 1e-3
                        && (headingKnown ? std::abs(r[7].toDouble() - heading) < 1e-2
                                         : r[7].isNull())
                        && std::abs(r[8].toDouble() - 0.05 * x) < 1e-3
                        && std::abs(r[9].toDouble() - 0.05 * y) < 1e-3,
                    qPrintable(where));
                QVERIFY2(std::abs(dlcCell("centroid", "x").toDouble() - x) < 1e-3
                        && std::abs(dlcCell("centroid", "y").toDouble() - y) < 1e-3
                        && dlcCell("centroid", "likelihood").toDouble() == 1.0,
                    qPrintable(where));
                if (!headingKnown) {
                    QVERIFY2(dlcCell("head", "x").isNull(), qPrintable(where));
                    continue;
                }
                // The head 4 px (half the body) along the heading, the tail as far behind.
                const double a = qDegreesToRadians(heading);
                QVERIFY2(std::abs(dlcCell("head", "x").toDouble() - (x + 4 * std::cos(a))) < 1e-3
                        && std::abs(dlcCell("head", "y").toDouble() - (y + 4 * std::sin(a))) < 1e-3
                        && std::abs(dlcCell("tail", "x").toDouble() - (x - 4 * std::cos(a))) < 1e-3,
                    qPrintable(where));
            }
        }

        // A classic single-fish file: pixels only, no arena, no heading; to standard output.
        run = cli({ motionFile(), "--format", "tidy" }, "trajectories");
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.value(0), QString("frame,time_s,fish,arena,found,x_px,y_px,heading_deg"));
        QCOMPARE(lines.size(), 9);
        QCOMPARE(lines.value(2), QString("1,0.500000,1,,1,10.000,5.000,"));
        QCOMPARE(lines.value(6), QString("5,2.500000,1,,0,,,")); // not confident: no position
        // measures on it: in pixels, and it says so.
        run = cli({ motionFile() }, "measures");
        QVERIFY2(run.exitCode == 0 && run.err.contains("no scale: lengths are in pixels"),
            qPrintable(run.err));
        QVERIFY2(run.out.contains("\n1,,,0.000,4.000,90.0000,px,"), qPrintable(run.out));
        run = cli({ motionFile(), "--format", "dlc" }, "trajectories");
        QCOMPARE(run.out.split('\n').value(2), QString("bodyparts,centroid,centroid,centroid"));

        for (const QStringList &bad : { QStringList { data, "--format", "csv" },
                 QStringList { data }, QStringList { data, data, "--format", "tidy" } })
            QCOMPARE(cli(bad, "trajectories").exitCode, 2);
        run = cli({ testutils::scratchPath("absent.txt"), "--format", "tidy" }, "trajectories");
        QVERIFY2(run.exitCode == 1 && run.err.contains("absent.txt"), qPrintable(run.err));
        const QString nowhere = testutils::scratchPath("none/t.csv");
        run = cli({ data, "--format", "tidy", "--output", nowhere }, "trajectories");
        QVERIFY2(run.exitCode == 1 && run.err.contains(nowhere), qPrintable(run.err));
    }

    // plot draws over the video's first frame, at the picture size, as PNG or SVG; a bad
    // option, a missing video and an unwritable output are refused with their reasons.
    void plotWritesTrajectoriesAndHeatMaps()
    {
        const QString video = testutils::scratchPath("pond.avi");
        fixtures::VideoOptions options;
        options.size = QSize(160, 120);
        options.frameCount = 5;
        QString error;
        QVERIFY2(fixtures::writeVideo(
                     video, options,
                     [](int) {
                         QImage frame(160, 120, QImage::Format_RGB888);
                         frame.fill(QColor(200, 200, 200));
                         return frame;
                     },
                     &error),
            qPrintable(error));
        DataFileBuilder b;
        b.area(0, 0, 159, 119).zone("Zone1", 10, 10, 59, 59);
        for (int i = 0; i < 40; ++i)
            b.row(0.04 * i, 20 + 2 * i, 60, true, { 0 });
        const QString data = b.write(video + ".data.txt");

        const QString png = testutils::scratchPath("trajectory.png");
        Run run = cli({ data, "--video", video, "--trajectory", "--output", png }, "plot");
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
        const QImage picture(png);
        QCOMPARE(picture.size(), TrackPicture::pictureSize(QSize(160, 120)));
        const int s = TrackPicture::scaleFor(QSize(160, 120));
        QVERIFY(picture.pixelColor(int(50.5 * s), int(60.5 * s)).red() > 180); // on the path
        const QColor frame = picture.pixelColor(int(50.5 * s), 100 * s);
        QVERIFY2(std::abs(frame.red() - 200) < 12 && std::abs(frame.blue() - 200) < 12,
            qPrintable(frame.name()));

        const QString svg = testutils::scratchPath("heat.svg");
        run = cli({ data, "--video", video, "--heatmap", "--bin", "5", "--output", svg }, "plot");
        QCOMPARE(run.exitCode, 0);
        QFile file(svg);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("<svg"));

        const auto refused = [&](const QStringList &args, int code, const QString &message) {
            const Run r = cli(args, "plot");
            QCOMPARE(r.exitCode, code);
            QVERIFY2(r.err.contains(message), qPrintable(r.err));
        };
        // The file of a 640x480 video over this one: drawn, with a warning.
        run = cli({ motionFile(), "--video", video, "--heatmap", "--output", png }, "plot");
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(
            run.err.contains("reaches past the 160x120 frame of " + video), qPrintable(run.err));
        refused({ data, "--video", video, "--output", png }, 2, "--trajectory");
        refused({ data, "--video", video, "--heatmap", "--bin", "0", "--output", png }, 2, "--bin");
        refused({ data, "--video", video, "--heatmap", "--output", "x.jpg" }, 2, ".png or .svg");
        refused({ data, "--video", "absent.avi", "--heatmap", "--output", png }, 3, "absent.avi");
        const QString nowhere = testutils::scratchPath("none/heat.png");
        refused({ data, "--video", video, "--heatmap", "--output", nowhere }, 1, nowhere);
    }
};

QTEST_MAIN(AnalyzeCliTest)
#include "AnalyzeCliTest.moc"
