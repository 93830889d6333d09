// pondwatch-cli export DATAFILE VIDEO [--format mpeg|mp4] [--overlays-from DATAFILE2]
//                                    [--filter S] [--quiet]
// The ExportVideo slot without a window: the same rows, frame loop, drawing and output file
// (VIDEO.out.mpeg), or an H.264 VIDEO.out.mp4 with --format mp4. The overlays come from a data
// file's header instead of the view, its arenas drawn as arenas.
// SIGINT and SIGTERM stop it between frames; the output is then not written.

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/SignalStop.h"
#include "files/AtomicFile.h"
#include "formats/TrackingDataFile.h"
#include "model/ArenaLayout.h"
#include "tools/AnnotatedExport.h"
#include "video/VideoProbe.h"

#include <QElapsedTimer>

#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace {

int failure(const QString &message)
{
    std::fprintf(stderr, "%s\n", qPrintable(message));
    return ExitFailed;
}

void warn(const QString &message)
{
    std::fprintf(stderr, "pondwatch-cli export: warning: %s\n", qPrintable(message));
}

// Frames done, frames per second and the time left, estimated from the video time covered.
class Progress
{
public:
    Progress()
        : interactive(isatty(fileno(stderr)))
    {
        clock.start();
    }

    void show(int frames, qint64 frameMs, qint64 lengthMs, bool final)
    {
        const qint64 elapsed = clock.elapsed();
        if (!final && elapsed - lastShown < (interactive ? 500 : 10000))
            return;
        lastShown = elapsed;
        const double seconds = elapsed / 1000.0;
        QString line = QStringLiteral("%1 frames, %2 fps")
                           .arg(frames)
                           .arg(seconds > 0 ? frames / seconds : 0.0, 0, 'f', 1);
        if (final)
            line += QStringLiteral(", %1 s").arg(seconds, 0, 'f', 1);
        else if (frameMs > 0 && lengthMs > frameMs)
            line += QStringLiteral(", %1 s left")
                        .arg(double(lengthMs - frameMs) / frameMs * seconds, 0, 'f', 0);
        std::fprintf(stderr, interactive ? "\r%-60s" : "%s\n", qPrintable(line));
        if (final && interactive)
            std::fputc('\n', stderr);
        std::fflush(stderr);
    }

private:
    bool interactive;
    QElapsedTimer clock;
    qint64 lastShown = -1000000;
};

// Where the view puts the marker when the Tracking Area is drawn: the area's centre,
// halves rounded up.
QPoint areaCentre(const OverlaySet &overlays)
{
    if (overlays.areas.isEmpty())
        return QPoint(0, 0);
    const QRect &area = overlays.areas.first();
    return QPoint(int(std::floor((double(area.left()) + area.right()) * 0.5 + 0.5)),
        int(std::floor((double(area.top()) + area.bottom()) * 0.5 + 0.5)));
}

} // namespace

