// pondwatch-cli batch as a user meets it: the manifest's cells, a batch that goes on past a bad
// video and skips an up-to-date one, and Ctrl+C that leaves only whole files behind.

#include "batch/BatchManifest.h"
#include "support/TestUtils.h"
#include "support/VideoFixtures.h"

#include "formats/SetupFile.h"
#include "formats/TrackingDataFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <csignal>

namespace {

QString writeText(const QString &path, const QByteArray &text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return QString();
    return path;
}

QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

QString fishVideo(const QString &path, int frames)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    fixtures::VideoOptions options;
    options.frameCount = frames;
    QString error;
    if (!fixtures::writeVideo(
            path, options,
            [](int i) {
                return fixtures::drawScene(QSize(160, 120),
                    { fixtures::FishSpec { QPointF(20 + (i % 60) * 2.0, 60) } }, 7);
            },
            &error))
        qWarning("%s", qPrintable(error));
    return path;
}

// The data rows of a tracking data file: the lines after the column header.
int rowsIn(const QString &path)
{
    const QList<QByteArray> lines = bytesOf(path).split('\n');
    int header = -1;
    for (int i = 0; i < lines.size() && header < 0; ++i)
        if (lines[i].startsWith("Seconds ") || lines[i].startsWith("Time "))
            header = i;
    int rows = 0;
    for (int i = header + 1; header >= 0 && i < lines.size(); ++i)
        rows += lines[i].isEmpty() ? 0 : 1;
    return rows;
}

// The summary's rows, each as its cells (no cell of these tests holds a comma).
QList<QStringList> summaryRows(const QString &path)
{
    QList<QStringList> rows;
    const QList<QByteArray> lines = bytesOf(path).split('\n');
    for (const QByteArray &line : lines)
        if (!line.isEmpty())
            rows << QString::fromUtf8(line).split(',');
    return rows;
}

// True when the process is gone, or a zombie nobody has reaped yet.
bool processEnded(const QByteArray &pid)
{
    QFile stat("/proc/" + pid + "/stat");
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray text = stat.readAll();
    const int end = text.lastIndexOf(')');
    return end < 0 || text.mid(end + 2, 1) == "Z" || text.mid(end + 2, 1) == "X";
}

const QStringList manifestOptions { "area", "fish", "average", "setup", "zone" };

} // namespace

class BatchTest : public QObject
{
    Q_OBJECT

private slots:
    // The cells of a manifest: quoted cells with commas, quotes and line breaks, CRLF and a
    // byte-order mark, empty cells left to the default, repeated columns kept in order, paths
    // taken from the manifest's folder; errors name the file, the line and the reason.
    void manifestCellsBecomeTrackOptions()
    {
        BatchManifest manifest(manifestOptions);
        QString error;
        QVERIFY2(manifest.parse("\xEF\xBB\xBFvideo,area,fish,zone,zone,setup\r\n"
                                "a.avi,\"1,2,30,40\",,\"say \"\"hi\"\"=1,1,5,5\",\"two\n"
                                "lines=2,2,6,6\",\r\n"
                                "\r\n"
                                "/abs/b.mp4,\"0,0,9,9\", 3 ,,,../s.setup\n",
                     "/data/run", "m.csv", &error),
            qPrintable(error));
        QCOMPARE(manifest.jobs().size(), 2);
        const BatchJob &a = manifest.jobs()[0];
        QCOMPARE(a.line, 2);
        QCOMPARE(a.video, QString("/data/run/a.avi"));
        QCOMPARE(a.fishCount, 1);
        QCOMPARE(a.trackArguments,
            QStringList(
                { "--area=1,2,30,40", "--zone=say \"hi\"=1,1,5,5", "--zone=two\nlines=2,2,6,6" }));
        const BatchJob &b = manifest.jobs()[1];
        QCOMPARE(b.line, 5);
        QCOMPARE(b.video, QString("/abs/b.mp4"));
        QCOMPARE(b.setup, QString("/data/s.setup"));
        QCOMPARE(b.fishCount, 3);
        QCOMPARE(b.trackArguments,
            QStringList({ "--area=0,0,9,9", "--fish=3", "--setup=/data/s.setup" }));

        // A cell that starts with ':' names a file in the manifest's folder, never a Qt resource.
        BatchManifest colon(manifestOptions);
        QVERIFY(colon.parse("video,setup\n:x.avi,:s.setup\n", "/data/run", "m.csv", &error));
        QCOMPARE(colon.jobs()[0].video, QString("/data/run/:x.avi"));
        QCOMPARE(colon.jobs()[0].setup, QString("/data/run/:s.setup"));

        const QList<QPair<QByteArray, QString>> refused {
            { "", "m.csv: no header row" },
            { "area\n1,1,5,5\n", "m.csv:1: no column named video" },
            { "video,output\na.avi,b\n", "m.csv:1: unknown column 'output'" },
            { "video,video\na,b\n", "m.csv:1: the column video appears twice" },
            { "video,fish\na.avi\n", "m.csv:2: 1 cells where the header has 2" },
            { "video,fish\n,2\n", "m.csv:2: the video cell is empty" },
            { "video\n\"a.avi\n", "m.csv:2: a quoted cell is never closed" },
            { "video\na\"b\".avi\n", "m.csv:2: a quote inside an unquoted cell" },
        };
        for (const auto &[text, expected] : refused) {
            BatchManifest bad(manifestOptions);
            QVERIFY2(!bad.parse(text, "/data", "m.csv", &error), text.constData());
            QVERIFY2(error.startsWith(expected), qPrintable(error + " <> " + expected));
        }
    }

