// pondwatch-cli track: the window's processing run without a window. The video is opened and
// stepped to its first frame as "Open Video File..." does, optionally moved as the slider
// moves it, and the tracker runs from the next frame to the end, writing the same data file.
// SIGINT and SIGTERM stop the run as "Stop Processing" does; a video that ends before the
// frames its container announces, and a run without a record, have exit codes of their own.

#include "cli/ArenaOptions.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/SignalStop.h"

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

// The options of track, one line each; parseOptions() reads each one.
const OptionSpec trackOptions[] = {
    { "area", "X1,Y1,X2,Y2",
        "Tracking Area, inclusive corners (required unless --overlays-from or --setup)" },
    { "zone", "TEXT=X1,Y1,X2,Y2", "a zone (repeatable, kept in order); label \"Zone<n>-TEXT\"" },
    { "scale", "LENGTH/px",
        "the length of a pixel with its unit (\"0.05mm/px\"), kept in the data file for "
        "measures and trajectories" },
    { "ruler", "TEXT=X1,Y1,X2,Y2,LENGTH", "a ruler (repeatable); label \"Ruler<n>-TEXT\"" },
    { "pointdist", "TEXT=CX,CY,RX,RY,LENGTH",
        "a point distance (repeatable); label \"PointDist<n>-TEXT\"" },
    { "overlays-from", "DATAFILE",
        "Tracking Area and overlays from a tracking data file's header" },
    { "setup", "FILE",
        "Tracking Area, overlays and parameters from a setup file (Save Setup... in the "
        "window); options given beside it win" },
    { "fish", "N", "# Fish to Track, 1..25 (1)" },
    { "average", "N", "Frames to Average, 1..1000 (300)" },
    { "threshold", "T", "Confidence Threshold, 0..255, 2 decimals (30)" },
    { "variance", "V", "Gaussian Variance, 0..1, 3 decimals (0.01)" },
    { "filter", "S", "Mean Filter Size (pixels), 1..99 (3)" },
    { "difference", "abs|bright|dark",
        "Signed Image Difference off, Bright object (+), Dark object (-) (abs)" },
    { "start-ms", "MS", "seek as the slider does before the run" },
    { "output", "PATH", "the data file (default: beside the video)" },
    { "quiet", nullptr, "no progress on standard error" },
};

// The detection method and the whole-video background's options (parseMethodOptions()).
const OptionSpec methodOptions[] = {
    { "method", "classic|blobs",
        "detection: classic (running average; the default) or blobs (whole-video background, "
        "with --fish up to 200 and --threshold auto|T as its foreground threshold, auto by "
        "default)" },
    { "background-frames", "K", "blobs: frames sampled for the background, 1..1000 (50)" },
    { "background", "auto|median|extreme|masked",
        "blobs: the background from the sampled frames: their median, a high (dark animals) or "
        "low (bright animals) percentile, the median of the samples without an animal, or per "
        "arena the median unless an animal rests in it (auto, the default)" },
    { "background-image", "PNG", "blobs: use this background (an empty tank) instead" },
    { "save-background", "PNG", "blobs: write the background used to PNG" },
    { "min-area", "PX", "blobs: smallest blob in pixels (from the sampled frames)" },
    { "max-area", "PX", "blobs: largest blob in pixels (from the sampled frames)" },
    { "max-speed", "PX", "blobs: pixels a fish may move per frame (from its body length)" },
    { "strict", nullptr,
        "blobs: exit with code 8 when every fish was found in under half of the rows" },
};

struct Failure
{
    int code;
    QString message;
};

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

struct Options
{
    QString video;
    std::optional<QRect> area;
    QStringList zones, rulers, pointDists; // the raw TEXT=values arguments, in order
    QString overlaysFrom;
    QString setupFrom;
    QSet<QString> given; // the parameter options named on the command line
    int fish = 1;
    int average = 300;
    double threshold = 30.0;
    double variance = 0.01;
    int filter = 3;
    QString difference = QStringLiteral("abs");
    std::optional<qint64> startMs;
    QString output;
    bool quiet = false;
};

// A whole number option within minimum..maximum; the default when not given.
std::optional<Failure> intOption(
    const CommandLine &line, const char *name, int minimum, int maximum, int *value)
{
    if (auto refusal = line.wholeNumber(name, minimum, maximum, value))
        return Failure { ExitBadOption, *refusal };
    return std::nullopt;
}

