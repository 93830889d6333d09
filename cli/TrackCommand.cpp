// pondwatch-cli track: the window's processing run without a window. The video is opened and
// stepped to its first frame as "Open Video File..." does, optionally moved as the slider
// moves it, and the tracker runs from the next frame to the end, writing the same data file.

#include "cli/Commands.h"

#include "tracking/OverlayLimits.h"
#include "tracking/RunParameters.h"
#include "tracking/TrackingDataFile.h"
#include "tracking/TrackingHost.h"
#include "tracking/VideoTracker.h"
#include "video/QVideoDecoder.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QSaveFile>

extern "C" {
#include <libavutil/log.h>
}

#include <cmath>
#include <cstdio>
#include <optional>
#include <unistd.h>

namespace {

// Exit codes, one per kind of failure.
enum ExitCode {
    ExitOk = 0,
    ExitBadOption = 2,
    ExitBadVideo = 3,
    ExitBadArea = 4,
    ExitCannotWrite = 5,
};

const char usage[]
    = "usage: pondwatch-cli track VIDEO [options]\n"
      "  --area X1,Y1,X2,Y2               Tracking Area, inclusive corners (required unless "
      "--overlays-from)\n"
      "  --zone TEXT=X1,Y1,X2,Y2          a zone (repeatable, kept in order); label "
      "\"Zone<n>-TEXT\"\n"
      "  --ruler TEXT=X1,Y1,X2,Y2,LENGTH  a ruler (repeatable); label \"Ruler<n>-TEXT\"\n"
      "  --pointdist TEXT=CX,CY,RX,RY,LENGTH  a point distance (repeatable); label "
      "\"PointDist<n>-TEXT\"\n"
      "  --overlays-from DATAFILE         Tracking Area and overlays from a tracking data file's "
      "header\n"
      "  --fish N                         # Fish to Track, 1..25 (1)\n"
      "  --average N                      Frames to Average, 1..1000 (300)\n"
      "  --threshold T                    Confidence Threshold, 0..255, 2 decimals (30)\n"
      "  --variance V                     Gaussian Variance, 0..1, 3 decimals (0.01)\n"
      "  --filter S                       Mean Filter Size (pixels), 1..99 (3)\n"
      "  --difference abs|bright|dark     Signed Image Difference off, Bright object (+), Dark "
      "object (-) (abs)\n"
      "  --start-ms MS                    seek as the slider does before the run\n"
      "  --output PATH                    the data file (default: beside the video)\n"
      "  --quiet                          no progress on standard error\n"
      "exit codes: 0 done, 2 bad option, 3 video cannot be opened, 4 area leaves no pixel to "
      "scan,\n"
      "            5 data file cannot be written\n";

struct Failure
{
    int code;
    QString message;
};

void printError(const QString &message)
{
    std::fprintf(stderr, "pondwatch-cli track: %s\n", qPrintable(message));
}

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
    QImage viewImage() const override { return shownFrame; }
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

std::optional<int> parseInt(const QString &text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

// Comma-separated numbers; the count must match.
std::optional<QVector<double>> parseNumbers(const QString &text, int count)
{
    const QStringList parts = text.split(QLatin1Char(','), Qt::KeepEmptyParts);
    if (parts.size() != count)
        return std::nullopt;
    QVector<double> values;
    for (const QString &p : parts) {
        bool ok = false;
        const double v = p.trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(v))
            return std::nullopt;
        values << v;
    }
    return values;
}

bool isInteger(double v)
{
    return v == std::floor(v) && std::fabs(v) <= 2147483647.0;
}

// X1,Y1,X2,Y2 as inclusive corners, normalised as the view stores a dragged rectangle.
std::optional<QRect> parseRect(const QString &text)
{
    const auto v = parseNumbers(text, 4);
    if (!v)
        return std::nullopt;
    for (double d : *v)
        if (!isInteger(d))
            return std::nullopt;
    // Not QRect::normalized(), which moves swapped corners by one pixel.
    const int x1 = int((*v)[0]), y1 = int((*v)[1]), x2 = int((*v)[2]), y2 = int((*v)[3]);
    return QRect(
        QPoint(std::min(x1, x2), std::min(y1, y2)), QPoint(std::max(x1, x2), std::max(y1, y2)));
}

// The spin boxes' rounding: QDoubleSpinBox keeps its value rounded to its decimals.
double roundTo(double value, int decimals)
{
    return QString::number(value, 'f', decimals).toDouble();
}

std::optional<double> parseReal(const QString &text, int decimals, double minimum, double maximum)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    const double rounded = roundTo(value, decimals);
    if (rounded < minimum || rounded > maximum)
        return std::nullopt;
    return rounded;
}

