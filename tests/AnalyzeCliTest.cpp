// 'pondwatch-cli analyze': the same text as the analysis window, CSV, and its errors.

#include "analysis/ui/AnalysisWindow.h"
#include "support/AnalysisDataFiles.h"
#include "support/DialogScope.h"
#include "support/TestUtils.h"

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

Run cli(const QStringList &args)
{
    const testutils::ProgramRun r
        = testutils::runProgram(QStringLiteral(POND_CLI), QStringList { "analyze" } + args, 60000);
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
    }
};

QTEST_MAIN(AnalyzeCliTest)
#include "AnalyzeCliTest.moc"
