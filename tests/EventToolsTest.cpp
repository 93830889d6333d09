// The stimulus-event analysis and blending: their windows, sums, output lines, markers and
// ordering; the two slots driven through scripted dialogs (questions asked, messages shown,
// nothing written on cancel); and the pondwatch-cli subcommands over the same files.

#include "app/MainWindow.h"
#include "support/DialogScope.h"
#include "support/TestUtils.h"
#include "tools/StimulusEventAnalysis.h"
#include "tools/StimulusEventBlender.h"

#include <QDir>
#include <QProcess>
#include <QTest>

namespace {

struct Row
{
    double seconds;
    int firstZone;
    int secondZone;
};

QString writeFile(const QString &name, const QByteArray &content)
{
    const QString path = testutils::scratchPath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(content);
    return path;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll();
}

// A single-fish data file with two zones (and one ruler after them), lines ending in `eol`.
QString dataFile(const QString &name, const QList<Row> &rows, const QByteArray &eol = "\n")
{
    QByteArray text = "Tracking area (x1, y1, x2, y2): " + eol + "0 0 100 100" + eol
        + "Left (x1, y1, x2, y2): " + eol + "0 0 50 100" + eol + "Right (x1, y1, x2, y2): " + eol
        + "50 0 100 100" + eol
        + "Seconds FishX FishY FishMovement Confidence Confidence>30.00000000 Left "
          "Right Ruler"
        + eol;
    for (const Row &row : rows)
        text += QString::asprintf("%.8f 12 34 1.00000000 40.00000000 1 %d %d -3.25000000",
                    row.seconds, row.firstZone, row.secondZone)
                    .toLatin1()
            + eol;
    return writeFile(name, text);
}

// A GFA file: 4 header lines, then the event lines.
QString gfaFile(const QString &name, const QStringList &events)
{
    QByteArray text = "Stimulus log\nsession,1\n\nname,isi,colour,size\n";
    for (const QString &event : events)
        text += event.toLatin1() + "\n";
    return writeFile(name, text);
}

// Rows every second from `from` to `to`, in the first zone throughout.
QList<Row> everySecond(int from, int to)
{
    QList<Row> rows;
    for (int t = from; t <= to; ++t)
        rows.append({ double(t), 1, 0 });
    return rows;
}

QStringList analyse(const QString &data, const QString &gfa, int offset, int window)
{
    StimulusEventAnalysis analysis;
    if (analysis.setDataFile(data) != StimulusEventAnalysis::Error::None
        || analysis.setGfaFile(gfa) != StimulusEventAnalysis::Error::None
        || analysis.read() != StimulusEventAnalysis::Error::None)
        return { "<failed>" };
    return analysis.analyse(offset, window);
}

QString blend(const QByteArray &left, const QByteArray &right)
{
    StimulusEventBlender blender;
    blender.setLeftFile(writeFile("blend-left.gfadata", left));
    blender.setRightFile(writeFile("blend-right.gfadata", right));
    if (blender.read() != StimulusEventBlender::Error::None)
        return "<failed>";
    return blender.blended();
}

// Scripted dialogs that also record what the number dialogs were given.
class RecordingDialogs : public DialogScope
{
public:
    struct IntegerQuestion
    {
        QString title, label;
        int value, min, max, step;
        bool operator==(const IntegerQuestion &o) const
        {
            return title == o.title && label == o.label && value == o.value && min == o.min
                && max == o.max && step == o.step;
        }
    };
    QList<IntegerQuestion> integerQuestions;

    int integer(QWidget *parent, const QString &title, const QString &label, int value, int min,
        int max, int step, bool *ok) override
    {
        integerQuestions.append({ title, label, value, min, max, step });
        return ScriptedDialogs::integer(parent, title, label, value, min, max, step, ok);
    }