int runExport(const QStringList &args)
{
    CommandLine line(QStringLiteral("export"), QStringLiteral("DATAFILE VIDEO"),
        QStringLiteral("Writes VIDEO.out.mpeg: every frame of VIDEO with the rows of the data "
                       "file DATAFILE\ndrawn over it, one row per frame, as the main window's "
                       "export does. With --format mp4\nit writes VIDEO.out.mp4 instead: H.264 "
                       "(libx264, CRF 18, yuv420p) at VIDEO's frame rate,\nfit to show."));
    line.addOptions({
        { "format", "mpeg|mp4",
            "mpeg: MPEG-1 at a low bit rate (VIDEO.out.mpeg); mp4: H.264 for showing "
            "(VIDEO.out.mp4) (mpeg)" },
        { "overlays-from", "DATAFILE2",
            "draw the overlays of DATAFILE2's header instead of "
            "DATAFILE's" },
        { "filter", "S", "Mean Filter Size (pixels) the marker is sized by, 1..99 (3)" },
        { "quiet", nullptr, "no progress on standard error" },
    });
    if (const auto done = line.parse(args))
        return *done;
    const QString overlaysFrom = line.path("overlays-from");
    AnnotatedExport::Format format = AnnotatedExport::Format::Mpeg;
    if (line.isSet("format")) {
        const QString name = line.value("format");
        if (name == QLatin1String("mp4"))
            format = AnnotatedExport::Format::Mp4;
        else if (name != QLatin1String("mpeg"))
            return line.usageError(QStringLiteral("--format takes mpeg or mp4"));
    }
    const bool quiet = line.isSet("quiet");
    int filter = 3;
    if (const auto refusal = line.wholeNumber("filter", 1, 99, &filter))
        return line.usageError(*refusal);
    const QStringList files = line.positional();
    if (files.size() != 2)
        return line.usageError(QStringLiteral("a data file and a video are needed"));
    const QString &dataFile = files[0];
    const QString &video = files[1];
    for (const QString &input : { dataFile, video, overlaysFrom })
        AtomicFile::protectInput(input);

    AnnotationRows rows;
    const AnnotationRows::Error readError = rows.read(dataFile);
    if (readError != AnnotationRows::Error::None)
        return failure(AnnotationRows::message(readError) + QLatin1Char('\n') + rows.detail);
    if (rows.isEmpty())
        warn(QStringLiteral("%1 gives no row: the video is written without a marker")
                 .arg(rows.detail.isEmpty() ? dataFile : rows.detail));

    AnnotatedExport exporter;
    exporter.format = format;
    QString error, detection;
    if (!TrackingDataFile::readOverlays(overlaysFrom.isEmpty() ? dataFile : overlaysFrom,
            &exporter.overlays, &error, &detection))
        return failure(error);
    // The arenas of a whole-video background run are drawn as the window draws them, round
    // ones round. Only such a file says how many fish each holds; the zones of other files
    // are drawn as zones, whatever their labels.
    if (ArenaLayout::fishFromDetection(detection))
        exporter.overlays.arenas = ArenaLayout::takeArenas(&exporter.overlays, detection);
    exporter.initialState.fishPosition = areaCentre(exporter.overlays);
    exporter.initialState.meanFilterSize = filter;
    SignalStop::install();
    exporter.stopRequested = [] { return SignalStop::received() != 0; };

    Progress progress;
    qint64 lastMs = 0, lastLength = 0;
    if (!quiet)
        exporter.progress = [&](int frames, qint64 frameMs, qint64 lengthMs) {
            lastMs = frameMs;
            lastLength = lengthMs;
            progress.show(frames, frameMs, lengthMs, false);
        };

    const AnnotatedExport::Result result = exporter.run(rows, video);
    const QString output = AnnotatedExport::outputFileName(video, format);
    switch (result.error) {
    case AnnotatedExport::Error::None:
        break;
    case AnnotatedExport::Error::VideoNotLoaded:
    case AnnotatedExport::Error::SeekFailed:
    case AnnotatedExport::Error::DecodeFailed: {
        const VideoProbe probe(video);
        return failure(AnnotatedExport::message(result.error) + QLatin1Char('\n') + video
            + QStringLiteral(": ")
            + (probe.problem.isEmpty() ? QStringLiteral("no picture could be decoded")
                                       : probe.problem));
    }
    case AnnotatedExport::Error::OutputNotWritten:
        return failure(AnnotatedExport::message(result.error) + QLatin1Char('\n') + result.detail);
    case AnnotatedExport::Error::Stopped: {
        const int signal = SignalStop::received();
        std::fprintf(stderr,
            "pondwatch-cli export: stopped by %s after %d frames; %s not written (an earlier "
            "one is kept)\n",
            SignalStop::name(signal), result.framesDecoded, qPrintable(output));
        return SignalStop::exitCode(signal);
    }
    }
    if (!result.warning.isEmpty())
        warn(result.warning);
    if (!quiet)
        progress.show(result.framesDecoded, lastMs, lastLength, true);
    return result.endedEarly ? ExitVideoEndedEarly : ExitOk;
}