    // Four videos, two at a time: one tracked, one that is no video (the batch goes on and
    // exits 1), one whose data file is newer than the video (skipped, file untouched), one cut
    // short (exit 6: failed, its records set aside, so that a rerun never takes it for done).
    // The summary lists each in the manifest's order; a success removes the records an earlier
    // batch set aside.
    void batchGoesOnPastABadVideoAndSkipsAnUpToDateOne()
    {
        const QString folder = testutils::scratchPath("three");
        fishVideo(folder + "/videos/good.avi", 40);
        fixtures::writeTextFile(folder + "/videos/bad.avi");
        fishVideo(folder + "/videos/old.avi", 40);
        const QString whole = fishVideo(folder + "/whole.avi", 40);
        fixtures::writeTruncatedCopy(
            whole, folder + "/videos/cut.avi", QFileInfo(whole).size() / 2 + 333);
        const QString out = folder + "/out";
        writeText(out + "/good.avi.data.txt.stopped", "records of an earlier, stopped batch\n");
        const QByteArray earlier = "an earlier data file, newer than its video\n";
        writeText(out + "/old.avi.data.txt", earlier);
        QFile earlierFile(out + "/old.avi.data.txt");
        QVERIFY(earlierFile.open(QIODevice::ReadWrite));
        QVERIFY(earlierFile.setFileTime(
            QFileInfo(folder + "/videos/old.avi").lastModified().addSecs(60),
            QFileDevice::FileModificationTime));
        earlierFile.close();
        const QString manifest = writeText(folder + "/list.csv",
            "video,area,average\n"
            "videos/good.avi,\"10,10,150,110\",5\n"
            "videos/bad.avi,\"10,10,150,110\",\n"
            "videos/old.avi,\"10,10,150,110\",5\n"
            "videos/cut.avi,\"10,10,150,110\",5\n");

        const auto run = testutils::runProgram(
            POND_CLI, { "batch", manifest, "--jobs", "2", "--output-dir", out });
        const QString what = run.err;
        QVERIFY2(run.exitCode == 1, qPrintable(what));
        QVERIFY2(run.err.contains("2 of 4 videos failed"), qPrintable(what));
        QVERIFY2(
            run.err.contains("batch: 4/4 videos done (2 failed, 1 skipped)"), qPrintable(what));

        const QList<QStringList> rows = summaryRows(out + "/list.summary.csv");
        QCOMPARE(rows.size(), 5);
        QCOMPARE(rows[0],
            QStringList(
                { "video", "data_file", "status", "exit_code", "message", "rows", "seconds" }));
        QCOMPARE(rows[1].mid(0, 4),
            QStringList({ folder + "/videos/good.avi", out + "/good.avi.data.txt", "done", "0" }));
        // Every record the run reported is in the file: one row per frame after the one shown.
        QCOMPARE(rows[1][5].toInt(), 38);
        QCOMPARE(rowsIn(out + "/good.avi.data.txt"), 38);
        QCOMPARE(rows[2].mid(0, 4),
            QStringList({ folder + "/videos/bad.avi", out + "/bad.avi.data.txt", "failed", "3" }));
        QVERIFY2(rows[2][4].contains("bad.avi"), qPrintable(rows[2].join(',')));
        QVERIFY(!QFile::exists(out + "/bad.avi.data.txt"));
        QCOMPARE(rows[3].mid(0, 3),
            QStringList({ folder + "/videos/old.avi", out + "/old.avi.data.txt", "skipped" }));
        QCOMPARE(bytesOf(out + "/old.avi.data.txt"), earlier);
        QVERIFY(!QFile::exists(out + "/good.avi.data.txt.stopped"));
        const QString cutData = out + "/cut.avi.data.txt";
        QCOMPARE(
            rows[4].mid(0, 4), QStringList({ folder + "/videos/cut.avi", cutData, "failed", "6" }));
        // The message names the picture, counted from the first (0), and where the records are.
        QVERIFY2(
            rows[4][4].contains(
                QStringLiteral("records up to frame %1 (").arg(rowsIn(cutData + ".failed") + 1))
                && rows[4][4].endsWith("written to " + cutData + ".failed"),
            qPrintable(rows[4].join(',')));
        QVERIFY(!QFile::exists(cutData));

        // Run again: everything tracked is now up to date, and only the bad video fails again.
        // Two rows that would write one data file are refused before anything runs.
        const QString twice = writeText(folder + "/twice.csv",
            "video,area\nvideos/good.avi,\"10,10,150,110\"\nvideos/../videos/good.avi,\n");
        const auto refused = testutils::runProgram(POND_CLI, { "batch", twice });
        QCOMPARE(refused.exitCode, 1);
        QVERIFY2(
            refused.err.contains(twice + ":3: this row's data file "), qPrintable(refused.err));

        const auto again = testutils::runProgram(
            POND_CLI, { "batch", manifest, "--jobs", "2", "--output-dir", out });
        QVERIFY2(again.exitCode == 1, qPrintable(again.err));
        const QList<QStringList> second = summaryRows(out + "/list.summary.csv");
        QCOMPARE(second[1][2], QString("skipped"));
        QCOMPARE(second[2][2], QString("failed"));
        QCOMPARE(second[3][2], QString("skipped"));
        QCOMPARE(second[4][2], QString("failed"));

        // Every track option may be a column: the method and arenas too. The data file has the
        // several-fish name that track gives it when the row asks for arenas, or for several
        // fish through its setup file.
        TrackingSetup twoFish;
        twoFish.overlays.areas << QRect(QPoint(10, 10), QPoint(150, 110));
        twoFish.overlays.areaLabels << "Tracking Area";
        twoFish.fishCount = 2;
        twoFish.framesToAverage = 5;
        QVERIFY(SetupFile::write(folder + "/two.setup", twoFish));
        const QString plate = writeText(folder + "/plate.csv",
            "video,area,average,method,arena,arena,setup\n"
            "videos/good.avi,\"10,10,150,110\",5,blobs,\"10,10,79,110\",\"80,10,150,110\",\n"
            "videos/old.avi,,,,,,two.setup\n");
        const auto arenas = testutils::runProgram(
            POND_CLI, { "batch", plate, "--output-dir", folder + "/plate" });
        QVERIFY2(arenas.exitCode == 0, qPrintable(arenas.err));
        const QByteArray data = bytesOf(folder + "/plate/good.avi.datamulti.txt");
        QVERIFY2(data.contains(" arena-fish=1,1 arena-rects=10:10:79:110,80:10:150:110\n"),
            data.left(400).constData());
        QCOMPARE(rowsIn(folder + "/plate/old.avi.datamulti.txt"), 38);
    }