    QStringList asked() const
    {
        QStringList list;
        for (const RecordedQuestion &q : questions)
            list << q.kind + "|" + q.caption + "|" + q.dir + "|" + q.filter;
        return list;
    }
};

QList<QStringList> messagesOf(ScriptedDialogs &dialogs)
{
    QList<QStringList> list;
    for (const RecordedMessage &m : dialogs.takeMessages())
        list << QStringList { m.kind, m.title, m.text };
    return list;
}

const QString askData = "open|Load Video Data|.|Video Data File (*.txt)";
const QString askGfa = "open|Load GFA Data|.|GFA Data File (*.gfa)";
const QString askOffset = "integer|Input||Enter offset into video file in seconds.";
const QString askWindow
    = "integer|Input||Enter inter-stimulus interval to look at during each event.";
const QString askSave = "save|Save Analyzed Data|.|";
const QString askLeft = "open|Load GFA (LEFT) Data|.|*.gfadata";
const QString askRight = "open|Load GFA (RIGHT) Data|.|*.gfadata";
const QString askBlendSave = "save|Save GFA Blended Inter-Stimulus-Interval Data|.|";

QStringList sorry(const QString &message)
{
    return { "critical", message, "Sorry." };
}

using CliResult = testutils::ProgramRun;

CliResult runCli(const QStringList &args)
{
    return testutils::runProgram(QStringLiteral(POND_CLI), args, 60000);
}

// A fresh empty folder, to show that a cancelled run wrote nothing.
QString emptyFolder(const QString &name)
{
    const QString path = testutils::scratchPath(name);
    QDir(path).removeRecursively();
    QDir().mkpath(path);
    return path;
}

const QByteArray kLeftFile = "F1 0 a b 0 0 0\n"
                             "E1 10 a b 1.5 2.5 10\n"
                             "X 5 a b 9 9 5\n"
                             "F2 0 a b 0 0 0\n"
                             "E2 20 a b 3 4 20\n";
// The second and third markers stand in a row: the third is the second's data line.
const QByteArray kRightFile = "F 0 a b 0 0 0\n"
                              "R1 7 a b 9 8.25 7\n"
                              "F 0 a b 0 0 0\n"
                              "F 3 a b 0 6 3\n"
                              "F 0 a b 0 0 0\n"
                              "R3 1 a b 0 7 1\n";
// Sorted by start: L(0) R(0) R(7) L(10) R(10), labels numbered in that merged order.
const QByteArray kBlended = "L1\tR2\tR3\tL4\tR5\t\n1.5\t8.25\t6\t3\t7\t";

} // namespace

class EventToolsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // ---- analysis ----

    // A window is clipped to the longest window, but the next event still starts a full
    // interval later.
    void windowsAreClippedAndEventsFollowByFullInterval()
    {
        QList<Row> rows = everySecond(0, 20);
        for (Row &row : rows)
            row.secondZone = row.seconds >= 10 ? 1 : 0;
        const QString data = dataFile("clip.data.txt", rows);
        const QString gfa = gfaFile("clip.gfa", { "A,10,x,y", "B,3,x,y", "C,4,x,y" });
        QCOMPARE(analyse(data, gfa, 2, 5),
            QStringList({ "A 10 x y 5 0 5", "B 3 x y 3 3 3", "C 4 x y 4 4 4" }));
    }

    // Each row carries the time since the previous row: the first row adds nothing, a row
    // at a window's start belongs to it and a row at its end to the next window. Flags
    // count when greater than 0.
    void rowsAndWindowEdges()
    {
        const QString data = dataFile("edges.data.txt",
            { { 0, 1, 0 }, { 0.5, 1, 0 }, { 2, 1, 0 }, { 3, 1, 2 }, { 3.25, 1, 0 }, { 5, 1, -1 } });
        const QString gfa = gfaFile("edges.gfa", { "E1,3", "E2,3", "E3,3" });
        QCOMPARE(
            analyse(data, gfa, 0, 90), QStringList({ "E1 3 2 0 3", "E2 3 3 1 3", "E3 3 0 0 3" }));
        // A window holding only the first row gets nothing from it.
        QCOMPARE(analyse(dataFile("first.data.txt", everySecond(0, 3)),
                     gfaFile("first.gfa", { "E,1", "E,1" }), 0, 90),
            QStringList({ "E 1 0 0 1", "E 1 1 0 1" }));
    }

    void sumsAreWrittenWithSixSignificantDigits()
    {
        const QString data
            = dataFile("digits.data.txt", { { 0, 1, 0 }, { 1.2345678, 1, 0 }, { 1234567, 1, 1 } });
        const QString gfa = gfaFile("digits.gfa", { "F,2", "G,2000000" });
        QCOMPARE(analyse(data, gfa, 0, 3000000),
            QStringList({ "F 2 1.23457 0 2", "G 2000000 1.23457e+06 1.23457e+06 2000000" }));
    }

    // A file without the "Seconds" column header (a multi-fish file) gives no rows, but
    // every event still has its line.
    void fileWithoutSecondsHeaderGivesZeros()
    {
        const QString data = writeFile("multi.datamulti.txt",
            "NumFish: \n2\nTracking area (x1, y1, x2, y2): \n0 0 9 9\n"
            "Time Fish1Conf? Fish1HowConf Fish1X Fish1Y \n"
            "0.00000000 1 40.00000000 1 1 1 1 \n"
            "1.00000000 1 40.00000000 1 1 1 1 \n");
        const QString gfa = gfaFile("multi.gfa", { "A,10", "B,20,z" });
        QCOMPARE(analyse(data, gfa, 0, 90), QStringList({ "A 10 0 0 10", "B 20 z 0 0 20" }));
    }

    // Rows without both zone flags and event lines without an interval are left out; CR LF
    // line ends are read like LF.
    void shortLinesAreSkipped()
    {
        QByteArray text
            = readFile(dataFile("short.data.txt", { { 0, 1, 0 }, { 1, 1, 0 } }, "\r\n"));
        text += "2.00000000 12\r\n3.00000000 12 34 1.0 40.0 1 1 1 -3.25000000\r\n\r\n";
        const QString data = writeFile("short.data.txt", text);
        const QString gfa = gfaFile("short.gfa", { "A,10", "", "junk", "B,5", "" });
        // Row 3 carries the 2 s since row 1, the last row before it that was read.
        QCOMPARE(analyse(data, gfa, 0, 90), QStringList({ "A 10 3 2 10", "B 5 0 0 5" }));

        // One zone only: rows lack the second flag and are all left out.
        const QString oneZone = writeFile("onezone.data.txt",
            "Tracking area (x1, y1, x2, y2): \n0 0 9 9\n"
            "Z (x1, y1, x2, y2): \n0 0 5 5\n"
            "Seconds FishX FishY FishMovement Confidence "
            "Confidence>30.00000000 Z\n"
            "0.00000000 1 1 0.0 40.0 1 1\n"
            "1.00000000 1 1 0.0 40.0 1 1\n");
        QCOMPARE(analyse(oneZone, gfa, 0, 90), QStringList({ "A 10 0 0 10", "B 5 0 0 5" }));
    }

    void outputNameGetsItsSuffix()
    {
        QCOMPARE(StimulusEventAnalysis::outputFileName("out"), QString("out.gfadata"));
        QCOMPARE(StimulusEventAnalysis::outputFileName("out.gfadata"), QString("out.gfadata"));
        QCOMPARE(
            StimulusEventAnalysis::outputFileName("out.GFADATA"), QString("out.GFADATA.gfadata"));
        QCOMPARE(StimulusEventAnalysis::outputFileName("a.txt"), QString("a.txt.gfadata"));
    }

    // ---- DoDataProcessing ----

    void dataProcessingAsksInOrderAndWrites()
    {
        MainWindow window;
        RecordingDialogs dialogs;
        const QString data = dataFile("slot.data.txt", everySecond(0, 30));
        const QString gfa = gfaFile("slot.gfa", { "S1,10,red", "S2,10,blue" });
        const QString output = testutils::scratchPath("slot-out");
        dialogs.queueFile(data);
        dialogs.queueFile(gfa);
        dialogs.queueInteger(5);
        dialogs.queueInteger(4);
        dialogs.queueFile(output);
        window.DoDataProcessing();

        QCOMPARE(dialogs.asked(), QStringList({ askData, askGfa, askOffset, askWindow, askSave }));
        using Q = RecordingDialogs::IntegerQuestion;
        QCOMPARE(dialogs.integerQuestions,
            QList<Q>({ { "Input", "Enter offset into video file in seconds.", 600, -2147483647,
                           2147483647, 1 },
                { "Input", "Enter inter-stimulus interval to look at during each event.", 90,
                    -2147483647, 2147483647, 1 } }));
        QCOMPARE(messagesOf(dialogs),
            QList<QStringList>({ { "information", "Information",
                "GFAdata analysis file '" + output + ".gfadata' successfully written." } }));
        QCOMPARE(readFile(output + ".gfadata"), QByteArray("S1 10 red 4 0 4\nS2 10 blue 4 0 4\n"));
        QVERIFY(dialogs.unexpected.isEmpty());
    }

    // Cancelled number dialogs give their shown values, 600 and 90; a name that already ends
    // in ".gfadata" is kept.
    void cancelledNumbersUseDefaults()
    {
        MainWindow window;
        DialogScope dialogs;
        const QString output = testutils::scratchPath("defaults.gfadata");
        dialogs.queueFile(dataFile("defaults.data.txt", everySecond(590, 800)));
        dialogs.queueFile(gfaFile("defaults.gfa", { "A,100", "B,50" }));
        dialogs.queueInteger(1, false);
        dialogs.queueInteger(1, false);
        dialogs.queueFile(output);
        window.DoDataProcessing();
        QCOMPARE(dialogs.takeMessages().size(), 1);
        QCOMPARE(readFile(output), QByteArray("A 100 90 0 90\nB 50 50 0 50\n"));
        QVERIFY(dialogs.unexpected.isEmpty());
    }

    // Only the header in the GFA file: an empty output file, and still the success message.
    void gfaWithOnlyHeaderGivesEmptyFile()
    {
        MainWindow window;
        DialogScope dialogs;
        const QString output = testutils::scratchPath("empty.gfadata");
        writeFile("empty.gfadata", "left over from an earlier run\n");
        dialogs.queueFile(dataFile("empty.data.txt", everySecond(0, 5)));
        dialogs.queueFile(gfaFile("empty.gfa", {}));
        dialogs.queueInteger(0);
        dialogs.queueInteger(90);
        dialogs.queueFile(output);
        window.DoDataProcessing();
        QCOMPARE(messagesOf(dialogs),
            QList<QStringList>({ { "information", "Information",
                "GFAdata analysis file '" + output + "' successfully written." } }));
        QCOMPARE(readFile(output), QByteArray());
        QVERIFY(dialogs.unexpected.isEmpty());
    }

    void dataProcessingFailures_data()
    {
        QTest::addColumn<QString>("dataName");
        QTest::addColumn<QString>("gfaName");
        QTest::addColumn<QString>("outputName");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("questionsAsked");
        const QString data = dataFile("fail.data.txt", everySecond(0, 5));
        const QString gfa = gfaFile("fail.gfa", { "A,1" });
        const QString folder = emptyFolder("a-folder");
        const QString missing = testutils::scratchPath("missing.txt");
        const QString unwritable = testutils::scratchPath("no-such-folder/out");
        QTest::newRow("data missing") << missing << gfa << ""
                                      << "Can't load video file." << 1;
        QTest::newRow("gfa missing") << data << missing << ""
                                     << "Can't load gfa file." << 2;
        QTest::newRow("data unreadable") << folder << gfa << ""
                                         << "Can't open video file." << 4;
        QTest::newRow("gfa unreadable") << data << folder << ""
                                        << "Can't open gfa file." << 4;
        QTest::newRow("output unwritable")
            << data << gfa << unwritable << "Can't open '" + unwritable + ".gfadata' for write."
            << 5;
    }
    void dataProcessingFailures()
    {
        QFETCH(QString, dataName);
        QFETCH(QString, gfaName);
        QFETCH(QString, outputName);
        QFETCH(QString, message);
        QFETCH(int, questionsAsked);
        MainWindow window;
        DialogScope dialogs;
        dialogs.queueFile(dataName);
        if (questionsAsked >= 2)
            dialogs.queueFile(gfaName);
        if (questionsAsked >= 4) {
            dialogs.queueInteger(0);
            dialogs.queueInteger(90);
        }
        if (questionsAsked >= 5)
            dialogs.queueFile(outputName);
        window.DoDataProcessing();
        QCOMPARE(dialogs.questions.size(), questionsAsked);
        QCOMPARE(messagesOf(dialogs), QList<QStringList>({ sorry(message) }));
        QVERIFY(dialogs.unexpected.isEmpty());
    }

    // Cancelling any file dialog ends the slot silently, with nothing written.
    void dataProcessingCancelWritesNothing()
    {
        const QString folder = emptyFolder("cancel-events");
        const QString data = dataFile("cancel.data.txt", everySecond(0, 5));
        const QString gfa = gfaFile("cancel.gfa", { "A,1" });
        for (int cancelAt = 0; cancelAt < 3; ++cancelAt) {
            MainWindow window;
            DialogScope dialogs;
            dialogs.queueFile(cancelAt == 0 ? QString() : data);
            if (cancelAt >= 1)
                dialogs.queueFile(cancelAt == 1 ? QString() : gfa);
            if (cancelAt >= 2) {
                dialogs.queueInteger(0);
                dialogs.queueInteger(90);
                dialogs.queueFile(QString());
            }
            window.DoDataProcessing();
            QCOMPARE(dialogs.questions.size(), cancelAt == 2 ? 5 : cancelAt + 1);
            QVERIFY(dialogs.messages.isEmpty());
            QVERIFY(dialogs.unexpected.isEmpty());
        }
        QVERIFY(QDir(folder).isEmpty());
        QVERIFY(QDir(QDir::currentPath()).entryList({ "*.gfadata" }).isEmpty());
    }

    // ---- blending ----

    void blendingTakesLinesAfterMarkersInStartOrder()
    {
        QCOMPARE(blend(kLeftFile, kRightFile).toLatin1(), kBlended);
    }

    void noEntriesGiveOneEmptyLine()
    {
        QCOMPARE(blend("A 1 a b 1 2 1\nB 2 a b 1 2 2\n", ""), QString("\n"));
        // Lowercase "f" is no marker.
        QCOMPARE(blend("f 1 a b 1 2 1\nB 2 a b 1 2 2\n", "f\nB 2 a b 1 2 2\n"), QString("\n"));
    }

    // A taken line too short for the field of its side is left out and does not move the
    // running start; a marker on the last line takes nothing.
    void shortTakenLinesAreSkipped()
    {
        const QByteArray file = "F\nE 5 a b 2\nF\n\nF\nE 5 a\nF\nE 5 a b 1 2 5\nF\n";
        // Left reads field 4: entries (0, 2) and (5, 1). Right reads field 5: only (0, 2).
        QCOMPARE(blend(file, file), QString("L1\tR2\tL3\t\n2\t2\t1\t"));
    }

    // ---- GFABlender ----

    void blenderAsksInOrderAndWrites()
    {
        MainWindow window;
        RecordingDialogs dialogs;
        const QString output = testutils::scratchPath("blended.txt");
        dialogs.queueFile(writeFile("left.gfadata", kLeftFile));
        dialogs.queueFile(writeFile("right.gfadata", kRightFile));
        dialogs.queueFile(output);
        window.GFABlender();
        QCOMPARE(dialogs.asked(), QStringList({ askLeft, askRight, askBlendSave }));
        QVERIFY(dialogs.messages.isEmpty());
        QCOMPARE(readFile(output), kBlended);
        QVERIFY(dialogs.unexpected.isEmpty());
    }

    void blenderFailures_data()
    {
        QTest::addColumn<QString>("leftName");
        QTest::addColumn<QString>("rightName");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("questionsAsked");
        const QString left = writeFile("fail-left.gfadata", kLeftFile);
        const QString right = writeFile("fail-right.gfadata", kRightFile);
        const QString folder = emptyFolder("blend-folder");
        const QString missing = testutils::scratchPath("missing.gfadata");
        QTest::newRow("left missing") << missing << right << "Can't load gfa (left) file." << 1;
        QTest::newRow("right missing") << left << missing << "Can't load gfa (right) file." << 2;
        QTest::newRow("left unreadable") << folder << right << "Can't open gfa (left) file." << 2;
        QTest::newRow("right unreadable") << left << folder << "Can't open gfa (right) file." << 2;
        // A cancelled save dialog leads to the write failure with an empty name.
        QTest::newRow("save cancelled") << left << right << "Can't open '' for write." << 3;
    }
    void blenderFailures()
    {
        QFETCH(QString, leftName);
        QFETCH(QString, rightName);
        QFETCH(QString, message);
        QFETCH(int, questionsAsked);
        MainWindow window;
        DialogScope dialogs;
        dialogs.queueFile(leftName);
        if (questionsAsked >= 2)
            dialogs.queueFile(rightName);
        if (questionsAsked >= 3)
            dialogs.queueFile(QString());
        window.GFABlender();
        QCOMPARE(dialogs.questions.size(), questionsAsked);
        QCOMPARE(messagesOf(dialogs), QList<QStringList>({ sorry(message) }));
        QVERIFY(dialogs.unexpected.isEmpty());
    }

    void blenderCancelWritesNothing()
    {
        const QString folder = emptyFolder("cancel-blend");
        for (int cancelAt = 0; cancelAt < 2; ++cancelAt) {
            MainWindow window;
            DialogScope dialogs;
            dialogs.queueFile(cancelAt == 0 ? QString() : writeFile("c-left.gfadata", kLeftFile));
            if (cancelAt == 1)
                dialogs.queueFile(QString());
            window.GFABlender();
            QCOMPARE(dialogs.questions.size(), cancelAt + 1);
            QVERIFY(dialogs.messages.isEmpty());
            QVERIFY(dialogs.unexpected.isEmpty());
        }
        QVERIFY(QDir(folder).isEmpty());
    }

    // ---- pondwatch-cli ----

    // gfa-events with the dialogs' defaults writes what the slot writes.
    void cliEventsMatchesTheSlot()
    {
        const QString data = dataFile("cli.data.txt", everySecond(590, 800));
        const QString gfa = gfaFile("cli.gfa", { "A,100,x", "B,50,y", "C,7,z" });
        const QString slotOut = testutils::scratchPath("cli-slot.gfadata");
        {
            MainWindow window;
            DialogScope dialogs;
            dialogs.queueFile(data);
            dialogs.queueFile(gfa);
            dialogs.queueInteger(0, false);
            dialogs.queueInteger(0, false);
            dialogs.queueFile(slotOut);
            window.DoDataProcessing();
            QCOMPARE(dialogs.takeMessages().size(), 1);
        }
        const QString cliOut = testutils::scratchPath("cli-out");
        const CliResult result = runCli({ "gfa-events", data, gfa, "--output", cliOut });
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.err, QString());
        QCOMPARE(
            result.out, "GFAdata analysis file '" + cliOut + ".gfadata' successfully written.\n");
        QCOMPARE(readFile(cliOut + ".gfadata"), readFile(slotOut));
        QCOMPARE(readFile(slotOut), QByteArray("A 100 x 90 0 90\nB 50 y 50 0 50\nC 7 z 7 0 7\n"));

        const CliResult options = runCli({ "gfa-events", data, gfa, "--offset", "595", "--window",
            "3", "--output", cliOut + ".gfadata" });
        QCOMPARE(options.exitCode, 0);
        QCOMPARE(readFile(cliOut + ".gfadata"),
            QByteArray("A 100 x 3 0 3\nB 50 y 3 0 3\nC 7 z 3 0 3\n"));
    }

    void cliEventsErrors()
    {
        const QString data = dataFile("clierr.data.txt", everySecond(0, 5));
        const QString gfa = gfaFile("clierr.gfa", { "A,1" });
        const QString missing = testutils::scratchPath("missing.txt");
        const QString unwritable = testutils::scratchPath("no-such-folder/out");
        CliResult r = runCli({ "gfa-events", missing, gfa, "--output", "x" });
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.err, "Can't load video file.\n" + missing + ": not found\n");
        r = runCli({ "gfa-events", data, missing, "--output", "x" });
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.err, "Can't load gfa file.\n" + missing + ": not found\n");
        r = runCli({ "gfa-events", data, gfa, "--output", unwritable });
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.err,
            "Can't open '" + unwritable + ".gfadata' for write.\n" + unwritable
                + ".gfadata: No such file or directory\n");
        QVERIFY(r.out.isEmpty());
        r = runCli({ "gfa-events", data, gfa });
        QCOMPARE(r.exitCode, 2);
        r = runCli({ "gfa-events", data, gfa, "--output", "x", "--window", "ninety" });
        QCOMPARE(r.exitCode, 2);
    }

    void cliBlend()
    {
        const QString left = writeFile("cli-left.gfadata", kLeftFile);
        const QString right = writeFile("cli-right.gfadata", kRightFile);
        const QString output = testutils::scratchPath("cli-blend.txt");
        CliResult r = runCli({ "gfa-blend", left, right, "--output", output });
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.err, QString());
        QCOMPARE(readFile(output), kBlended);

        r = runCli(
            { "gfa-blend", left, testutils::scratchPath("missing.gfadata"), "--output", output });
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.err,
            "Can't load gfa (right) file.\n" + testutils::scratchPath("missing.gfadata")
                + ": not found\n");
        r = runCli(
            { "gfa-blend", left, right, "--output", testutils::scratchPath("no-such-folder/b") });
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.err,
            "Can't open '" + testutils::scratchPath("no-such-folder/b") + "' for write.\n"
                + testutils::scratchPath("no-such-folder/b") + ": No such file or directory\n");
        r = runCli({ "gfa-blend", left });
        QCOMPARE(r.exitCode, 2);
    }

    // The analysis output feeds the blend: event lines whose name holds "F" are markers.
    void analysisThenBlend()
    {
        QList<Row> rows = everySecond(0, 40);
        for (Row &row : rows)
            row.secondZone = row.seconds >= 20 ? 1 : 0;
        const QString data = dataFile("chain.data.txt", rows);
        const QString gfa
            = gfaFile("chain.gfa", { "F,0,x,y", "S1,10,x,y", "F,0,x,y", "S2,10,x,y" });
        const QString left = testutils::scratchPath("chain-left");
        const QString right = testutils::scratchPath("chain-right");
        for (const auto &[output, offset] : { std::pair { left, "5" }, std::pair { right, "15" } })
            QCOMPARE(runCli({ "gfa-events", data, gfa, "--output", output, "--offset", offset })
                         .exitCode,
                0);
        QCOMPARE(readFile(left + ".gfadata"),
            QByteArray("F 0 x y 0 0 0\nS1 10 x y 10 0 10\n"
                       "F 0 x y 0 0 0\nS2 10 x y 10 5 10\n"));
        QCOMPARE(readFile(right + ".gfadata"),
            QByteArray("F 0 x y 0 0 0\nS1 10 x y 10 5 10\n"
                       "F 0 x y 0 0 0\nS2 10 x y 10 10 10\n"));
        const QString output = testutils::scratchPath("chain.txt");
        QCOMPARE(runCli({ "gfa-blend", left + ".gfadata", right + ".gfadata", "--output", output })
                     .exitCode,
            0);
        // Left: first-zone times at starts 0 and 10; right: second-zone times at 0 and 10.
        QCOMPARE(readFile(output), QByteArray("L1\tR2\tL3\tR4\t\n10\t5\t10\t10\t"));
    }
};

QTEST_MAIN(EventToolsTest)
#include "EventToolsTest.moc"
