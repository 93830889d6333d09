// pondwatch-cli as a user meets it: the same command line for every command, the reason for
// every refusal, and earlier outputs kept when a run fails or is stopped.

#include "support/TestUtils.h"
#include "support/VideoFixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <arpa/inet.h>
#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

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

// Runs the ffmpeg tool for videos the fixtures do not make (lavfi sources, remuxing).
bool ffmpeg(const QStringList &args)
{
    const testutils::ProgramRun run = testutils::runProgram(QStringLiteral("ffmpeg"),
        QStringList { "-nostdin", "-loglevel", "error", "-y" } + args, 120000);
    if (run.exitCode != 0)
        qWarning("ffmpeg %s: %s", qPrintable(args.join(' ')), qPrintable(run.err));
    return run.exitCode == 0;
}

// A lavfi test pattern of `frames` frames at 25 fps, encoded with `codec` options.
QString patternVideo(const QString &name, QSize size, int frames, const QStringList &codec)
{
    const QString path = testutils::scratchPath(name);
    ffmpeg(QStringList { "-f", "lavfi", "-i",
               QStringLiteral("testsrc=size=%1x%2:rate=25").arg(size.width()).arg(size.height()),
               "-frames:v", QString::number(frames) }
        + codec + QStringList { path });
    return path;
}

// The rows of a data file (lines after the column header); -1 when there is no file.
int rowsIn(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = file.readAll().split('\n');
    int header = -1;
    for (int i = 0; i < lines.size() && header < 0; ++i)
        if (lines[i].startsWith("Seconds ") || lines[i].startsWith("Time "))
            header = i;
    int rows = 0;
    for (int i = header + 1; header >= 0 && i < lines.size(); ++i)
        rows += lines[i].isEmpty() ? 0 : 1;
    return rows;
}