// TEXT=numbers: the text may hold '=' itself, the numbers never do.
bool splitLabelled(const QString &arg, QString *text, QString *values)
{
    const int eq = arg.lastIndexOf(QLatin1Char('='));
    if (eq < 0)
        return false;
    *text = arg.left(eq);
    *values = arg.mid(eq + 1);
    return true;
}

// The ruler and point-distance length as the number dialog gives it: one decimal, within
// +-2147483647, held as a float.
std::optional<float> lengthFrom(double value)
{
    const double rounded = roundTo(value, 1);
    if (std::fabs(rounded) > 2147483647.0)
        return std::nullopt;
    return float(rounded);
}

// A ruler's or point distance's TEXT=A,B,C,D,LENGTH: four whole pixel coordinates and a length.
struct MeasureShape
{
    QString text;
    int points[4] = {};
    float length = 0.0f;
};

std::optional<MeasureShape> parseMeasureShape(const QString &arg)
{
    MeasureShape shape;
    QString values;
    if (!splitLabelled(arg, &shape.text, &values))
        return std::nullopt;
    const auto v = parseNumbers(values, 5);
    if (!v)
        return std::nullopt;
    for (int k = 0; k < 4; ++k) {
        if (!isInteger((*v)[k]))
            return std::nullopt;
        shape.points[k] = int((*v)[k]);
    }
    const auto length = lengthFrom((*v)[4]);
    if (!length)
        return std::nullopt;
    shape.length = *length;
    return shape;
}

std::optional<Failure> parseOptions(const QStringList &args, Options *o)
{
    auto bad = [](const QString &message) {
        return std::optional<Failure>(Failure { ExitBadOption, message });
    };
    for (int i = 0; i < args.size(); ++i) {
        QString name = args[i];
        QString value;
        bool hasInlineValue = false;
        if (name.startsWith(QLatin1String("--")) && name.contains(QLatin1Char('='))
            && name != QLatin1String("--")) {
            const int eq = name.indexOf(QLatin1Char('='));
            value = name.mid(eq + 1);
            name = name.left(eq);
            hasInlineValue = true;
        }
        if (!name.startsWith(QLatin1String("--"))) {
            if (!o->video.isEmpty())
                return bad(QStringLiteral("unexpected argument '%1'").arg(name));
            o->video = name;
            continue;
        }
        if (name == QLatin1String("--quiet")) {
            if (hasInlineValue)
                return bad(QStringLiteral("--quiet takes no value"));
            o->quiet = true;
            continue;
        }
        static const QStringList withValue = { "--area", "--zone", "--ruler", "--pointdist",
            "--overlays-from", "--fish", "--average", "--threshold", "--variance", "--filter",
            "--difference", "--start-ms", "--output" };
        if (!withValue.contains(name))
            return bad(QStringLiteral("unknown option '%1'").arg(name));
        if (!hasInlineValue) {
            if (i + 1 >= args.size())
                return bad(QStringLiteral("%1 needs a value").arg(name));
            value = args[++i];
        }
        if (name == QLatin1String("--area")) {
            o->area = parseRect(value);
            if (!o->area)
                return bad(QStringLiteral("--area wants X1,Y1,X2,Y2 in whole pixels, got '%1'")
                               .arg(value));
        } else if (name == QLatin1String("--zone")) {
            o->zones << value;
        } else if (name == QLatin1String("--ruler")) {
            o->rulers << value;
        } else if (name == QLatin1String("--pointdist")) {
            o->pointDists << value;
        } else if (name == QLatin1String("--overlays-from")) {
            o->overlaysFrom = value;
        } else if (name == QLatin1String("--fish") || name == QLatin1String("--average")
            || name == QLatin1String("--filter")) {
            const int maximum = name == QLatin1String("--fish") ? 25
                : name == QLatin1String("--average")            ? 1000
                                                                : 99;
            const auto v = parseInt(value);
            if (!v || *v < 1 || *v > maximum)
                return bad(QStringLiteral("%1 must be a whole number from 1 to %2, got '%3'")
                               .arg(name)
                               .arg(maximum)
                               .arg(value));
            (name == QLatin1String("--fish")             ? o->fish
                    : name == QLatin1String("--average") ? o->average
                                                         : o->filter)
                = *v;
        } else if (name == QLatin1String("--threshold")) {
            const auto v = parseReal(value, 2, 0.0, 255.0);
            if (!v)
                return bad(QStringLiteral("--threshold must be a number from 0 to 255, got '%1'")
                               .arg(value));
            o->threshold = *v;
        } else if (name == QLatin1String("--variance")) {
            const auto v = parseReal(value, 3, 0.0, 1.0);
            if (!v)
                return bad(
                    QStringLiteral("--variance must be a number from 0 to 1, got '%1'").arg(value));
            o->variance = *v;
        } else if (name == QLatin1String("--difference")) {
            if (value != QLatin1String("abs") && value != QLatin1String("bright")
                && value != QLatin1String("dark"))
                return bad(QStringLiteral("--difference must be abs, bright or dark, got '%1'")
                               .arg(value));
            o->difference = value;
        } else if (name == QLatin1String("--start-ms")) {
            bool ok = false;
            const qint64 ms = value.trimmed().toLongLong(&ok);
            if (!ok || ms < 0)
                return bad(
                    QStringLiteral("--start-ms must be a whole number of milliseconds, got '%1'")
                        .arg(value));
            o->startMs = ms;
        } else if (name == QLatin1String("--output")) {
            if (value.isEmpty())
                return bad(QStringLiteral("--output needs a path"));
            o->output = value;
        }
    }
    if (o->video.isEmpty())
        return bad(QStringLiteral("no video given"));
    if (!o->area && o->overlaysFrom.isEmpty())
        return bad(QStringLiteral("--area is required unless --overlays-from is given"));
    return std::nullopt;
}