// A number option rounded to decimals as its spin box rounds it, within minimum..maximum.
std::optional<Failure> realOption(const CommandLine &line, const char *name, int decimals,
    double minimum, double maximum, double *value)
{
    if (auto refusal = line.real(name, decimals, minimum, maximum, value))
        return Failure { ExitBadOption, *refusal };
    return std::nullopt;
}

// The detection method and the whole-video background's options. With blobs, --fish and
// --threshold are read here, as their range and meaning differ from the classic method's.
struct MethodOptions
{
    bool blobs = false;
    int backgroundFrames = 50;
    BackgroundMode background = BackgroundMode::Auto;
    QString backgroundImage;
    QString saveBackground;
    double threshold = -1.0; // auto
    int minArea = 0, maxArea = 0; // 0: from the sampled frames
    double maxSpeed = 0.0; // 0: from the body length
    int fish = 1;
    bool strict = false; // a run that found too few fails
};

// A setup of the whole-video background gives that method and its parameters when --method is
// not named; the options given still take their place.
void takeMethodFromSetup(const TrackingSetup &setup, MethodOptions *m)
{
    if (!setup.hasParameters || !setup.wholeVideoBackground)
        return;
    m->blobs = true;
    m->fish = setup.fishCount;
    m->backgroundFrames = setup.backgroundFrames;
    m->background = BackgroundMode(std::clamp(setup.backgroundMode, 0, 3));
    m->threshold = setup.blobThreshold < 0 ? -1.0 : double(setup.blobThreshold);
    m->minArea = setup.minArea;
    m->maxArea = setup.maxArea;
    m->maxSpeed = double(setup.maxSpeed);
}

std::optional<Failure> parseMethodOptions(
    const CommandLine &line, const TrackingSetup *setup, MethodOptions *m)
{
    auto bad = [](const QString &message) {
        return std::optional<Failure>(Failure { ExitBadOption, message });
    };
    if (setup && !line.isSet("method"))
        takeMethodFromSetup(*setup, m);
    if (line.isSet("method")) {
        const QString method = line.value("method");
        if (method != QLatin1String("classic") && method != QLatin1String("blobs"))
            return bad(QStringLiteral("--method must be classic or blobs, got '%1'").arg(method));
        m->blobs = method == QLatin1String("blobs");
    }
    for (const char *name : { "background-frames", "background", "background-image",
             "save-background", "min-area", "max-area", "max-speed", "strict" })
        if (!m->blobs && line.isSet(name))
            return bad(QStringLiteral("--%1 needs --method blobs").arg(QLatin1String(name)));
    if (!m->blobs)
        return std::nullopt;
    if (auto f = intOption(line, "background-frames", 1, 1000, &m->backgroundFrames))
        return f;
    if (line.isSet("background")
        && !BackgroundChoice::modeFromName(line.value("background"), &m->background))
        return bad(QStringLiteral("--background must be auto, median, extreme or masked, got '%1'")
                       .arg(line.value("background")));
    if (line.isSet("background") && line.isSet("background-image"))
        return bad(QStringLiteral("--background and --background-image both give the background; "
                                  "use one"));
    if (auto f = intOption(line, "fish", 1, 200, &m->fish)) {
        f->message += QStringLiteral(" (with --method blobs)");
        return f;
    }
    if (auto f = intOption(line, "min-area", 1, 100000000, &m->minArea))
        return f;
    if (auto f = intOption(line, "max-area", 1, 100000000, &m->maxArea))
        return f;
    if (m->minArea > 0 && m->maxArea > 0 && m->minArea > m->maxArea)
        return bad(
            QStringLiteral("--min-area %1 is above --max-area %2").arg(m->minArea).arg(m->maxArea));
    if (auto f = realOption(line, "max-speed", 2, 0.01, 100000.0, &m->maxSpeed))
        return f;
    if (line.isSet("threshold") && line.value("threshold") != QLatin1String("auto")) {
        const auto v = ValueReader::real(line.value("threshold"), 2, 0.0, 255.0);
        if (!v)
            return bad(QStringLiteral("--threshold must be auto or a number from 0 to 255, got "
                                      "'%1'")
                           .arg(line.value("threshold")));
        m->threshold = *v;
    }
    m->strict = line.isSet("strict");
    m->backgroundImage = line.path("background-image");
    m->saveBackground = line.path("save-background");
    return std::nullopt;
}

