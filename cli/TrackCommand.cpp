// pondwatch-cli track: the window's processing run without a window. The video is opened and
// stepped to its first frame as "Open Video File..." does, optionally moved as the slider
// moves it, and the tracker runs from the next frame to the end, writing the same data file.
// SIGINT and SIGTERM stop the run as "Stop Processing" does; a video that ends before the
// frames its container announces, and a run without a record, have exit codes of their own.

#include "cli/ArenaOptions.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/SignalStop.h"
#include "cli/TrackOptions.h"

#include "files/AtomicFile.h"
#include "formats/OverlayLimits.h"
#include "formats/SetupFile.h"
#include "formats/TrackingDataFile.h"
#include "formats/ValueReader.h"
#include "model/ArenaLayout.h"
#include "model/OverlayLabel.h"
#include "tracking/FoundShare.h"
#include "tracking/RunParameters.h"
#include "tracking/TrackingHost.h"
#include "tracking/VideoTracker.h"
#include "tracking/blobs/BackgroundChoice.h"
#include "video/QVideoDecoder.h"
#include "video/VideoProbe.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImageReader>
#include <QLoggingCategory>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <unistd.h>

extern "C" {
#include <libavutil/log.h>
}

namespace {

using TrackOptions::Failure;
using TrackOptions::MethodOptions;
using TrackOptions::Options;

// The run's surroundings: the values the window's controls and view would hold.
class CliHost : public TrackingHost
{
public:
    TrackingControls controls;
    QVideoDecoder decoder;
    QString videoPath;
    QImage shownFrame; // the frame on display before the run: the decoder's current frame
    OverlaySet overlays;

