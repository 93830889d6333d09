#include "cli/TrackOptions.h"

#include "cli/ArenaOptions.h"
#include "formats/OverlayLimits.h"
#include "formats/SetupFile.h"
#include "formats/TrackingDataFile.h"
#include "formats/ValueReader.h"
#include "model/ArenaLayout.h"
#include "model/OverlayLabel.h"
#include "tracking/RunParameters.h"

#include <QImageReader>

#include <algorithm>
#include <cstdio>

namespace TrackOptions {

// The options of track, one line each; parseOptions() reads each one.
const OptionSpec options[16] = {
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
const OptionSpec methodOptions[9] = {
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

namespace {

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

} // namespace

namespace {

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

} // namespace

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

std::optional<Failure> configure(const CommandLine &line, Options *o, MethodOptions *m,
    TrackingControls *controls, OverlaySet *overlays)
{
    // The setup is read first: its detection method decides how the other options read.
    std::optional<TrackingSetup> setup;
    if (line.isSet("setup")) {
        TrackingSetup read;
        QString error;
        if (!SetupFile::read(line.path("setup"), &read, &error))
            return Failure { ExitBadOption, QStringLiteral("--setup: %1").arg(error) };
        setup = read;
    }
    if (auto failure = parseMethodOptions(line, setup ? &*setup : nullptr, m))
        return failure;
    if (auto failure = parseOptions(line, m->blobs, o))
        return failure;
    if (setup)
        applySetupParameters(*setup, m->blobs, o);
    // With blobs --fish is read with the method's range; a setup's fish count stands when
    // --fish is not given, as it does for the classic method.
    if (m->blobs && o->given.contains(QStringLiteral("fish")))
        o->fish = m->fish;
    else if (m->blobs)
        m->fish = o->fish;

    if (auto failure = buildOverlays(*o, m->blobs, setup ? &*setup : nullptr, overlays))
        return failure;
    // Arenas given as options take the place of those of --overlays-from or --setup.
    QList<Arena> givenArenas;
    Scale gridScale;
    if (auto error
        = ArenaOptions::parse(line, m->blobs, o->area, m->fish, &givenArenas, &gridScale))
        return Failure { ExitBadOption, *error };
    // The scale is set once: by the option, by a grid's wells, or by the setup it comes with.
    if (line.isSet("scale")) {
        if (gridScale.isSet())
            return Failure { ExitBadOption,
                QStringLiteral("--scale and the wells' size of --arena-grid both set the scale; "
                               "give one") };
        const QString text = line.value("scale");
        const int slash = int(text.indexOf(QLatin1String("/px")));
        int unitAt = 0;
        while (unitAt < slash && (text[unitAt].isDigit() || text[unitAt] == QLatin1Char('.')))
            ++unitAt;
        const auto scale = slash > 0
            ? Scale::parse(text.left(unitAt) + QLatin1Char(' ') + text.mid(unitAt))
            : std::nullopt;
        if (!scale)
            return Failure { ExitBadOption,
                QStringLiteral("--scale wants a length per pixel with its unit, as 0.05mm/px; "
                               "got '%1'")
                    .arg(text) };
        overlays->scale = *scale;
    }
    if (gridScale.isSet())
        overlays->scale = gridScale;
    if (ArenaOptions::given(line))
        overlays->arenas = givenArenas;
    if (ArenaLayout::totalFish(overlays->arenas) > ArenaOptions::maxFish)
        return Failure { ExitBadOption,
            QStringLiteral("the arenas hold %1 fish together; at most %2 can be tracked")
                .arg(ArenaLayout::totalFish(overlays->arenas))
                .arg(ArenaOptions::maxFish) };
    // Without --area, the Tracking Area spans the arenas.
    if (!o->area && o->overlaysFrom.isEmpty() && o->setupFrom.isEmpty()
        && !overlays->arenas.isEmpty())
        overlays->areas[0] = overlays->areas[0].united(ArenaLayout::span(overlays->arenas));
    controls->fishCount = o->fish;
    controls->framesToAverage = o->average;
    controls->confidenceThreshold = float(o->threshold);
    controls->gaussianVariance = float(o->variance);
    controls->meanFilterSize = o->filter;
    controls->signedDifference = o->difference != QLatin1String("abs");
    controls->brightObject = o->difference != QLatin1String("dark");
    if (auto failure = applyMethodOptions(*m, controls))
        return failure;
    return std::nullopt;
}

std::optional<Failure> checkArea(const TrackingControls &controls, OverlaySet *overlays,
    const QSize &frameSize, const char *command)
{
    const RunParameters p = RunParameters::fromControls(controls);
    QRect area = overlays->areas.value(0);
    const QRect frame(QPoint(0, 0), frameSize);
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
        warn(command,
            QStringLiteral("the Tracking Area %1,%2,%3,%4 reaches past the %5x%6 frame; it is "
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
        overlays->areas[0] = area;
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

void warn(const char *command, const QString &message)
{
    std::fprintf(stderr, "pondwatch-cli %s: warning: %s\n", command, qPrintable(message));
}

} // namespace TrackOptions