// The method's options into the controls. The chosen background is read here, so that a
// missing or unreadable picture is reported before the run.
std::optional<Failure> applyMethodOptions(const MethodOptions &m, TrackingControls *controls)
{
    controls->detectionMethod = int(m.blobs ? DetectionKind::Blobs : DetectionKind::Classic);
    if (!m.blobs)
        return std::nullopt;
    controls->fishCount = m.fish;
    controls->blobs.backgroundFrames = m.backgroundFrames;
    controls->blobs.backgroundMode = int(m.background);
    controls->blobs.threshold = float(m.threshold);
    controls->blobs.minArea = m.minArea;
    controls->blobs.maxArea = m.maxArea;
    controls->blobs.maxSpeed = float(m.maxSpeed);
    if (!m.backgroundImage.isEmpty()) {
        QImageReader reader(m.backgroundImage);
        const QImage image = reader.read();
        if (image.isNull())
            return Failure { ExitBadOption,
                QStringLiteral("--background-image: cannot read %1: %2")
                    .arg(m.backgroundImage, reader.errorString()) };
        controls->blobs.setChosenBackground(image, m.backgroundImage);
    }
    return std::nullopt;
}

// The chosen background must cover the frame exactly.
std::optional<Failure> checkBackground(
    const MethodOptions &m, const TrackingControls &controls, const QSize &frame)
{
    const QImage chosen = controls.blobs.chosenBackground();
    if (chosen.isNull() || chosen.size() == frame)
        return std::nullopt;
    return Failure { ExitBadOption,
        QStringLiteral("--background-image: %1 is %2x%3, the video %4x%5")
            .arg(m.backgroundImage)
            .arg(chosen.width())
            .arg(chosen.height())
            .arg(frame.width())
            .arg(frame.height()) };
}

std::optional<Failure> parseOptions(const CommandLine &line, bool blobs, Options *o)
{
    auto bad = [](const QString &message) {
        return std::optional<Failure>(Failure { ExitBadOption, message });
    };
    const QStringList positional = line.positional();
    if (positional.size() > 1)
        return bad(QStringLiteral("unexpected argument '%1'").arg(positional[1]));
    o->video = positional.value(0);
    o->quiet = line.isSet("quiet");
    o->zones = line.values("zone");
    o->rulers = line.values("ruler");
    o->pointDists = line.values("pointdist");
    o->overlaysFrom = line.path("overlays-from");
    o->setupFrom = line.path("setup");
    for (const char *name : { "fish", "average", "threshold", "variance", "filter", "difference" })
        if (line.isSet(name))
            o->given.insert(QLatin1String(name));
    if (line.isSet("area")) {
        o->area = ValueReader::rect(line.value("area"));
        if (!o->area)
            return bad(QStringLiteral("--area wants X1,Y1,X2,Y2 in whole pixels, got '%1'")
                           .arg(line.value("area")));
    }
    if (!blobs)
        if (auto f = intOption(line, "fish", 1, 25, &o->fish))
            return f;
    if (auto f = intOption(line, "average", 1, 1000, &o->average))
        return f;
    if (auto f = intOption(line, "filter", 1, 99, &o->filter))
        return f;
    if (!blobs)
        if (auto f = realOption(line, "threshold", 2, 0.0, 255.0, &o->threshold))
            return f;
    if (auto f = realOption(line, "variance", 3, 0.0, 1.0, &o->variance))
        return f;
    if (line.isSet("difference")) {
        o->difference = line.value("difference");
        if (o->difference != QLatin1String("abs") && o->difference != QLatin1String("bright")
            && o->difference != QLatin1String("dark"))
            return bad(QStringLiteral("--difference must be abs, bright or dark, got '%1'")
                           .arg(o->difference));
    }
    if (line.isSet("start-ms")) {
        bool ok = false;
        const qint64 ms = line.value("start-ms").trimmed().toLongLong(&ok);
        if (!ok || ms < 0)
            return bad(QStringLiteral("--start-ms must be a whole number of milliseconds, got '%1'")
                           .arg(line.value("start-ms")));
        o->startMs = ms;
    }
    if (line.isSet("output")) {
        o->output = line.path("output");
        if (o->output.isEmpty())
            return bad(QStringLiteral("--output needs a path"));
    }
    if (o->video.isEmpty())
        return bad(QStringLiteral("no video given"));
    if (!o->overlaysFrom.isEmpty() && !o->setupFrom.isEmpty())
        return bad(QStringLiteral("--overlays-from and --setup both give the overlays; use one"));
    if (!o->area && o->overlaysFrom.isEmpty() && o->setupFrom.isEmpty() && !line.isSet("arena")
        && !line.isSet("arena-circle"))
        return bad(QStringLiteral(
            "--area is required unless --overlays-from, --setup or arenas are given"));
    return std::nullopt;
}