    const TrackingControls &trackingControls() const override { return controls; }
    QVideoDecoder *videoDecoder() override { return &decoder; }
    QString fileName() const override { return videoPath; }
    // No view to paint the tracker view into: the run makes no image for it.
    QImage viewImage() const override { return QImage(); }
    OverlaySet viewOverlays() const override { return overlays; }
    void setShowResults(bool) override { }
    void setFishFound(bool) override { }
};

void warn(const QString &message)
{
    TrackOptions::warn("track", message);
}

// Opens the video and shows its first frame as "Open Video File..." does, then moves as
// the slider does; *probe says what the container announces. A failure names the file and
// the reason. The file is read and probed once: by the decoder, or, when that fails, by the
// probe that finds out why.
std::optional<Failure> openVideo(const Options &o, CliHost *host, VideoProbe *probe)
{
    host->videoPath = o.video;
    auto failure = [&](const QString &what) {
        return Failure { ExitBadVideo,
            QStringLiteral("%1 '%2': %3")
                .arg(what, o.video,
                    probe->problem.isEmpty() ? QStringLiteral("no picture could be decoded")
                                             : probe->problem) };
    };
    if (!VideoProbe::fileProblem(o.video).isEmpty() || !host->decoder.open(o.video)
        || !host->decoder.isOpen()) {
        // The decoder's attempt has logged FFmpeg's complaint already; reading the file again
        // to name the reason must not log it twice. (Nothing else decodes yet.)
        const int logLevel = av_log_get_level();
        av_log_set_level(AV_LOG_QUIET);
        *probe = VideoProbe(o.video);
        av_log_set_level(logLevel);
        return failure(QStringLiteral("Error loading the video"));
    }
    *probe = host->decoder.probe();
    if (!probe->problem.isEmpty())
        return failure(QStringLiteral("Error loading the video"));
    if (!host->decoder.seekNextFrame()) {
        // The frame shown after opening is the video's second; a video of one frame has none.
        // A container that does not say how many it has (a single picture file) is asked for
        // its first.
        const bool onePicture
            = probe->expectedFrames >= 0 ? probe->expectedFrames < 2 : host->decoder.seekToFrame(0);
        if (probe->problem.isEmpty() && onePicture)
            return Failure { ExitNothingTracked,
                QStringLiteral("'%1' has 1 frame: it gave no frame to track after the one "
                               "shown (the second), so nothing was written")
                    .arg(o.video) };
        return failure(QStringLiteral("seekNextFrame failed on"));
    }
    if (!host->decoder.copyFrame(host->shownFrame) || host->shownFrame.isNull())
        return failure(QStringLiteral("Error decoding the frame of"));
    if (o.startMs) {
        if (!host->decoder.seekToMs(*o.startMs))
            return Failure { ExitBadVideo,
                QStringLiteral("cannot seek to %1 ms in '%2'").arg(*o.startMs).arg(o.video) };
        QImage frame;
        if (host->decoder.copyFrame(frame) && !frame.isNull())
            host->shownFrame = frame;
    }
    return std::nullopt;
}

// Why the run looks cut short, naming the video, or empty when it reached the end. A
// container that counts its frames says how many there should have been, when the frames
// decoded are known (decoded >= 0). Else the container says when the last frame should come:
// a count from the duration and the average rate would overstate a video whose rate varies
// (frames dropped by a recorder), and call every such video cut.
QString cutShort(const VideoProbe &probe, const QString &video, qint64 decoded, double lastSeconds)
{
    if (probe.frameCountAnnounced && decoded >= 0) {
        if (decoded + std::max<qint64>(2, probe.expectedFrames / 100) >= probe.expectedFrames)
            return QString();
        return QStringLiteral("%1 of %2 frames decoded from '%3'")
            .arg(QString::number(decoded), QString::number(probe.expectedFrames), video);
    }
    if (lastSeconds < 0 || !probe.stopsShortOfEnd(lastSeconds))
        return QString();
    return QStringLiteral("'%1' runs to %2 s, but the frames decoded from it stop at %3 s")
        .arg(video, QString::number(probe.announcedEndSeconds(), 'f', 3),
            QString::number(lastSeconds, 'f', 3));
}

// What the user should know about a video that can be tracked, and about options the
// whole-video background does not use (it averages nothing and filters nothing).
void warnAboutVideo(const Options &o, const VideoProbe &probe, bool blobs)
{
    QStringList unused;
    for (const char *name : { "average", "filter", "variance" })
        if (blobs && o.given.contains(QLatin1String(name)))
            unused << QStringLiteral("--%1").arg(QLatin1String(name));
    if (!unused.isEmpty())
        warn(QStringLiteral("%1 %2 not apply to --method blobs; ignored")
                 .arg(unused.join(QStringLiteral(", ")),
                     unused.size() == 1 ? QStringLiteral("does") : QStringLiteral("do")));
    if (!blobs && probe.expectedFrames >= 0 && probe.expectedFrames < o.average)
        warn(QStringLiteral("'%1': the video has %2 frames, fewer than Frames to Average (%3)")
                 .arg(o.video)
                 .arg(probe.expectedFrames)
                 .arg(o.average));
    if (probe.videoStreams > 1)
        warn(QStringLiteral("'%1' holds %2 video streams; the first one is tracked")
                 .arg(o.video)
                 .arg(probe.videoStreams));
    if (probe.rotation != 0)
        warn(QStringLiteral("'%1' is meant to be shown turned by %2 degrees; it is tracked as "
                            "stored, as the window shows it, and the coordinates are those of "
                            "the stored picture")
                 .arg(o.video)
                 .arg(probe.rotation));
}

// The background as a PNG, written whole or not at all.
bool saveBackground(const QImage &background, const QString &path, QString *reason)
{
    if (background.isNull()) {
        *reason = QStringLiteral("the run made no background");
        return false;
    }
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !background.save(&buffer, "PNG")) {
        *reason = QStringLiteral("the PNG could not be encoded");
        return false;
    }
    return AtomicFile::write(path, png, reason) == AtomicFile::Outcome::Written;
}

