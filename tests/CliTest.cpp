// pondwatch-cli as a user meets it: the same command line for every command, the reason for
// every refusal, and earlier outputs kept when a run fails or is stopped.

#include "support/TestUtils.h"
#include "support/VideoFixtures.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTest>

namespace {

testutils::ProgramRun runCli(const QStringList &args)
{
    return testutils::runProgram(QStringLiteral(POND_CLI), args, 120000);
}

QString describe(const QStringList &args, const testutils::ProgramRun &run)
{
    return QStringLiteral("pondwatch-cli %1 -> exit %2\nout: %3\nerr: %4")
        .arg(args.join(' '))
        .arg(run.exitCode)
        .arg(run.out, run.err);
}

QString writeText(const QString &name, const QByteArray &text)
{
    const QString path = testutils::scratchPath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return QString();
    return path;
}

// A dark fish crossing a textured tank.
QImage swimmingFish(QSize size, int index)
{
    return fixtures::drawScene(
        size, { fixtures::FishSpec { QPointF(20 + index * 2.0, size.height() / 2.0) } }, 7);
}

QString fishVideo(const QString &name, fixtures::VideoOptions options)
{
    const QString path = testutils::scratchPath(name);
    const QSize size = options.size;
    QString error;
    if (!fixtures::writeVideo(
            path, options, [size](int i) { return swimmingFish(size, i); }, &error))
        qWarning("%s", qPrintable(error));
    return path;
}

} // namespace

class CliTest : public QObject
{
    Q_OBJECT

private slots:
    // Every command: --help and --version on standard output with exit 0, an unknown option
    // named with exit 2, --opt=value read as --opt value, and nothing but results on
    // standard output (the video library's banner only with --verbose, on standard error).
    void everyCommandParsesAlike()
    {
        fixtures::VideoOptions options;
        options.frameCount = 20;
        const QString video = fishVideo("parse.avi", options);
        const QString data = video + ".data.txt";
        const QString gfa = writeText("parse.gfa", "log\nsession,1\n\nname,isi\nA,1\nB,1\n");
        const QString gfaOut = testutils::scratchPath("parse-out");

        struct Case
        {
            QStringList args;
            int exitCode;
            QString out; // standard output starts with this ("" = must be empty)
            QString err; // standard error contains this
        };
        QList<Case> cases;
        for (const QString command : { "track", "analyze", "export", "gfa-events", "gfa-blend" }) {
            cases << Case { { command, "--help" }, 0, "usage: pondwatch-cli " + command, "" }
                  << Case { { command, "--version" }, 0, "pondwatch-cli 0.4.0\n", "" }
                  << Case { { command, "--bogus=1" }, 2, "", "unknown option '--bogus'" };
        }
        cases << Case { { "--help" }, 0, "usage: pondwatch-cli COMMAND", "" }
              << Case { {}, 2, "", "usage: pondwatch-cli COMMAND" }
              << Case { { "track", video, "--area=10,10,150,110", "--average=5", "--quiet" }, 0, "",
                     "" }
              << Case { { "track", video, "--area", "10,10,150,110", "--average", "5", "--quiet",
                            "--verbose", "--output", testutils::scratchPath("verbose.txt") },
                     0, "", "AVFormat configuration" }
              << Case { { "track", video, "--average=5", "--area" }, 2, "", "--area needs a value" }
              << Case { { "track", video, "--quiet=yes" }, 2, "", "--quiet takes no value" }
              << Case { { "analyze", data, "--variable=Speed", "--window=0,1,0" }, 0,
                     "Speed\nTime ", "" }
              << Case { { "analyze", data, "--window=0,1,0", "--variable=Speed" }, 2, "",
                     "--window must follow a --variable" }
              << Case { { "gfa-events", data, gfa, "--output=" + gfaOut, "--offset=0",
                            "--window=1" },
                     0, "GFAdata analysis file", "" }
              << Case { { "gfa-events", data, gfa, "--output", gfaOut, "--window=one" }, 2, "",
                     "whole seconds" }
              << Case { { "gfa-blend", gfaOut + ".gfadata", gfaOut + ".gfadata",
                            "--output=" + testutils::scratchPath("blend.txt") },
                     0, "", "" };
        for (const Case &k : cases) {
            const testutils::ProgramRun run = runCli(k.args);
            const QString what = describe(k.args, run);
            QVERIFY2(run.exitCode == k.exitCode, qPrintable(what));
            if (k.out.isEmpty())
                QVERIFY2(run.out.isEmpty(), qPrintable(what));
            else
                QVERIFY2(run.out.startsWith(k.out), qPrintable(what));
            if (k.err.isEmpty())
                QVERIFY2(run.err.isEmpty(), qPrintable(what));
            else
                QVERIFY2(run.err.contains(k.err), qPrintable(what));
        }
        QVERIFY(QFile::exists(testutils::scratchPath("blend.txt")));
    }
};

QTEST_MAIN(CliTest)
#include "CliTest.moc"
