// pondwatch-cli live SOURCE: tracks a camera or a stream as it comes. The rows are appended to
// the data file as they are made, zone entries and exits go out as JSON lines (standard output
// or UDP), and the status (frames per second, frames dropped, latencies) goes to standard
// error once a second. SIGINT, SIGTERM, SIGHUP or --duration end the session; the file then
// holds every row, and a session ended so exits with 0.

#include "cli/ArenaOptions.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/SignalStop.h"
#include "cli/TrackOptions.h"

#include "files/AtomicFile.h"
#include "tracking/TrackResults.h"
#include "tracking/TrackingHost.h"
#include "tracking/classic/TrackerFlags.h"
#include "tracking/live/EventSender.h"
#include "tracking/live/LiveRun.h"
#include "video/LiveSource.h"

#include <QLoggingCategory>
#include <QThread>

#include <cstdio>
#include <thread>
#include <unistd.h>

namespace {

const OptionSpec liveOptions[] = {
    { "duration", "S", "end the session after S seconds (default: until SIGINT or SIGTERM)" },
    { "events", "-|udp://HOST:PORT",
        "each zone entry and exit as a line of JSON: to standard output, or one UDP datagram "
        "each" },
    { "input-format", "FMT", "camera: the format it sends (mjpeg, yuyv422...)" },
    { "video-size", "WxH", "camera: the picture size" },
    { "framerate", "FPS", "camera: the frame rate" },
    { "warm-up", "S",
        "blobs: seconds over which --background-frames frames are sampled for the background "
        "(5)" },
};

using TrackOptions::Failure;

// The session's surroundings: the controls and overlays the options gave; no decoder.
class LiveHost : public TrackingHost
{
public:
    TrackingControls controls;
    QString source;
    OverlaySet overlays;

    const TrackingControls &trackingControls() const override { return controls; }
    QVideoDecoder *videoDecoder() override { return nullptr; }
    QString fileName() const override { return source; }
    QImage viewImage() const override { return QImage(); }
    OverlaySet viewOverlays() const override { return overlays; }
    void setShowResults(bool) override { }
    void setFishFound(bool) override { }
};

QString statusLine(const LiveRun::Status &s, double fps)
{
    QString line = s.warmingUp
        ? QStringLiteral("warming up, %1 s").arg(s.seconds, 0, 'f', 1)
        : QStringLiteral("%1 s, %2 rows").arg(s.seconds, 0, 'f', 1).arg(s.rows);
    line += QStringLiteral(", %1 fps, %2 dropped").arg(fps, 0, 'f', 1).arg(s.dropped);
    if (s.rowLatencyMs >= 0)
        line += QStringLiteral(", latency to row %1 ms").arg(s.rowLatencyMs, 0, 'f', 1);
    if (s.eventLatencyMs >= 0)
        line += QStringLiteral(", to event %1 ms").arg(s.eventLatencyMs, 0, 'f', 1);
    return line;
}

} // namespace