// Runs pondwatch-cli with its files limited to `maxBytes` (ulimit -f).
testutils::ProgramRun runCliWithFileLimit(const QStringList &args, rlim_t maxBytes)
{
    QProcess process;
    process.setChildProcessModifier([maxBytes] {
        const rlimit limit { maxBytes, maxBytes };
        setrlimit(RLIMIT_FSIZE, &limit);
    });
    process.start(QStringLiteral(POND_CLI), args);
    testutils::ProgramRun run;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    if (process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The files in the scratch folder whose names hold `part` (temporary outputs left behind).
QStringList leftovers(const QString &part)
{
    return QDir(testutils::scratchDir()).entryList({ "*" + part + "*" }, QDir::Files);
}

// Runs pondwatch-cli with its standard output going to `stdoutPath` (/dev/full...).
testutils::ProgramRun runCliInto(const QStringList &args, const QString &stdoutPath)
{
    QProcess process;
    process.setStandardOutputFile(stdoutPath);
    process.start(QStringLiteral(POND_CLI), args);
    testutils::ProgramRun run;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    if (process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// What kind of node `path` is: 'f' regular, 'p' FIFO, 'c' character device, '-' none.
char nodeKind(const QString &path)
{
    struct stat status = {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return '-';
    return S_ISREG(status.st_mode) ? 'f'
        : S_ISFIFO(status.st_mode) ? 'p'
        : S_ISCHR(status.st_mode)  ? 'c'
                                   : '?';
}

// A UDP socket on the loopback, bound to a free port; closed with the object.
struct LoopbackSocket
{
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    int port = 0;
    LoopbackSocket()
    {
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
            && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
            port = ntohs(address.sin_port);
    }
    ~LoopbackSocket() { ::close(fd); }
    // Every datagram waiting, in the order they came.
    QStringList received() const
    {
        QStringList all;
        char buffer[2048];
        ssize_t n;
        while ((n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0)
            all << QString::fromUtf8(buffer, int(n));
        return all;
    }
};

// A data file's rows as numbers (lines after the column header).
QVector<QVector<double>> numbersIn(const QString &path)
{
    QVector<QVector<double>> rows;
    bool header = false;
    for (const QByteArray &line : bytesOf(path).split('\n')) {
        if (header && !line.isEmpty()) {
            QVector<double> row;
            for (const QByteArray &field : line.simplified().split(' '))
                row << field.toDouble();
            rows << row;
        }
        header = header || line.startsWith("Seconds ") || line.startsWith("Time ");
    }
    return rows;
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

        // A name that starts with ':' is a file in the current folder, never a Qt resource.
        const QString colon = testutils::scratchPath("colon");
        QVERIFY(QDir().mkpath(colon) && QFile::copy(video, colon + "/:fish.avi"));
        for (const QStringList &args :
            { QStringList { "track", ":fish.avi", "--area=10,10,150,110", "--average=5", "--quiet",
                  "--output", ":fish.data.txt" },
                QStringList { "analyze", ":fish.data.txt", "--variable=Speed" } }) {
            QProcess process;
            process.setWorkingDirectory(colon);
            process.start(POND_CLI, args);
            QVERIFY(process.waitForFinished(120000));
            QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());
        }
        QVERIFY(rowsIn(colon + "/:fish.data.txt") > 0);
    }

    // Broken and odd videos: each gives a message naming the file and the reason with a
    // non-zero exit, or tracks every frame after the one shown (with a warning where the
    // user should know something). One row per case.
    void badAndOddVideos()
    {
        using fixtures::VideoFormat;
        const QSize small(160, 120);
        auto scene = [&](const QString &name, fixtures::VideoOptions options) {
            return fishVideo(name, options);
        };
        auto options = [](VideoFormat format, int frames) {
            fixtures::VideoOptions o;
            o.format = format;
            o.frameCount = frames;
            return o;
        };
        // The first half of the bytes of a fish video.
        auto firstHalf
            = [&](const QString &name, VideoFormat format, int frames, const QString &cutName) {
                  const QString whole = scene(name, options(format, frames));
                  const QString cut = testutils::scratchPath(cutName);
                  fixtures::writeTruncatedCopy(whole, cut, QFileInfo(whole).size() / 2);
                  return cut;
              };
        const QStringList x264 = { "-c:v", "libx264", "-preset", "veryfast" };
        // Frames timed by an ffmpeg setpts expression.
        auto variableRate = [&](const QString &name, int frames, const QString &times) {
            return patternVideo(name, small, frames,
                x264 + QStringList { "-vf", "setpts='" + times + "'/TB", "-fps_mode", "vfr" });
        };
        const QString twoRates = "(N+if(gte(N,10),N,0))/25"; // 10 frames at 25/s, 20 at 12.5/s

        struct Case
        {
            QString name;
            std::function<QString()> make; // makes the input, returns its path
            QStringList extra; // options besides --area, --quiet and --output
            int exitCode;
            QString message; // standard error contains it ("" = nothing at all)
            bool allRows; // the data file has a row for every frame after the one shown
        };
        const QList<Case> cases = {
            { "zero bytes", [] { return writeText("zero.mp4", ""); }, {}, 3, "is empty", false },
            { "text renamed .mp4", [] { return writeText("text.mp4", "just some notes\n"); }, {}, 3,
                "Invalid data found when processing input", false },
            { "audio only",
                [] {
                    const QString path = testutils::scratchPath("audio.wav");
                    fixtures::writeAudioOnly(path, 1.0);
                    return path;
                },
                {}, 3, "no video stream", false },
            { "audio stream first",
                [&] {
                    fixtures::VideoOptions o = options(VideoFormat::MkvH264, 30);
                    o.audio = fixtures::AudioTrack::BeforeVideo;
                    return scene("audio-first.mkv", o);
                },
                { "--average", "10" }, 0, "", true },
            { "MP4 cut, index lost",
                [&] {
                    return firstHalf("whole.mp4", VideoFormat::Mp4H264, 100, "cut-index-lost.mp4");
                },
                {}, 3, "Invalid data found when processing input", false },
            { "MP4 cut, index kept",
                [&] {
                    const QString whole = scene("whole2.mp4", options(VideoFormat::Mp4H264, 100));
                    const QString fast = testutils::scratchPath("faststart.mp4");
                    ffmpeg({ "-i", whole, "-c", "copy", "-movflags", "+faststart", fast });
                    const QString cut = testutils::scratchPath("cut-index-kept.mp4");
                    fixtures::writeTruncatedCopy(fast, cut, QFileInfo(fast).size() / 2);
                    return cut;
                },
                { "--average", "10" }, 6, "the video ended early: ", false },
            { "MJPEG cut in a frame",
                [&] {
                    const QString whole = scene("whole.avi", options(VideoFormat::AviMjpeg, 40));
                    const QString cut = testutils::scratchPath("cut.avi");
                    fixtures::writeTruncatedCopy(whole, cut, QFileInfo(whole).size() / 2 + 333);
                    return cut;
                },
                { "--average", "10" }, 6, "the video ended early: ", false },
            { "one frame", [&] { return scene("one.avi", options(VideoFormat::LosslessAvi, 1)); },
                {}, 7, "gave no frame to track after the one shown", false },
            { "a single picture, whose container does not count its frames",
                [] {
                    const QString path = testutils::scratchPath("still.png");
                    QImage picture(160, 120, QImage::Format_RGB888);
                    picture.fill(Qt::gray);
                    picture.save(path);
                    return path;
                },
                {}, 7, "'" + testutils::scratchPath("still.png") + "' has 1 frame", false },
            { "two frames", [&] { return scene("two.avi", options(VideoFormat::LosslessAvi, 2)); },
                {}, 7, "gave no frame to track after the one shown", false },
            { "fewer frames than Frames to Average",
                [&] { return scene("forty.mkv", options(VideoFormat::LosslessMkv, 40)); }, {}, 0,
                "the video has 40 frames, fewer than Frames to Average (300)", true },
            { "4K", [&] { return patternVideo("4k.mp4", QSize(3840, 2160), 4, x264); },
                { "--average", "2" }, 0, "", true },
            { "10-bit",
                [&] {
                    return patternVideo(
                        "10bit.mkv", small, 20, x264 + QStringList { "-pix_fmt", "yuv420p10le" });
                },
                { "--average", "5" }, 0, "", true },
            { "rotated phone video",
                [&] {
                    // The display matrix is kept when the stream is copied, not when encoded.
                    const QString plain = patternVideo("upright.mp4", small, 20, x264);
                    const QString path = testutils::scratchPath("phone.mp4");
                    ffmpeg({ "-i", plain, "-c", "copy", "-metadata:s:v:0", "rotate=90", path });
                    return path;
                },
                { "--average", "5" }, 0, "is meant to be shown turned by", true },
            { "variable frame rate", [&] { return variableRate("vfr.mp4", 30, twoRates); },
                { "--average", "5" }, 0, "", true },
            { "variable frame rate in MKV, which gives a duration but no frame count",
                [&] { return variableRate("vfr.mkv", 30, twoRates); }, { "--average", "5" }, 0, "",
                true },
            { "variable frame rate, from part-way: 30 frames at 25 per second, 30 at 2.5",
                [&] {
                    return variableRate("vfr-slower.mp4", 60, "if(lt(N,30),N/25,1.2+(N-30)*0.4)");
                },
                { "--average", "5", "--start-ms", "5000" }, 0, "", false },
            { "MKV cut",
                [&] { return firstHalf("whole.mkv", VideoFormat::LosslessMkv, 60, "cut.mkv"); },
                { "--average", "10" }, 6, "but the frames decoded from it stop at", false },
            { "two video streams",
                [&] {
                    const QString path = testutils::scratchPath("two-streams.mkv");
                    ffmpeg({ "-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=1", "-f",
                        "lavfi", "-i", "testsrc2=size=160x120:rate=25:duration=1", "-map", "0",
                        "-map", "1", "-c:v", "mpeg4", path });
                    return path;
                },
                { "--average", "5" }, 0, "holds 2 video streams; the first one is tracked", true },
            { "TS starting hours in",
                [&] {
                    fixtures::VideoOptions o = options(VideoFormat::MpegTsH264, 40);
                    o.startSeconds = 3 * 3600 + 0.5;
                    return scene("hours.ts", o);
                },
                { "--average", "10" }, 0, "", true },
            { "TS crossing the 33-bit clock wrap",
                [&] {
                    fixtures::VideoOptions o = options(VideoFormat::MpegTsH264, 40);
                    o.startSeconds = 95443.3; // the clock wraps at 2^33 / 90 kHz = 95443.72 s
                    return scene("wrap.ts", o);
                },
                { "--average", "10" }, 0, "", true },
            { "a folder",
                [] {
                    const QString path = testutils::scratchPath("folder.avi");
                    QDir().mkpath(path);
                    return path;
                },
                {}, 3, "is a folder", false },
            { "a missing file", [] { return testutils::scratchPath("missing.avi"); }, {}, 3,
                "not found", false },
            { "spaces and non-ASCII characters",
                [&] {
                    return scene(QStringLiteral("tank 3 \u00e9t\u00e9 \u9c7c.avi"),
                        options(VideoFormat::AviMpeg4, 20));
                },
                { "--average", "5" }, 0, "", true },
        };
        for (const Case &k : cases) {
            const QString video = k.make();
            // An earlier data file of the same name, kept unless the run writes a new one.
            const QString output = writeText("odd.data.txt", "an earlier data file\n");
            const QStringList args = QStringList {
                "track", video, "--area=10,10,150,110", "--quiet", "--output", output
            } + k.extra;
            const testutils::ProgramRun run = runCli(args);
            const QString what = k.name + ": " + describe(args, run);
            QVERIFY2(run.exitCode == k.exitCode, qPrintable(what));
            if (k.message.isEmpty())
                QVERIFY2(run.err.isEmpty(), qPrintable(what));
            else
                QVERIFY2(run.err.contains(k.message), qPrintable(what));
            // Every message names the file.
            if (k.exitCode != 0)
                QVERIFY2(run.err.contains(video), qPrintable(what));
            // The run starts after the frame shown (the decoder's first step may pass one more).
            if (k.allRows)
                QVERIFY2(
                    rowsIn(output) >= fixtures::ffprobeFrameCount(video) - 2 && rowsIn(output) > 0,
                    qPrintable(what));
            if (k.exitCode == 6)
                QVERIFY2(rowsIn(output) > 0, qPrintable(what));
            if (k.exitCode == 3 || k.exitCode == 7)
                QVERIFY2(bytesOf(output) == "an earlier data file\n", qPrintable(what));
        }
    }

    // Every output is written whole or not at all: past a file-size limit each command says
    // "File too large", exits non-zero and leaves the earlier output as it was, with no
    // temporary file behind.
    void outputsAreWrittenWholeOrNotAtAll()
    {
        fixtures::VideoOptions options;
        options.frameCount = 120;
        const QString video = fishVideo("whole.avi", options);
        const QString data = testutils::scratchPath("whole.data.txt");
        QCOMPARE(runCli({ "track", video, "--area=10,10,150,110", "--average=10", "--quiet",
                            "--output", data })
                     .exitCode,
            0);
        QByteArray gfaText = "log\nsession,1\n\nname,isi\n";
        for (int i = 0; i < 400; ++i)
            gfaText += "F,1,x,y\nEvent" + QByteArray::number(i) + ",1,x,y\n";
        const QString gfa = writeText("many.gfa", gfaText);
        const QString events = testutils::scratchPath("events.gfadata");
        QCOMPARE(runCli({ "gfa-events", data, gfa, "--output", events }).exitCode, 0);

        struct Case
        {
            QString name;
            QStringList args;
            QString output;
            int exitCode;
        };
        const QList<Case> cases = {
            { "track",
                { "track", video, "--area=10,10,150,110", "--average=10", "--quiet", "--output",
                    testutils::scratchPath("limited.data.txt") },
                testutils::scratchPath("limited.data.txt"), 5 },
            { "export", { "export", data, video, "--quiet" }, video + ".out.mpeg", 1 },
            { "gfa-events",
                { "gfa-events", data, gfa, "--output", testutils::scratchPath("limited") },
                testutils::scratchPath("limited.gfadata"), 1 },
            { "gfa-blend",
                { "gfa-blend", events, events, "--output", testutils::scratchPath("limited.txt") },
                testutils::scratchPath("limited.txt"), 1 },
        };
        const QByteArray earlier = "an earlier, complete output\n";
        for (const Case &k : cases) {
            writeText(QFileInfo(k.output).fileName(), earlier);
            const testutils::ProgramRun run = runCliWithFileLimit(k.args, 4096);
            const QString what = k.name + ": " + describe(k.args, run);
            QVERIFY2(run.exitCode == k.exitCode, qPrintable(what));
            QVERIFY2(
                run.err.contains(k.output) && run.err.contains("File too large"), qPrintable(what));
            QVERIFY2(run.out.isEmpty(), qPrintable(what));
            QCOMPARE(bytesOf(k.output), earlier);
            QCOMPARE(leftovers(".part"), QStringList());
        }

        // Inputs of the wrong kind are refused with the reason, and nothing is written.
        const QString header = writeText("header.data.txt",
            "Tracking area (x1, y1, x2, y2): \n0 0 9 9\nSeconds FishX FishY FishMovement "
            "Confidence Confidence>30.00000000\n");
        const QString events2 = testutils::scratchPath("from-video.gfadata");
        const QList<Case> refused = {
            { "is not a text file", { "gfa-events", video, gfa, "--output", events2 }, events2, 1 },
            { "is not a text file", { "gfa-blend", video, events, "--output", events2 }, events2,
                1 },
            { "is not a text file", { "analyze", video, "--variable", "Speed" }, "", 1 },
            { "no rows after the column header", { "analyze", header, "--variable", "Speed" }, "",
                1 },
            { "no column header line", { "analyze", gfa, "--variable", "Speed" }, "", 1 },
            { "is not a text file", { "export", video, video }, video + ".out.mpeg", 1 },
        };
        QFile::remove(video + ".out.mpeg");
        for (const Case &k : refused) {
            const testutils::ProgramRun run = runCli(k.args);
            const QString what = describe(k.args, run);
            QVERIFY2(run.exitCode == k.exitCode && run.err.contains(k.name), qPrintable(what));
            QVERIFY2(run.out.isEmpty(), qPrintable(what));
            if (!k.output.isEmpty())
                QVERIFY2(!QFile::exists(k.output), qPrintable(what));
        }
    }

    // An output never takes the place of what it should not: a FIFO or a character device is
    // written into and stays what it was, a node that is no regular file is refused, an input
    // (under its own name, a hard link or a symbolic link) is never replaced, a bad place for
    // --save-background is found before the run, and results that never reached standard
    // output are a failure.
    void outputsNeverReplaceWhatTheyMayNot()
    {
        fixtures::VideoOptions options;
        options.frameCount = 20;
        const QString video = fishVideo("node.avi", options);
        const QByteArray videoBytes = bytesOf(video);
        const QString data = testutils::scratchPath("node.data.txt");
        const QStringList track
            = { "track", video, "--area=10,10,150,110", "--average=5", "--quiet" };
        QCOMPARE(runCli(track + QStringList { "--output", data }).exitCode, 0);
        const QByteArray dataBytes = bytesOf(data);
        const QString fifo = testutils::scratchPath("pipe.data.txt");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        // A character device like /dev/null, made here (root only) so that nothing of the
        // system's is at stake.
        const QString device = testutils::scratchPath("null-device");
        const bool haveDevice
            = ::mknod(QFile::encodeName(device).constData(), S_IFCHR | 0600, makedev(1, 3)) == 0;
        const QString hardLink = testutils::scratchPath("hard-link.avi");
        QVERIFY(
            ::link(QFile::encodeName(video).constData(), QFile::encodeName(hardLink).constData())
            == 0);
        const QString symLink = testutils::scratchPath("sym-link.png");
        QVERIFY(QFile::link(data, symLink));
        const QString exportFifo = testutils::scratchPath("fifo.avi.out.mpeg");
        QVERIFY(QFile::copy(video, testutils::scratchPath("fifo.avi")));
        QCOMPARE(::mkfifo(QFile::encodeName(exportFifo).constData(), 0600), 0);
        const QString manifest = writeText("nodes.csv",
            "video,area,average\n" + QFile::encodeName(video) + ",\"10,10,150,110\",5\n");
        const QString savedBackground = writeText("background.png", "an earlier picture\n");

        struct Case
        {
            QString name;
            QStringList args;
            int exitCode;
            QString message; // standard error contains it ("" = nothing)
        };
        QList<Case> cases = {
            { "a FIFO is written into", track + QStringList { "--output", fifo }, 0, "" },
            { "a batch summary into a FIFO, once",
                { "batch", manifest, "--summary", fifo, "--output-dir",
                    testutils::scratchPath("fifo-out") },
                0, "" },
            { "export refuses a FIFO",
                { "export", data, testutils::scratchPath("fifo.avi"), "--quiet" }, 1, "is a FIFO" },
            { "the video as the data file", track + QStringList { "--output", video }, 5,
                "is an input of this run" },
            { "a hard link to the video", track + QStringList { "--output", hardLink }, 5,
                "is the same file as the input " + video },
            { "the video as the background",
                track
                    + QStringList { "--method=blobs", "--background-frames=5", "--output",
                        data + ".2", "--save-background", hardLink },
                5, "is the same file as the input " + video },
            { "the background in a missing folder",
                track
                    + QStringList { "--method=blobs", "--background-frames=5", "--output",
                        data + ".3", "--save-background",
                        testutils::scratchPath("no/such/folder/bg.png") },
                5, "No such file or directory" },
            { "plot over its data file through a symbolic link",
                { "plot", data, "--video", video, "--trajectory", "--output", symLink }, 1,
                "is the same file as the input " + data },
            { "a setup file as the data file",
                track + QStringList { "--setup", data, "--output", data }, 5,
                "is an input of this run" },
            { "the summary over the manifest", { "batch", manifest, "--summary", manifest }, 1,
                "is an input of this run" },
        };
        if (haveDevice)
            cases << Case { "a character device is written into",
                track + QStringList { "--output", device }, 0, "" }
                  << Case { "a batch summary into a character device",
                         { "batch", manifest, "--summary", device, "--output-dir",
                             testutils::scratchPath("nodes-out") },
                         0, "" };
        for (const Case &k : cases) {
            // The FIFO's other end, open before the run (the run's own open waits for one); a
            // data file of 20 rows fits in the pipe's buffer.
            const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
            QVERIFY(reader >= 0);
            const testutils::ProgramRun run = runCli(k.args);
            QByteArray piped(65536, '\0');
            piped.resize(std::max<ssize_t>(0, ::read(reader, piped.data(), piped.size())));
            ::close(reader);
            const QString what = k.name + ": " + describe(k.args, run);
            QVERIFY2(run.exitCode == k.exitCode, qPrintable(what));
            QVERIFY2(
                k.message.isEmpty() ? !run.err.contains("cannot") : run.err.contains(k.message),
                qPrintable(what));
            if (k.args.contains(fifo))
                QVERIFY2((piped.startsWith("Tracking area") || piped.count("video,data_file") == 1)
                        && piped.endsWith("\n"),
                    qPrintable(what + "\npiped: " + piped));
            // Every node and input is what it was.
            QCOMPARE(nodeKind(fifo), 'p');
            QCOMPARE(nodeKind(exportFifo), 'p');
            QCOMPARE(nodeKind(device), haveDevice ? 'c' : '-');
            QVERIFY2(bytesOf(video) == videoBytes && bytesOf(data) == dataBytes, qPrintable(what));
            QCOMPARE(leftovers(".part"), QStringList());
        }
        QVERIFY(!QFile::exists(data + ".3")); // refused before the run
        // /dev/stdout is the standard output the caller gave, not the null device the video
        // library's printing goes to.
        const testutils::ProgramRun toStdout
            = runCli(track + QStringList { "--output", "/dev/stdout" });
        QVERIFY2(toStdout.exitCode == 0 && toStdout.out.toUtf8() == dataBytes,
            qPrintable(describe(track, toStdout)));

        // --save-background past a file-size limit: the reason, and the earlier picture kept.
        const QStringList limited = track
            + QStringList { "--method=blobs", "--background-frames=5", "--output", data + ".4",
                  "--save-background", savedBackground };
        testutils::ProgramRun run = runCliWithFileLimit(limited, 4096);
        QVERIFY2(run.exitCode == 5 && run.err.contains("File too large"),
            qPrintable(describe(limited, run)));
        QCOMPARE(bytesOf(savedBackground), QByteArray("an earlier picture\n"));
        run = runCli(limited);
        QVERIFY2(run.exitCode == 0 && QImage(savedBackground).size() == QSize(160, 120),
            qPrintable(describe(limited, run)));

        // Results that cannot be written to standard output fail the command, with the reason.
        const QList<QStringList> printing = {
            { "analyze", data, "--variable=Speed", "--table" },
            { "analyze", data, "--variable=Speed" },
            { "track", "--help" },
            { "--version" },
        };
        for (const QStringList &args : printing) {
            run = runCliInto(args, "/dev/full");
            QVERIFY2(run.exitCode == 1 && run.err.contains("No space left on device"),
                qPrintable(describe(args, run)));
        }
    }

    // Numbers and labels are checked wherever they enter (options, setup files, a data file's
    // header, Detection line and rows): each is refused with the reason before anything is
    // tracked, or honoured, never wrapped, turned into inf or read past.
    void numbersAndLabelsAreCheckedWhereverTheyEnter()
    {
        fixtures::VideoOptions options;
        options.frameCount = 20;
        const QString video = fishVideo("numbers.avi", options);
        const QString setupStart = "Pondwatch setup 1\narea 10 10 150 110 Tracking Area\n";
        auto setup = [&](const QString &name, const QString &lines) {
            return writeText(name, (setupStart + lines).toUtf8());
        };
        const QString arenaHeader = writeText("arenas.data.txt",
            "Tracking area (x1, y1, x2, y2): \n10 10 151 111\nArena1 (x1, y1, x2, y2): \n"
            "10 10 80 111\nArena2 (x1, y1, x2, y2): \n80 10 151 111\nDetection: blobs "
            "background-frames=5 threshold=auto arena-fish=2147483647,1\nSeconds FishX FishY "
            "FishMovement Confidence Confidence>30.00000000 Arena1 Arena2\n");
        const QString output = testutils::scratchPath("numbers.out.txt");
        const QStringList blobs = { "--method=blobs", "--background-frames=5" };

        struct Case
        {
            QString name;
            QStringList args; // after track VIDEO --quiet --output OUTPUT
            int exitCode;
            QString message; // standard error contains it
            QByteArray written = {}; // the data file holds it
        };
        const QList<Case> cases = {
            { "an arena a billion pixels wide",
                blobs + QStringList { "--arena=0,0,999999999,999999999" }, 2,
                "has the coordinate 999999999, beyond the 16777216 pixels" },
            { "a round arena whose corners wrap",
                blobs + QStringList { "--arena-circle=2147483647,2147483647,1" }, 2,
                "beyond the 16777216 pixels" },
            { "a grid of a million arenas",
                blobs + QStringList { "--area=10,10,150,110", "--arena-grid=999x999" }, 2,
                "the arenas hold 998001 fish together; at most 200" },
            { "fish counts whose sum wraps", blobs + QStringList { "--overlays-from", arenaHeader },
                2, "arena-fish= counts must each be from 1 to 200" },
            { "an arena of no fish",
                blobs
                    + QStringList { "--setup",
                        setup("nofish.setup",
                            "area 10 10 79 110 Arena1\narea 80 10 150 110 Arena2\narenas "
                            "arena-fish=0,1\n") },
                2, "each from 1 to 200" },
            { "a ruler 1e300 long", { "--setup", setup("long.setup", "ruler 0 0 10 10 1e300 r\n") },
                2, "the length 1e+300 is beyond +-2147483647" },
            { "a zone named as the column header",
                { "--setup", setup("time.setup", "area 10 10 50 50 Time\n") }, 2,
                "the label \"Time\" is a word of the data file's own" },
            { "a zone named as the Detection line",
                { "--setup", setup("detection.setup", "area 10 10 50 50 Detection:\n") }, 2,
                "is a word of the data file's own" },
            { "a device as the setup file", { "--setup", "/dev/zero" }, 2,
                "/dev/zero: is not a text file" },
            { "a setup's two fish with blobs",
                blobs + QStringList { "--setup", setup("two.setup", "fish 2\naverage 5\n") }, 0, "",
                "NumFish: \n2\n" },
            { "a label with a space becomes one word",
                { "--setup", setup("space.setup", "area 10 10 50 50 Seconds zone\naverage 5\n") },
                0, "", "Seconds_zone (x1, y1, x2, y2): \n10 10 51 51\n" },
        };
        for (const Case &k : cases) {
            QFile::remove(output);
            const QStringList args
                = QStringList { "track", video, "--quiet", "--output", output } + k.args;
            const testutils::ProgramRun run = runCli(args);
            const QString what = k.name + ": " + describe(args, run);
            QVERIFY2(run.exitCode == k.exitCode, qPrintable(what));
            QVERIFY2(run.err.contains(k.message), qPrintable(what));
            QCOMPARE(QFile::exists(output), k.exitCode == 0);
            QVERIFY2(bytesOf(output).contains(k.written), qPrintable(what));
        }
        // A Detection line's counts whose sum would wrap, in every reader of them.
        const QString split = writeText("split.datamulti.txt",
            "NumFish: \n2\n" + bytesOf(arenaHeader).replace("Seconds FishX", "Time Fish1Conf?"));
        const testutils::ProgramRun splitRun = runCli({ "split-arenas", split });
        QVERIFY2(splitRun.exitCode == 1
                && splitRun.err.contains("arena-fish= counts must each be from 1 to 200"),
            qPrintable(splitRun.err));

        // The last run's file, its zone one word, reads as a data file.
        QCOMPARE(runCli({ "analyze", output, "--variable=Speed" }).exitCode, 0);

        // A row that holds inf, nan or a number no float holds: refused alike by every reader.
        QByteArray rows = bytesOf(output);
        for (const QByteArray value : { "inf", "nan", "1e300" }) {
            const QString bad = writeText(
                "bad-" + value + ".data.txt", rows + "9.00000000 " + value + " 60 0.0 40.0 1 0\n");
            for (const QStringList &args : { QStringList { "analyze", bad, "--variable=Speed" },
                     QStringList { "plot", bad, "--video", video, "--trajectory", "--output",
                         testutils::scratchPath("bad.png") },
                     QStringList { "export", bad, video, "--quiet" } }) {
                const testutils::ProgramRun run = runCli(args);
                QVERIFY2(run.exitCode == 1
                        && run.err.contains(
                            "'" + QString::fromLatin1(value) + "' is not a finite number"),
                    qPrintable(describe(args, run)));
            }
        }
    }

    // SIGINT and SIGTERM stop a run the way "Stop Processing" does: track writes the records
    // so far (whole) and exits 128 + the signal; export writes nothing. Neither, nor SIGKILL,
    // ever leaves a cut-off file in place of an earlier complete one.
    void signalsNeverCostACompleteOutput()
    {
        // Long enough that no run ends before its signal: a short clip played 60 times over,
        // joined without re-encoding.
        fixtures::VideoOptions options;
        options.size = QSize(320, 240);
        options.frameCount = 500;
        const QString clip = fishVideo("clip.avi", options);
        QByteArray list;
        for (int i = 0; i < 60; ++i)
            list += "file '" + QFile::encodeName(clip) + "'\n";
        const QString video = testutils::scratchPath("long.avi");
        QVERIFY(ffmpeg({ "-f", "concat", "-safe", "0", "-i", writeText("clips.txt", list), "-c",
            "copy", video }));
        const QString data = testutils::scratchPath("long.data.txt");
        const QString exported = video + ".out.mpeg";
        const QByteArray earlier = "an earlier, complete output\n";

        for (const int signal : { SIGINT, SIGTERM, SIGKILL }) {
            for (const bool exporting : { false, true }) {
                const QString output = exporting ? exported : data;
                writeText(QFileInfo(output).fileName(), earlier);
                QProcess process;
                QByteArray errorOutput;
                if (exporting) {
                    writeText("rows.data.txt",
                        "Tracking area (x1, y1, x2, y2): \n10 10 150 110\nSeconds FishX FishY "
                        "FishMovement Confidence Confidence>30.00000000\n0.04 20 20 1 40 1\n");
                    process.start(POND_CLI,
                        { "export", testutils::scratchPath("rows.data.txt"), video, "--quiet" });
                    // Mid-run: the output is being encoded to its temporary file.
                    QTRY_VERIFY_WITH_TIMEOUT(!leftovers(".part").isEmpty(), 60000);
                } else {
                    process.start(POND_CLI,
                        { "track", video, "--area=10,10,300,220", "--average=10", "--output",
                            data });
                    // Mid-run: the tracker has started.
                    QTRY_VERIFY_WITH_TIMEOUT(
                        (errorOutput += process.readAllStandardError()).contains("Processing..."),
                        60000);
                }
                QCOMPARE(::kill(pid_t(process.processId()), signal), 0);
                QVERIFY(process.waitForFinished(60000));
                const QString err = QString::fromUtf8(errorOutput + process.readAllStandardError());
                const QString what = QStringLiteral("%1 %2: %3")
                                         .arg(signal)
                                         .arg(exporting ? "export" : "track", err);
                if (signal == SIGKILL) {
                    QVERIFY2(process.exitStatus() == QProcess::CrashExit, qPrintable(what));
                    QCOMPARE(bytesOf(output), earlier);
                    for (const QString &left : leftovers(".part"))
                        QFile::remove(testutils::scratchPath(left));
                    continue;
                }
                QVERIFY2(process.exitStatus() == QProcess::NormalExit
                        && process.exitCode() == 128 + signal,
                    qPrintable(what));
                QVERIFY2(err.contains(signal == SIGINT ? "stopped by SIGINT after "
                                                       : "stopped by SIGTERM after "),
                    qPrintable(what));
                QCOMPARE(leftovers(".part"), QStringList());
                if (exporting || err.contains("no record yet")) {
                    QCOMPARE(bytesOf(output), earlier);
                } else {
                    // The records so far, every one of them, as the message says.
                    const int rows = rowsIn(output);
                    QVERIFY2(rows > 0 && rows < 30000
                            && err.contains(QStringLiteral(": %1 records written to").arg(rows)),
                        qPrintable(what));
                }
            }
        }
    }

    // A live session follows a stream as it comes (an ffmpeg sending a clip over loopback UDP
    // at its rate, or faster): where an offline run of the clip finds the fish, the live rows
    // find it too; each crossing of the zone goes out as one datagram, in order; pictures the
    // tracker is too slow for are counted and written as rows marked not found at their
    // times; SIGINT, SIGTERM and SIGKILL all leave a file the readers take, a row cut short
    // by the kill included.
    void liveSessionFollowsAStream()
    {
        // A fish that swims right across the tank and back, through a zone in the middle.
        const int frames = 100, fps = 25;
        auto path = [](int i) {
            const double half = frames / 2.0;
            return 30.0 + 260.0 * (i < half ? i / half : (frames - i) / half);
        };
        const QSize size(320, 240);
        const QString made = testutils::scratchPath("path.avi");
        fixtures::VideoOptions options;
        options.size = size;
        options.frameCount = frames;
        options.format = fixtures::VideoFormat::LosslessAvi;
        QVERIFY(fixtures::writeVideo(made, options, [&](int i) {
            return fixtures::drawScene(size, { fixtures::FishSpec { QPointF(path(i), 120) } }, 7);
        }));
        const QString clip = testutils::scratchPath("path.ts");
        QVERIFY(ffmpeg(
            { "-i", made, "-c:v", "mpeg2video", "-q:v", "2", "-g", "12", "-bf", "0", clip }));
        // The same with ten pictures lost on the way (their timestamps left out).
        const QString gapped = testutils::scratchPath("gapped.ts");
        QVERIFY(ffmpeg({ "-i", made, "-vf", "select='not(between(n,40,49))'", "-fps_mode",
            "passthrough", "-c:v", "mpeg2video", "-q:v", "2", "-g", "12", "-bf", "0", gapped }));
        const QStringList area { "--area=5,5,314,234", "--zone=mid=140,0,180,239", "--average=10" };

        struct Session
        {
            const char *name;
            const char *method;
            double rate; // the stream's speed: 1 is real time
            int signal; // what ends it
            bool lossy; // the clip with pictures lost
        };
        const Session sessions[] = {
            { "classic, events", "classic", 1.0, SIGINT, false },
            { "blobs after its warm-up, pictures lost", "blobs", 1.0, SIGTERM, true },
            { "three times real time", "classic", 3.0, SIGINT, false },
            { "killed", "classic", 1.0, SIGKILL, false },
        };
        for (const Session &session : sessions) {
            const QString what = QString::fromLatin1(session.name);
            const QString data = testutils::scratchPath(what + ".data.txt");
            LoopbackSocket events, stream;
            const int streamPort = stream.port;
            ::close(stream.fd); // the session listens there
            stream.fd = -1;
            QProcess live;
            live.start(POND_CLI,
                QStringList { "live", QStringLiteral("udp://127.0.0.1:%1").arg(streamPort),
                    "--method", session.method, "--output", data, "--events",
                    QStringLiteral("udp://127.0.0.1:%1").arg(events.port) }
                    + area
                    + (QString(session.method) == "blobs" ? QStringList { "--warm-up", "1" }
                                                          : QStringList()));
            QVERIFY(live.waitForStarted());
            // The stream starts once the session listens: its first picture is the clip's.
            // (FFmpeg binds the port on every address.)
            const QByteArray bound = QStringLiteral(":%1 00000000:0000")
                                         .arg(streamPort, 4, 16, QLatin1Char('0'))
                                         .toUpper()
                                         .toLatin1();
            QTRY_VERIFY_WITH_TIMEOUT(bytesOf("/proc/net/udp").contains(bound), 20000);
            QProcess sender;
            sender.start("ffmpeg",
                { "-nostdin", "-loglevel", "error", "-readrate", QString::number(session.rate),
                    "-i", session.lossy ? gapped : clip, "-c", "copy", "-f", "mpegts",
                    QStringLiteral("udp://127.0.0.1:%1?pkt_size=1316").arg(streamPort) });
            if (session.signal == SIGKILL) {
                QTest::qWait(2500);
            } else {
                QVERIFY(sender.waitForFinished(30000));
                QTest::qWait(500);
            }
            QCOMPARE(::kill(pid_t(live.processId()), session.signal), 0);
            QVERIFY(live.waitForFinished(10000));
            sender.waitForFinished(30000);
            const QString err = QString::fromUtf8(live.readAllStandardError());
            const QString context = what + ": " + err;
            const QVector<QVector<double>> rows = numbersIn(data);
            QVERIFY2(rows.size() > 10, qPrintable(context));

            if (session.signal == SIGKILL) {
                QVERIFY2(live.exitStatus() == QProcess::CrashExit, qPrintable(context));
                // A row cut short, as a kill during its write leaves it, is left out.
                QFile file(data);
                QVERIFY(file.open(QIODevice::Append));
                file.write("5.00000000 160.0");
                file.close();
                const testutils::ProgramRun analyzed = runCli({ "analyze", data, "--variable",
                    "Zone1-mid", "--window", "0,60,0", "--table" });
                QVERIFY2(analyzed.exitCode == 0 && analyzed.out.contains("Zone1-mid"),
                    qPrintable(analyzed.err));
                QCOMPARE(analyzed.err.count("cut short"), 1);
                continue;
            }
            QVERIFY2(live.exitStatus() == QProcess::NormalExit && live.exitCode() == 0,
                qPrintable(context));
            // The status: frames per second and the latencies, then the summary.
            QVERIFY2(err.contains(" fps; ") && err.contains("median latency from arrival to row"),
                qPrintable(context));
            QVERIFY2(bytesOf(data).contains(" live time=stream source=udp://127.0.0.1:"),
                qPrintable(context));
            // Every picture has its row, at its time, dropped or lost ones marked not found.
            const QRegularExpression summary(
                " (\\d+) rows written .*\\((\\d+) tracked, (\\d+) dropped");
            const QRegularExpressionMatch counts = summary.match(err);
            QVERIFY2(counts.hasMatch(), qPrintable(context));
            const int dropped = counts.captured(3).toInt();
            QCOMPARE(counts.captured(1).toInt(), int(rows.size()));
            // The last pictures of a stream that stops without an end stay in the demuxer.
            QVERIFY2(rows.size() >= frames - 5, qPrintable(context));
            QVERIFY2(std::abs(rows.last()[0] - (rows.size() - 1) / double(fps)) < 0.05,
                qPrintable(context));
            int notFound = 0;
            for (const QVector<double> &row : rows)
                notFound += row.value(5) == 0 ? 1 : 0;
            QVERIFY2(notFound >= dropped, qPrintable(context));
            if (session.rate > 1) {
                QVERIFY2(dropped > 0, qPrintable(context));
                continue;
            }

            // Where the offline run finds the fish after the warm-up, the live one does too.
            const QString offline = testutils::scratchPath(what + ".offline.data.txt");
            const testutils::ProgramRun tracked
                = runCli(QStringList { "track", clip, "--method", session.method, "--output",
                             offline, "--quiet" }
                    + area);
            QVERIFY2(tracked.exitCode == 0, qPrintable(tracked.err));
            // Offline times are the container's (the stream's start offset included), from the
            // picture after the one shown, the third; live ones count from the first picture.
            const QVector<QVector<double>> references = numbersIn(offline);
            QVERIFY(!references.isEmpty());
            const double offset = references[0][0] - 2.0 / fps;
            // (A picture the tracker was too busy for, on a loaded machine, has a row of
            // confidence 0; it is counted above, not here.)
            int wanted = 0, agreed = 0;
            for (const QVector<double> &reference : references) {
                const double t = reference[0] - offset;
                if (t < 1.5 || reference[5] == 0)
                    continue;
                for (const QVector<double> &row : rows) {
                    if (std::abs(row[0] - t) >= 0.01 || row[4] == 0)
                        continue;
                    ++wanted;
                    if (row[5] == 1
                        && std::hypot(row[1] - reference[1], row[2] - reference[2]) <= 2)
                        ++agreed;
                }
            }
            QVERIFY2(wanted > 40 && agreed >= 0.95 * wanted,
                qPrintable(
                    QStringLiteral("%1 of %2 agree; %3").arg(agreed).arg(wanted).arg(context)));

            // Into the zone and out, there and back: four events, one datagram each.
            if (QString(session.method) != "classic")
                continue;
            const QStringList got = events.received();
            QCOMPARE(got.size(), 4);
            const char *expected[] = { "enter", "exit", "enter", "exit" };
            qint64 lastFrame = -1;
            for (int i = 0; i < 4; ++i) {
                const QJsonObject event = QJsonDocument::fromJson(got[i].toUtf8()).object();
                QCOMPARE(event.value("zone").toString(), QStringLiteral("Zone1-mid"));
                QCOMPARE(event.value("fish").toInt(), 1);
                QCOMPARE(event.value("event").toString(), QString::fromLatin1(expected[i]));
                QVERIFY(event.value("frame").toInteger() > lastFrame);
                lastFrame = event.value("frame").toInteger();
                QVERIFY(std::abs(event.value("t").toDouble() - lastFrame / double(fps)) < 0.05);
            }
        }
    }
};

QTEST_MAIN(CliTest)
#include "CliTest.moc"