QString formatDuration(double seconds)
{
    const qint64 s = qint64(std::max(0.0, seconds) + 0.5);
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600)
        .arg((s / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

// Frames done, frames per second and the time left, estimated from the video time covered.
class Progress
{
public:
    Progress(qint64 fromMs, qint64 totalMs)
        : startMs(fromMs)
        , lengthMs(totalMs)
    {
        interactive = isatty(fileno(stderr));
        clock.start();
    }

    void show(const VideoTracker &tracker, bool final)
    {
        const qint64 elapsed = clock.elapsed();
        if (!final && elapsed - lastShown < (interactive ? 500 : 10000))
            return;
        lastShown = elapsed;
        bool ok = false;
        const TrackRecord newest = tracker.recordFromEnd(0, &ok);
        const int frames = tracker.recordCount();
        const double seconds = elapsed / 1000.0;
        const double fps = seconds > 0 ? frames / seconds : 0.0;
        QString line = QStringLiteral("%1 frames, %2 fps").arg(frames).arg(fps, 0, 'f', 1);
        const double coveredMs = ok ? newest.seconds * 1000.0 - startMs : 0.0;
        if (final)
            line += QStringLiteral(", %1 elapsed").arg(formatDuration(seconds));
        else if (coveredMs > 0 && lengthMs > 0)
            line
                += QStringLiteral(", %1 left")
                       .arg(formatDuration((lengthMs - startMs - coveredMs) / coveredMs * seconds));
        std::fprintf(stderr, interactive ? "\r%-60s" : "%s\n", qPrintable(line));
        if (final && interactive)
            std::fputc('\n', stderr);
        std::fflush(stderr);
    }

private:
    qint64 startMs, lengthMs;
    bool interactive = false;
    QElapsedTimer clock;
    qint64 lastShown = -1000000;
};

} // namespace

int runTrack(const QStringList &args)
{
    CommandLine line(QStringLiteral("track"), QStringLiteral("VIDEO"),
        QStringLiteral("Tracks the fish in VIDEO and writes the tracking data file."));
    line.addOptions(TrackOptions::options);
    line.addOptions(TrackOptions::methodOptions);
    line.addOptions(ArenaOptions::options);
    if (const auto done = line.parse(args))
        return *done;
    Options options;
    MethodOptions method;
    auto fail = [&line](const Failure &f) {
        return f.code == ExitBadOption ? line.usageError(f.message)
                                       : line.failure(f.code, f.message);
    };
    // The tracker's "Processing..." goes to Qt's debug output; --quiet keeps standard error
    // for failures only.
    if (line.isSet("quiet"))
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));

    CliHost host;
    if (auto failure
        = TrackOptions::configure(line, &options, &method, &host.controls, &host.overlays))
        return fail(*failure);

    VideoProbe probe { QString() }; // what openVideo() finds
    if (auto failure = openVideo(options, &host, &probe))
        return fail(*failure);
    if (auto failure
        = TrackOptions::checkArea(host.controls, &host.overlays, host.shownFrame.size(), "track"))
        return fail(*failure);
    if (auto failure = TrackOptions::checkBackground(method, host.controls, host.shownFrame.size()))
        return fail(*failure);

    const QString output = !options.output.isEmpty() ? options.output
        : options.fish == 1 && host.overlays.arenas.isEmpty()
        ? TrackingDataFile::singleFishPath(options.video)
        : TrackingDataFile::multiFishPath(options.video);
    // Find out now, not after a long run, that an output cannot be written: no output may
    // replace an input, whatever name either is given.
    for (const QString &input :
        { options.video, options.setupFrom, options.overlaysFrom, method.backgroundImage })
        AtomicFile::protectInput(input);
    if (!method.saveBackground.isEmpty()
        && QFileInfo(method.saveBackground).absoluteFilePath()
            == QFileInfo(output).absoluteFilePath())
        return fail({ ExitBadOption,
            QStringLiteral("--save-background %1 is the data file too").arg(output) });
    for (const QString &path : { output, method.saveBackground }) {
        if (path.isEmpty())
            continue;
        const QString problem = AtomicFile::problem(path);
        if (!problem.isEmpty())
            return fail(
                { ExitCannotWrite, QStringLiteral("cannot write %1: %2").arg(path, problem) });
    }
    warnAboutVideo(options, probe, method.blobs);

    const qint64 startMs = host.decoder.frameTime();
    const qint64 lengthMs = host.decoder.lengthMs();
    VideoTracker tracker(&host);
    tracker.setDataFilePath(output);
    // A run that gives no record must not replace an earlier data file with a header.
    tracker.setWriteWhenEmpty(false);
    Progress progress(startMs, lengthMs);
    SignalStop::install();
    tracker.start();
    while (!tracker.wait(200)) {
        if (SignalStop::received())
            tracker.requestStop();
        if (!options.quiet)
            progress.show(tracker, false);
    }
    if (!options.quiet)
        progress.show(tracker, true);

    const int records = tracker.recordCount();
    bool ok = false;
    const TrackRecord last = tracker.recordFromEnd(0, &ok);
    // The picture a record came from, counted from the video's first (0): the run starts after
    // the frame shown, the video's second, and makes one record per picture. (The record's own
    // frame number is the container's timestamp, in units that differ from one container to
    // the next.) After a seek, only the time is known.
    const QString lastFrame = !ok ? QStringLiteral("no frame")
        : options.startMs ? QStringLiteral("the frame at %1 s").arg(double(last.seconds), 0, 'f', 3)
                          : QStringLiteral("frame %1 (%2 s)")
                                .arg(1 + qint64(records))
                                .arg(double(last.seconds), 0, 'f', 3);
    if (const int signal = SignalStop::received()) {
        const QString written = records > 0 && tracker.lastWriteError().isEmpty()
            ? QStringLiteral("%1 records written to %2").arg(records).arg(output)
            : QStringLiteral("%1 not written (%2)")
                  .arg(output,
                      records > 0 ? tracker.lastWriteError()
                                  : QStringLiteral("no record yet; an earlier file is kept"));
        line.failure(SignalStop::exitCode(signal),
            QStringLiteral("stopped by %1 after %2: %3")
                .arg(QLatin1String(SignalStop::name(signal)), lastFrame, written));
        return SignalStop::exitCode(signal);
    }
    if (records == 0 && !tracker.startFailure().isEmpty())
        return fail({ ExitNothingTracked,
            QStringLiteral("%1, so %2 was not written").arg(tracker.startFailure(), output) });
    if (records == 0)
        return fail({ ExitNothingTracked,
            QStringLiteral("'%1' gave no frame to track after the one shown, so %2 was not "
                           "written (an earlier file of that name is kept)")
                .arg(options.video, output) });
    const QString error = tracker.lastWriteError();
    if (!error.isEmpty())
        return fail({ ExitCannotWrite, error });
    // How many rows found every fish: said at the end of every whole-video background run,
    // a warning when under half, a failure when none found any.
    FoundShare found;
    if (method.blobs) {
        found = FoundShare::of(tracker.resultsSnapshot(),
            host.overlays.arenas.isEmpty() ? options.fish
                                           : ArenaLayout::totalFish(host.overlays.arenas),
            host.overlays.arenas);
        if (found.nothingFound())
            return fail({ ExitNothingTracked,
                QStringLiteral("no fish was found in any of the %1 rows written to %2")
                    .arg(records)
                    .arg(output) });
        if (found.low())
            warn(QStringLiteral("fewer fish were found than asked: %1").arg(found.describe()));
        else if (!options.quiet)
            std::fprintf(stderr, "pondwatch-cli track: %s\n", qPrintable(found.describe()));
    }
    if (!method.saveBackground.isEmpty()) {
        QString reason;
        if (!saveBackground(host.controls.blobs.lastBackground(), method.saveBackground, &reason))
            return fail({ ExitCannotWrite,
                QStringLiteral("cannot write the background to %1: %2")
                    .arg(method.saveBackground, reason) });
    }
    // A file cut short, or a picture that cannot be decoded, ends the run like the end of the
    // video. The pictures decoded are the one shown and the records; after a seek, those the
    // slider skipped are not known (their times need not come at the average rate).
    const qint64 decoded = options.startMs ? -1 : 1 + qint64(records);
    const QString shortfall = cutShort(probe, options.video, decoded, ok ? last.seconds : -1.0);
    if (!shortfall.isEmpty())
        return fail({ ExitVideoEndedEarly,
            QStringLiteral("the video ended early: %1; the %2 records up to %3 are written to %4")
                .arg(shortfall, QString::number(records), lastFrame, output) });
    if (method.strict && found.low())
        return fail({ ExitFewFound,
            QStringLiteral("--strict: every fish was found in under half of the rows of %1")
                .arg(output) });
    return ExitOk;
}

QStringList trackManifestOptions()
{
    QStringList names;
    auto add = [&names](const auto &options) {
        for (const OptionSpec &option : options)
            if (option.valueName && qstrcmp(option.name, "output") != 0)
                names << QString::fromLatin1(option.name);
    };
    add(TrackOptions::options);
    add(TrackOptions::methodOptions);
    add(ArenaOptions::options);
    return names;
}
