// pondwatch-cli plot: the trajectory or the occupancy heat map of a tracking data file, drawn
// over the first frame of its video, written as PNG or SVG; the analysis window's pictures.

#include "cli/CommandLine.h"
#include "cli/Commands.h"

#include "analysis/FishTracks.h"
#include "analysis/PictureFile.h"
#include "analysis/PlateFigure.h"
#include "analysis/TrackPicture.h"
#include "analysis/TrackTable.h"
#include "files/AtomicFile.h"
#include "formats/ValueReader.h"

#include <QPainter>

#include <cstdio>

namespace {

// plot --plate: the measures of the file's arenas drawn as the plate.
int plotPlate(const CommandLine &line, const QString &path)
{
    if (line.isSet("trajectory") || line.isSet("heatmap"))
        return line.usageError(QStringLiteral("--plate excludes --trajectory and --heatmap"));
    const QString output = line.path("output");
    AtomicFile::protectInput(path);
    if (output.isEmpty() || !PictureFile::suffixSupported(output))
        return line.usageError(QStringLiteral("--output FILE.png or FILE.svg is needed"));
    const QString measure
        = line.isSet("measure") ? line.value("measure") : QStringLiteral("distance");
    if (!PlateFigure::knowsMeasure(measure))
        return line.usageError(QStringLiteral("--measure must be one of %1")
                                   .arg(PlateFigure::measureNames().join(QStringLiteral(", "))));
    MeasureSettings settings;
    if (line.isSet("time-bin")) {
        const auto seconds = ValueReader::number(line.value("time-bin"));
        settings.binSeconds = seconds.value_or(0.0);
        if (!seconds || !(settings.binSeconds >= 1e-3 && settings.binSeconds <= 1e9))
            return line.usageError(
                QStringLiteral("--time-bin must be a number of seconds above 0"));
    }
    TrackTable table;
    QString error;
    if (!table.read(path, &error))
        return line.failure(ExitFailed, error);
    // Each bin is a small plate; beyond a hundred the figure is no help.
    if (PlateMeasures::rowCount(table, settings) > 100 * qint64(table.fish.size()))
        return line.usageError(
            QStringLiteral("--time-bin makes too many plates; take longer bins"));
    const QVector<MeasureRow> rows = PlateMeasures::compute(table, settings);
    if (!PictureFile::save(
            output, PlateFigure::size(table, rows),
            [&](QPainter &painter) { PlateFigure::draw(painter, table, rows, measure); }, &error))
        return line.failure(ExitFailed, error);
    return ExitOk;
}

} // namespace

int runPlot(const QStringList &args)
{
    CommandLine line(QStringLiteral("plot"), QStringLiteral("DATAFILE"),
        QStringLiteral("Draws where the fish of a tracking data file went, over the first frame "
                       "of its video: their paths (--trajectory) or the share of time spent in "
                       "each bin of the Tracking Area (--heatmap)."));
    line.addOptions({
        { "video", "VIDEO", "the tracked video (required)" },
        { "trajectory", nullptr, "the path of every fish, one colour per fish" },
        { "heatmap", nullptr, "the occupancy heat map with the zones drawn" },
        { "output", "FILE", "the picture to write, .png or .svg (required)" },
        { "bin", "PX", "heat map bin size in pixels, 1..500 (10)" },
        { "fish", "N", "fish N only (1-based; every fish by default)" },
        { "plate", nullptr,
            "the arenas as a plate, each coloured by --measure (no --video needed)" },
        { "measure", "NAME",
            "the plate's measure: distance, mean_speed, mobile_s, immobile_s, wall_s or "
            "centre_s (distance)" },
        { "time-bin", "SECONDS", "the plate: one small plate per time bin (the whole file)" },
    });
    if (const auto done = line.parse(args))
        return *done;

    const QStringList positional = line.positional();
    if (positional.size() != 1)
        return line.usageError(QStringLiteral("give exactly one DATAFILE"));
    if (line.isSet("plate"))
        return plotPlate(line, positional.first());
    if (line.isSet("trajectory") == line.isSet("heatmap"))
        return line.usageError(QStringLiteral("give one of --trajectory and --heatmap"));
    const QString video = line.path("video");
    if (video.isEmpty())
        return line.usageError(QStringLiteral("--video VIDEO is needed"));
    const QString output = line.path("output");
    if (output.isEmpty())
        return line.usageError(QStringLiteral("--output FILE.png or FILE.svg is needed"));
    if (!PictureFile::suffixSupported(output))
        return line.usageError(QStringLiteral("--output must end in .png or .svg: %1").arg(output));
    int bin = 10;
    if (const auto refusal = line.wholeNumber("bin", 1, 500, &bin))
        return line.usageError(*refusal + QStringLiteral(" (pixels)"));
    int fishNumber = 0; // 0: every fish
    if (const auto refusal = line.wholeNumber("fish", 1, 200, &fishNumber))
        return line.usageError(*refusal);
    const int fish = fishNumber - 1;

    AtomicFile::protectInput(positional.first());
    AtomicFile::protectInput(video);
    FishTracks tracks;
    QString error;
    if (!tracks.read(positional.first(), &error))
        return line.failure(ExitFailed, error);
    if (fish >= tracks.fish.size())
        return line.usageError(QStringLiteral("--fish %1: the file has %2 fish")
                                   .arg(fish + 1)
                                   .arg(tracks.fish.size()));
    const QImage frame = TrackPicture::firstFrame(video, &error);
    if (frame.isNull())
        return line.failure(ExitBadVideo, error);
    // A data file of another video would be drawn over this one as if it belonged there. (A
    // file stores its Tracking Area's right and bottom edges one past the last pixel.)
    const QRect area = tracks.overlays.areas.value(0);
    if (!area.isNull() && !QRect(0, 0, frame.width() + 1, frame.height() + 1).contains(area))
        std::fprintf(stderr,
            "pondwatch-cli plot: warning: the Tracking Area of %s reaches past the %dx%d frame "
            "of %s; is that the video that was tracked?\n",
            qPrintable(positional.first()), frame.width(), frame.height(), qPrintable(video));

    const TrackPicture::Kind kind
        = line.isSet("trajectory") ? TrackPicture::Kind::Trajectory : TrackPicture::Kind::HeatMap;
    if (!PictureFile::save(
            output, TrackPicture::pictureSize(frame.size()),
            [&](QPainter &painter) { TrackPicture::draw(painter, kind, frame, tracks, bin, fish); },
            &error))
        return line.failure(ExitFailed, error);
    return ExitOk;
}