    // A signal stops the batch: SIGINT (Ctrl+C) or SIGHUP (a closed terminal) stops the running
    // video, whose records are kept whole aside, the rest never start, and the summary says so;
    // a quick second Ctrl+C ends the running video at once and still leaves a summary. After
    // kill -9 of the batch its child dies too, and the summary written so far is there. No
    // temporary file stays behind.
    void signalsStopTheBatchWithOnlyWholeFiles()
    {
        const QString folder = testutils::scratchPath("stop");
        // A long video: a clip repeated without re-encoding, so the run is mid-way when stopped.
        const QString clip = fishVideo(folder + "/clip.avi", 500);
        QByteArray list;
        for (int i = 0; i < 60; ++i)
            list += "file '" + QFile::encodeName(clip) + "'\n";
        const QString video = folder + "/long.avi";
        const auto concat = testutils::runProgram("ffmpeg",
            { "-nostdin", "-loglevel", "error", "-y", "-f", "concat", "-safe", "0", "-i",
                writeText(folder + "/clips.txt", list), "-c", "copy", video });
        QVERIFY2(concat.exitCode == 0, qPrintable(concat.err));
        QByteArray manifestText = "video,area,average\n";
        for (int i = 1; i <= 3; ++i) {
            QVERIFY(QFile::link(video, folder + QStringLiteral("/long%1.avi").arg(i)));
            manifestText += QStringLiteral("long%1.avi,\"10,10,150,110\",10\n").arg(i).toUtf8();
        }
        const QString manifest = writeText(folder + "/list.csv", manifestText);

        struct Case
        {
            QList<int> sent; // one after the other
            int exitCode; // -1: killed
            QString status; // of the first video in the summary
        };
        const QList<Case> cases = {
            { { SIGINT }, 130, "stopped" },
            { { SIGHUP }, 129, "stopped" },
            { { SIGINT, SIGINT }, 130, "stopped" },
            { { SIGKILL }, -1, "running" },
        };
        for (int c = 0; c < cases.size(); ++c) {
            const Case &k = cases[c];
            const QString out = folder + "/out" + QString::number(c);
            QProcess batch;
            batch.start(POND_CLI, { "batch", manifest, "--jobs", "1", "--output-dir", out });
            QVERIFY(batch.waitForStarted());
            // Signals once the first track run is under way: its SIGINT handler is set (the
            // "SigCgt" mask of /proc), which track sets just before tracking.
            const QString children
                = QStringLiteral("/proc/%1/task/%1/children").arg(batch.processId());
            QByteArray child;
            auto trackRunCatchesSigint = [&] {
                child = bytesOf(children).trimmed().split(' ').value(0);
                // Past its exec: a child just forked still holds the batch's own handlers.
                if (child.isEmpty()
                    || !bytesOf("/proc/" + child + "/cmdline").contains(QByteArray("\0track\0", 7)))
                    return false;
                for (const QByteArray &line : bytesOf("/proc/" + child + "/status").split('\n'))
                    if (line.startsWith("SigCgt:"))
                        return ((line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGINT - 1))
                                   & 1)
                            == 1;
                return false;
            };
            QTRY_VERIFY_WITH_TIMEOUT(trackRunCatchesSigint(), 60000);
            for (const int signal : k.sent)
                QCOMPARE(::kill(pid_t(batch.processId()), signal), 0);
            QVERIFY(batch.waitForFinished(120000));
            const QString err = QString::fromUtf8(batch.readAllStandardError());
            if (k.exitCode < 0) {
                QCOMPARE(batch.exitStatus(), QProcess::CrashExit);
                // The child dies with the batch (gone, or a zombie nobody reaps).
                QTRY_VERIFY_WITH_TIMEOUT(processEnded(child), 30000);
            } else {
                QVERIFY2(
                    batch.exitStatus() == QProcess::NormalExit && batch.exitCode() == k.exitCode,
                    qPrintable(err));
                QVERIFY2(err.contains(QStringLiteral("stopped by SIG")), qPrintable(err));
            }

            const QList<QStringList> rows = summaryRows(out + "/list.summary.csv");
            QCOMPARE(rows.size(), 4);
            QVERIFY2(rows[1][2] == k.status, qPrintable(rows[1].join(',')));
            QCOMPARE(rows[2][2], QString("not started"));
            QCOMPARE(rows[3][2], QString("not started"));
            QStringList files = QDir(out).entryList(QDir::Files);
            files.removeAll("list.summary.csv");
            const QString data = out + "/long1.avi.data.txt";
            if (k.sent.size() == 1 && k.exitCode > 0) {
                // The stopped run's records, whole, are set aside as .stopped, so that the next
                // batch tracks that video again; the message names the picture (0-based).
                QVERIFY2(rows[1][4].startsWith(QStringLiteral("stopped by %1 after frame %2 (")
                                                   .arg(k.sent[0] == SIGINT ? "SIGINT" : "SIGHUP")
                                                   .arg(rowsIn(data + ".stopped") + 1)),
                    qPrintable(rows[1][4]));
                QVERIFY2(rows[1][4].endsWith("records written to " + data + ".stopped"),
                    qPrintable(rows[1][4]));
                QCOMPARE(rowsIn(data + ".stopped"), rows[1][5].toInt());
                QCOMPARE(files, QStringList({ "long1.avi.data.txt.stopped" }));
            } else {
                // Nothing, or the records whole: never a file still being written.
                QVERIFY2(files.isEmpty() || files == QStringList({ "long1.avi.data.txt.stopped" }),
                    qPrintable(files.join(' ')));
            }
        }
    }
};

QTEST_MAIN(BatchTest)
#include "BatchTest.moc"