// The overlays as the view would hold them after the user drew them: the Tracking Area
// first, zones, rulers and point distances numbered as the window numbers them. The arenas
// of a data file the overlays come from are arenas again for the whole-video background
// method (round ones round), and stay the zones they are in that file for the classic one.
std::optional<Failure> buildOverlays(
    const Options &o, bool blobs, const TrackingSetup *setup, OverlaySet *overlays)
{
    OverlaySet set;
    if (setup) {
        set = setup->overlays;
        if (!blobs && !set.arenas.isEmpty()) {
            set = ArenaLayout::withArenaZones(set, set.arenas);
            set.arenas.clear();
        }
    } else if (!o.overlaysFrom.isEmpty()) {
        QString error, detection;
        if (!TrackingDataFile::readOverlays(o.overlaysFrom, &set, &error, &detection))
            return Failure { ExitBadOption, QStringLiteral("--overlays-from: %1").arg(error) };
        // Counts no run could have written are refused, not taken for one fish each.
        if (detection.contains(QLatin1String("arena-fish="))
            && !ArenaLayout::fishFromDetection(detection))
            return Failure { ExitBadOption,
                QStringLiteral("--overlays-from: %1: the Detection line's arena-fish= counts "
                               "must each be from 1 to %2")
                    .arg(o.overlaysFrom)
                    .arg(ArenaLayout::maxFish) };
        if (blobs) {
            set.arenas = ArenaLayout::takeArenas(&set, detection);
        } else if (detection.contains(QLatin1String("arena-rects="))) {
            // Newer files keep their arenas on the detection line; for the classic method
            // they are the zones that older files had.
            OverlaySet copy = set;
            set = ArenaLayout::withArenaZones(set, ArenaLayout::takeArenas(&copy, detection));
            set.arenas.clear();
        }
    } else {
        set.areas << QRect();
        set.areaLabels << QStringLiteral("Tracking Area");
    }
    if (o.area)
        set.areas[0] = *o.area;

    QString text, values;
    for (const QString &arg : o.zones) {
        std::optional<QRect> rect;
        if (ValueReader::splitLabelled(arg, &text, &values))
            rect = ValueReader::rect(values);
        if (!rect)
            return Failure { ExitBadOption,
                QStringLiteral("--zone wants TEXT=X1,Y1,X2,Y2, got '%1'").arg(arg) };
        set.areaLabels << QStringLiteral("Zone%1-%2")
                              .arg(set.areas.size())
                              .arg(OverlayLabel::fromUserText(text));
        set.areas << *rect;
    }
    for (const QString &arg : o.rulers) {
        const auto shape = ValueReader::measureShape(arg);
        if (!shape)
            return Failure { ExitBadOption,
                QStringLiteral("--ruler wants TEXT=X1,Y1,X2,Y2,LENGTH, got '%1'").arg(arg) };
        Ruler r;
        r.label = QStringLiteral("Ruler%1-%2")
                      .arg(set.rulers.size() + 1)
                      .arg(OverlayLabel::fromUserText(shape->text));
        r.x1 = shape->points[0], r.y1 = shape->points[1];
        r.x2 = shape->points[2], r.y2 = shape->points[3];
        r.length = shape->length;
        set.rulers << r;
    }
    for (const QString &arg : o.pointDists) {
        const auto shape = ValueReader::measureShape(arg);
        if (!shape)
            return Failure { ExitBadOption,
                QStringLiteral("--pointdist wants TEXT=CX,CY,RX,RY,LENGTH, got '%1'").arg(arg) };
        PointDist p;
        p.label = QStringLiteral("PointDist%1-%2")
                      .arg(set.pointDists.size() + 1)
                      .arg(OverlayLabel::fromUserText(shape->text));
        p.centrex = shape->points[0], p.centrey = shape->points[1];
        p.radx = shape->points[2], p.rady = shape->points[3];
        p.length = shape->length;
        set.pointDists << p;
    }
    const QString outOfRange = overlaylimits::firstOutOfRange(set);
    if (!outOfRange.isEmpty())
        return Failure { ExitBadOption, outOfRange };
    *overlays = set;
    return std::nullopt;
}