int runLive(const QStringList &args)
{
    CommandLine line(QStringLiteral("live"), QStringLiteral("SOURCE"),
        QStringLiteral("Tracks the fish of a camera (/dev/video0) or a stream (udp://, tcp://, "
                       "rtsp://, srt://...) as it comes, appending each row to the data file "
                       "(--output) at once."));
    line.addOptions(TrackOptions::options);
    line.addOptions(TrackOptions::methodOptions);
    line.addOptions(ArenaOptions::options);
    line.addOptions(liveOptions);
    if (const auto done = line.parse(args))
        return *done;
    auto fail = [&line](const Failure &f) {
        return f.code == ExitBadOption ? line.usageError(f.message)
                                       : line.failure(f.code, f.message);
    };
    if (line.isSet("start-ms"))
        return fail(
            { ExitBadOption, QStringLiteral("--start-ms does not apply to a live source") });
    TrackOptions::Options options;
    TrackOptions::MethodOptions method;
    LiveHost host;
    if (auto failure
        = TrackOptions::configure(line, &options, &method, &host.controls, &host.overlays))
        return fail(*failure);
    if (options.output.isEmpty())
        return fail({ ExitBadOption, QStringLiteral("--output is required: the data file") });
    LiveRun::Settings settings;
    settings.dataFile = options.output;
    double value = 0.0;
    if (auto refusal = line.real("duration", 3, 0.001, 1e9, &value))
        return fail({ ExitBadOption, *refusal });
    settings.durationSeconds = line.isSet("duration") ? value : 0.0;
    value = settings.warmUpSeconds;
    if (auto refusal = line.real("warm-up", 3, 0.0, 3600.0, &value))
        return fail({ ExitBadOption, *refusal });
    if (line.isSet("warm-up") && !method.blobs)
        return fail({ ExitBadOption, QStringLiteral("--warm-up needs --method blobs") });
    settings.warmUpSeconds = value;
    if (line.isSet("events")) {
        settings.events = line.value("events");
        const QString problem = EventSender::targetProblem(settings.events);
        if (!problem.isEmpty())
            return fail({ ExitBadOption, problem });
    }
    if (line.isSet("quiet"))
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    for (const QString &input : { options.setupFrom, options.overlaysFrom, method.backgroundImage })
        AtomicFile::protectInput(input);
    const QString problem = AtomicFile::problem(options.output);
    if (!problem.isEmpty())
        return fail({ ExitCannotWrite,
            QStringLiteral("cannot write %1: %2").arg(options.output, problem) });

    SignalStop::install();
    LiveSource source;
    LiveSource::Options sourceOptions;
    sourceOptions.url = options.video;
    sourceOptions.inputFormat = line.value("input-format");
    sourceOptions.videoSize = line.value("video-size");
    sourceOptions.frameRate = line.value("framerate");
    // A source that sends nothing is waited for until a signal, or the end of --duration.
    const int64_t openedNs = LiveSource::nowNs();
    const double duration = settings.durationSeconds;
    sourceOptions.cancelled = [openedNs, duration] {
        return SignalStop::received() != 0
            || (duration > 0 && double(LiveSource::nowNs() - openedNs) / 1e9 >= duration);
    };
    QString error;
    if (!source.open(sourceOptions, &error)) {
        if (!SignalStop::received() && sourceOptions.cancelled())
            return fail({ ExitNothingTracked,
                QStringLiteral("'%1' sent no picture within --duration; nothing written")
                    .arg(options.video) });
        if (SignalStop::received())
            return line.failure(SignalStop::exitCode(SignalStop::received()),
                QStringLiteral("stopped by %1 before the source sent a picture; nothing written")
                    .arg(QLatin1String(SignalStop::name(SignalStop::received()))));
        return fail({ ExitBadVideo, error });
    }
    host.source = options.video;
    if (auto failure
        = TrackOptions::checkArea(host.controls, &host.overlays, source.frameSize(), "live"))
        return fail(*failure);
    if (auto failure = TrackOptions::checkBackground(method, host.controls, source.frameSize()))
        return fail(*failure);

    TrackResults results;
    QImage currentFrame, trackerView;
    TrackerFlags flags;
    LiveRun run(host, source, results, currentFrame, trackerView, flags, settings);
    std::thread worker([&run] { run.run(); });
    const bool interactive = isatty(fileno(stderr));
    qint64 lastTracked = 0;
    int ticks = 0;
    double lastWall = 0.0;
    auto show = [&]() {
        const LiveRun::Status s = run.status();
        const double span = s.wallSeconds - lastWall;
        const double fps = span > 0 ? double(s.tracked - lastTracked) / span : 0.0;
        lastTracked = s.tracked;
        lastWall = s.wallSeconds;
        std::fprintf(stderr, interactive ? "\r%-78s" : "%s\n", qPrintable(statusLine(s, fps)));
        std::fflush(stderr);
    };
    // The worker ends by itself at the source's end, the duration or a failure.
    std::atomic<bool> done { false };
    std::thread waiter([&] {
        worker.join();
        done = true;
    });
    while (!done) {
        QThread::msleep(100);
        if (SignalStop::received())
            run.requestStop();
        // Once a second on a terminal, else every ten seconds (a log).
        if (++ticks % (interactive ? 10 : 100) == 0 && !options.quiet)
            show();
    }
    waiter.join();
    const LiveRun::Status s = run.status();
    if (!options.quiet) {
        if (interactive)
            std::fputc('\n', stderr);
        std::fprintf(stderr,
            "pondwatch-cli live: %lld rows written to %s (%lld tracked, %lld dropped, %lld "
            "events); %.1f fps; time from the %s; median latency from arrival to row %.1f ms, "
            "to event %.1f ms\n",
            static_cast<long long>(s.rows), qPrintable(options.output),
            static_cast<long long>(s.tracked), static_cast<long long>(s.dropped),
            static_cast<long long>(s.events),
            s.wallSeconds > 0 ? double(s.tracked) / s.wallSeconds : 0.0,
            s.streamTime ? "stream" : "wall clock", s.rowLatencyMs, s.eventLatencyMs);
    }
    if (!run.failure().isEmpty())
        return fail({ ExitCannotWrite, run.failure() });
    if (s.rows == 0)
        return fail({ ExitNothingTracked,
            QStringLiteral("'%1' sent no picture, so %2 was not written")
                .arg(options.video, options.output) });
    return ExitOk;
}
