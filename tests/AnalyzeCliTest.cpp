// 'pondwatch-cli analyze': the same text as the analysis window, CSV, and its errors.

#include "analysis/ResultsTable.h"
#include "analysis/TrackPicture.h"
#include "analysis/ui/AnalysisWindow.h"
#include "support/AnalysisDataFiles.h"
#include "support/DialogScope.h"
#include "support/TestUtils.h"
#include "support/VideoFixtures.h"

#include <QProcess>
#include <QTableWidget>
#include <QTest>

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

// What the window shows for the same file and rows (its rulers as loaded: the first one).
QString windowText(const QString &path, const QList<QStringList> &rows)
{
    DialogScope dialogs;
    AnalysisWindow w;
    dialogs.queueFile(path);
    w.LoadDataFile();
    auto *table = w.findChild<QTableWidget *>();
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
    return w.findChild<QTextEdit *>()->toPlainText();
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