void warn(const QString &message)
{
    std::fprintf(stderr, "pondwatch-cli track: warning: %s\n", qPrintable(message));
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

// A Tracking Area is of use only when it covers some of the frame and the detector's scan
// range is not empty; one that reaches past the frame is clipped to it.
std::optional<Failure> checkArea(CliHost &host)
{
    const RunParameters p = RunParameters::fromControls(host.controls);
    QRect area = host.overlays.areas.value(0);
    const QRect frame(QPoint(0, 0), host.shownFrame.size());
    if (!frame.intersects(area))
        return Failure { ExitBadArea,
            QStringLiteral("the Tracking Area %1,%2,%3,%4 lies outside the %5x%6 frame")
                .arg(area.left())
                .arg(area.top())
                .arg(area.right())
                .arg(area.bottom())
                .arg(frame.width())
                .arg(frame.height()) };
    if (!frame.contains(area)) {
        const QRect clipped = area & frame;
        warn(QStringLiteral("the Tracking Area %1,%2,%3,%4 reaches past the %5x%6 frame; it is "
                            "clipped to %7,%8,%9,%10")
                 .arg(area.left())
                 .arg(area.top())
                 .arg(area.right())
                 .arg(area.bottom())
                 .arg(frame.width())
                 .arg(frame.height())
                 .arg(clipped.left())
                 .arg(clipped.top())
                 .arg(clipped.right())
                 .arg(clipped.bottom()));
        area = clipped;
        host.overlays.areas[0] = area;
    }
    // The single-fish scan needs a side longer than the filter; the multi-fish candidates
    // need the filter and a ring of neighbours on each side.
    const int needed = p.method == DetectionKind::Blobs ? 1
        : p.fishCount == 1                              ? p.filterSide + 1
                                                        : p.filterSide + 3;
    if (area.width() < needed || area.height() < needed)
        return Failure { ExitBadArea,
            QStringLiteral("the Tracking Area %1,%2,%3,%4 leaves no pixel to scan with a "
                           "filter of %5 (it must be at least %6 pixels wide and high)")
                .arg(area.left())
                .arg(area.top())
                .arg(area.right())
                .arg(area.bottom())
                .arg(p.filterSide)
                .arg(needed) };
    return std::nullopt;
}

// A setup file's parameters, for those not named on the command line.
void applySetupParameters(const TrackingSetup &setup, bool blobs, Options *o)
{
    if (!setup.hasParameters)
        return;
    auto unless = [o](const char *name) { return !o->given.contains(QLatin1String(name)); };
    // A whole-video background setup may hold more fish than the classic method takes.
    if (unless("fish") && (blobs || setup.fishCount <= TrackingSetup::classicMaxFish))
        o->fish = setup.fishCount;
    if (unless("average"))
        o->average = setup.framesToAverage;
    if (unless("threshold"))
        o->threshold = ValueReader::roundTo(setup.confidenceThreshold, 2);
    if (unless("variance"))
        o->variance = ValueReader::roundTo(setup.gaussianVariance, 3);
    if (unless("filter"))
        o->filter = setup.meanFilterSize;
    if (unless("difference"))
        o->difference = !setup.signedDifference ? QStringLiteral("abs")
            : setup.brightObject                ? QStringLiteral("bright")
                                                : QStringLiteral("dark");
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
    line.addOptions(trackOptions);
    line.addOptions(methodOptions);
    line.addOptions(ArenaOptions::options);
    if (const auto done = line.parse(args))
        return *done;
    Options options;
    MethodOptions method;
    auto fail = [&line](const Failure &f) {
        return f.code == ExitBadOption ? line.usageError(f.message)
                                       : line.failure(f.code, f.message);
    };
    // The setup is read first: its detection method decides how the other options read.
    std::optional<TrackingSetup> setup;
    if (line.isSet("setup")) {
        TrackingSetup read;
        QString error;
        if (!SetupFile::read(line.path("setup"), &read, &error))
            return fail({ ExitBadOption, QStringLiteral("--setup: %1").arg(error) });
        setup = read;
    }
    if (auto failure = parseMethodOptions(line, setup ? &*setup : nullptr, &method))
        return fail(*failure);
    if (auto failure = parseOptions(line, method.blobs, &options))
        return fail(*failure);
    // The tracker's "Processing..." goes to Qt's debug output; --quiet keeps standard error
    // for failures only.
    if (options.quiet)
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    if (setup)
        applySetupParameters(*setup, method.blobs, &options);
    // With blobs --fish is read with the method's range; a setup's fish count stands when
    // --fish is not given, as it does for the classic method.
    if (method.blobs && options.given.contains(QStringLiteral("fish")))
        options.fish = method.fish;
    else if (method.blobs)
        method.fish = options.fish;

    CliHost host;
    if (auto failure
        = buildOverlays(options, method.blobs, setup ? &*setup : nullptr, &host.overlays))
        return fail(*failure);
    // Arenas given as options take the place of those of --overlays-from or --setup.
    QList<Arena> givenArenas;
    Scale gridScale;
    if (auto error = ArenaOptions::parse(
            line, method.blobs, options.area, method.fish, &givenArenas, &gridScale))
        return fail({ ExitBadOption, *error });
    // The scale is set once: by the option, by a grid's wells, or by the setup it comes with.
    if (line.isSet("scale")) {
        if (gridScale.isSet())
            return fail({ ExitBadOption,
                QStringLiteral("--scale and the wells' size of --arena-grid both set the scale; "
                               "give one") });
        const QString text = line.value("scale");
        const int slash = int(text.indexOf(QLatin1String("/px")));
        int unitAt = 0;
        while (unitAt < slash && (text[unitAt].isDigit() || text[unitAt] == QLatin1Char('.')))
            ++unitAt;
        const auto scale = slash > 0
            ? Scale::parse(text.left(unitAt) + QLatin1Char(' ') + text.mid(unitAt))
            : std::nullopt;
        if (!scale)
            return fail({ ExitBadOption,
                QStringLiteral("--scale wants a length per pixel with its unit, as 0.05mm/px; "
                               "got '%1'")
                    .arg(text) });
        host.overlays.scale = *scale;
    }
    if (gridScale.isSet())
        host.overlays.scale = gridScale;
    if (ArenaOptions::given(line))
        host.overlays.arenas = givenArenas;
    if (ArenaLayout::totalFish(host.overlays.arenas) > ArenaOptions::maxFish)
        return fail({ ExitBadOption,
            QStringLiteral("the arenas hold %1 fish together; at most %2 can be tracked")
                .arg(ArenaLayout::totalFish(host.overlays.arenas))
                .arg(ArenaOptions::maxFish) });
    // Without --area, the Tracking Area spans the arenas.
    if (!options.area && options.overlaysFrom.isEmpty() && options.setupFrom.isEmpty()
        && !host.overlays.arenas.isEmpty())
        host.overlays.areas[0]
            = host.overlays.areas[0].united(ArenaLayout::span(host.overlays.arenas));
    host.controls.fishCount = options.fish;
    host.controls.framesToAverage = options.average;
    host.controls.confidenceThreshold = float(options.threshold);
    host.controls.gaussianVariance = float(options.variance);
    host.controls.meanFilterSize = options.filter;
    host.controls.signedDifference = options.difference != QLatin1String("abs");
    host.controls.brightObject = options.difference != QLatin1String("dark");
    if (auto failure = applyMethodOptions(method, &host.controls))
        return fail(*failure);

    VideoProbe probe { QString() }; // what openVideo() finds
    if (auto failure = openVideo(options, &host, &probe))
        return fail(*failure);
    if (auto failure = checkArea(host))
        return fail(*failure);
    if (auto failure = checkBackground(method, host.controls, host.shownFrame.size()))
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
    add(trackOptions);
    add(methodOptions);
    add(ArenaOptions::options);
    return names;
}