// The overlays as the view would hold them after the user drew them: the Tracking Area
// first, zones, rulers and point distances numbered as the window numbers them.
std::optional<Failure> buildOverlays(const Options &o, OverlaySet *overlays)
{
    OverlaySet set;
    if (!o.overlaysFrom.isEmpty()) {
        QString error;
        if (!TrackingDataFile::readOverlays(o.overlaysFrom, &set, &error))
            return Failure { ExitBadOption, QStringLiteral("--overlays-from: %1").arg(error) };
    } else {
        set.areas << QRect();
        set.areaLabels << QStringLiteral("Tracking Area");
    }
    if (o.area)
        set.areas[0] = *o.area;

    QString text, values;
    for (const QString &arg : o.zones) {
        std::optional<QRect> rect;
        if (splitLabelled(arg, &text, &values))
            rect = parseRect(values);
        if (!rect)
            return Failure { ExitBadOption,
                QStringLiteral("--zone wants TEXT=X1,Y1,X2,Y2, got '%1'").arg(arg) };
        set.areaLabels << QStringLiteral("Zone%1-%2").arg(set.areas.size()).arg(text);
        set.areas << *rect;
    }
    for (const QString &arg : o.rulers) {
        const auto shape = parseMeasureShape(arg);
        if (!shape)
            return Failure { ExitBadOption,
                QStringLiteral("--ruler wants TEXT=X1,Y1,X2,Y2,LENGTH, got '%1'").arg(arg) };
        Ruler r;
        r.label = QStringLiteral("Ruler%1-%2").arg(set.rulers.size() + 1).arg(shape->text);
        r.x1 = shape->points[0], r.y1 = shape->points[1];
        r.x2 = shape->points[2], r.y2 = shape->points[3];
        r.length = shape->length;
        set.rulers << r;
    }
    for (const QString &arg : o.pointDists) {
        const auto shape = parseMeasureShape(arg);
        if (!shape)
            return Failure { ExitBadOption,
                QStringLiteral("--pointdist wants TEXT=CX,CY,RX,RY,LENGTH, got '%1'").arg(arg) };
        PointDist p;
        p.label = QStringLiteral("PointDist%1-%2").arg(set.pointDists.size() + 1).arg(shape->text);
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

// Opens the video and shows its first frame as "Open Video File..." does, then moves as
// the slider does.
std::optional<Failure> openVideo(const Options &o, CliHost *host)
{
    host->videoPath = o.video;
    if (!host->decoder.open(o.video) || !host->decoder.isOpen())
        return Failure { ExitBadVideo,
            QStringLiteral("Error loading the video '%1'").arg(o.video) };
    if (!host->decoder.seekNextFrame())
        return Failure { ExitBadVideo,
            QStringLiteral("seekNextFrame failed on '%1'").arg(o.video) };
    if (!host->decoder.copyFrame(host->shownFrame) || host->shownFrame.isNull())
        return Failure { ExitBadVideo,
            QStringLiteral("Error decoding the frame of '%1'").arg(o.video) };
    if (o.startMs) {
        if (!host->decoder.seekToMs(*o.startMs))
            return Failure { ExitBadVideo, QStringLiteral("cannot seek to %1 ms").arg(*o.startMs) };
        QImage frame;
        if (host->decoder.copyFrame(frame) && !frame.isNull())
            host->shownFrame = frame;
    }
    return std::nullopt;
}

// A Tracking Area is of use only when the detector's scan range is not empty and it covers
// some of the frame.
std::optional<Failure> checkArea(const CliHost &host)
{
    const RunParameters p = RunParameters::fromControls(host.controls);
    const QRect area = host.overlays.areas.value(0);
    // The single-fish scan needs a side longer than the filter; the multi-fish candidates
    // need the filter and a ring of neighbours on each side.
    const int needed = p.fishCount == 1 ? p.filterSide + 1 : p.filterSide + 3;
    const QRect frame(QPoint(0, 0), host.shownFrame.size());
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
    if (!frame.intersects(area))
        return Failure { ExitBadArea,
            QStringLiteral("the Tracking Area %1,%2,%3,%4 lies outside the %5x%6 frame")
                .arg(area.left())
                .arg(area.top())
                .arg(area.right())
                .arg(area.bottom())
                .arg(frame.width())
                .arg(frame.height()) };
    return std::nullopt;
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
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        std::fputs(usage, stdout);
        return ExitOk;
    }
    Options options;
    auto fail = [](const Failure &f) {
        printError(f.message);
        if (f.code == ExitBadOption)
            std::fputs("(pondwatch-cli track --help lists the options)\n", stderr);
        return f.code;
    };
    if (auto failure = parseOptions(args, &options))
        return fail(*failure);
    // FFmpeg's stream dump and warnings would bury the progress and the one-line messages of
    // batch jobs; its errors still come through.
    av_log_set_level(AV_LOG_ERROR);
    // The tracker's "Processing..." goes to Qt's debug output; --quiet keeps standard error
    // for failures only.
    if (options.quiet)
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));

    CliHost host;
    if (auto failure = buildOverlays(options, &host.overlays))
        return fail(*failure);
    host.controls.fishCount = options.fish;
    host.controls.framesToAverage = options.average;
    host.controls.confidenceThreshold = float(options.threshold);
    host.controls.gaussianVariance = float(options.variance);
    host.controls.meanFilterSize = options.filter;
    host.controls.signedDifference = options.difference != QLatin1String("abs");
    host.controls.brightObject = options.difference != QLatin1String("dark");

    if (auto failure = openVideo(options, &host))
        return fail(*failure);
    if (auto failure = checkArea(host))
        return fail(*failure);

    const QString output = !options.output.isEmpty() ? options.output
        : options.fish == 1 ? TrackingDataFile::singleFishPath(options.video)
                            : TrackingDataFile::multiFishPath(options.video);
    {
        // Find out now, not after a long run, that the file cannot be written.
        QSaveFile probe(output);
        if (!probe.open(QIODevice::WriteOnly))
            return fail({ ExitCannotWrite,
                QStringLiteral("cannot write %1: %2").arg(output, probe.errorString()) });
        probe.cancelWriting();
    }

    const qint64 startMs = host.decoder.frameTime();
    const qint64 lengthMs = host.decoder.lengthMs();
    VideoTracker tracker(&host);
    tracker.setDataFilePath(output);
    Progress progress(startMs, lengthMs);
    tracker.start();
    while (!tracker.wait(200)) {
        if (!options.quiet)
            progress.show(tracker, false);
    }
    if (!options.quiet)
        progress.show(tracker, true);

    const QString error = tracker.lastWriteError();
    if (!error.isEmpty())
        return fail({ ExitCannotWrite, error });
    return ExitOk;
}
