// pondwatch-cli measures DATAFILE: per fish (per well) and time bin, the distance moved, mean
// speed, time mobile and immobile, zone times, entries and latencies, and wall and centre time
// in round arenas, as CSV.

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/ResultOutput.h"

#include "analysis/PlateMeasures.h"
#include "analysis/TrackTable.h"
#include "files/AtomicFile.h"
#include "formats/ValueReader.h"

#include <cstdio>

namespace {

// A finite number from `low` up to `high`, or nothing.
bool readNumber(const QString &text, double low, double high, double *value)
{
    const auto v = ValueReader::number(text);
    if (!v || *v < low || *v > high)
        return false;
    *value = *v;
    return true;
}

} // namespace

int runMeasures(const QStringList &args)
{
    CommandLine line(QStringLiteral("measures"), QStringLiteral("DATAFILE"),
        QStringLiteral(
            "Per fish and time bin: distance moved, mean speed, time mobile and immobile, time "
            "in each zone with its entries and the latency to the first, and for round arenas "
            "the time near the wall (--wall-band) against the time in the centre.\n"
            "Lengths are in the file's unit when it has a scale, else in pixels (the unit "
            "column says which). Rows where a fish was not found are left out of every sum; "
            "rows and rows_not_found say how many each row rests on.\n"
            "Distance ignores jitter: the path runs from one kept position to the next one at "
            "least --min-move pixels away (the minimal distance moved), so a resting fish "
            "whose centre wanders a pixel or two gains no distance. A fish is mobile when the "
            "distance so counted over the last second reaches --immobile-below per second."));
    line.addOptions({
        { "bin", "SECONDS", "the length of each time bin (the whole file by default)" },
        { "min-move", "PX", "the minimal distance moved, in pixels (4)" },
        { "immobile-below", "SPEED",
            "mobile from this speed up, in the unit per second (the minimal distance moved "
            "per second)" },
        { "wall-band", "FRACTION",
            "the outer share of a round arena's radius counted as wall, above 0 and below 1 "
            "(0.25)" },
        { "output", "FILE", "the CSV file to write (standard output by default)" },
    });
    if (const auto done = line.parse(args))
        return *done;
    const QStringList positional = line.positional();
    for (const QString &input : positional)
        AtomicFile::protectInput(input);
    if (positional.size() != 1)
        return line.usageError(QStringLiteral("give exactly one DATAFILE"));
    MeasureSettings settings;
    if (line.isSet("bin") && !readNumber(line.value("bin"), 1e-3, 1e9, &settings.binSeconds))
        return line.usageError(QStringLiteral("--bin must be a number of seconds above 0"));
    if (line.isSet("min-move")
        && !readNumber(line.value("min-move"), 0.0, 1e6, &settings.minMovePixels))
        return line.usageError(QStringLiteral("--min-move must be a number of pixels from 0"));
    if (line.isSet("immobile-below")
        && !readNumber(line.value("immobile-below"), 0.0, 1e9, &settings.immobileBelow))
        return line.usageError(QStringLiteral("--immobile-below must be a speed from 0"));
    if (line.isSet("wall-band")
        && (!readNumber(line.value("wall-band"), 0.0, 1.0, &settings.wallBand)
            || settings.wallBand <= 0.0 || settings.wallBand >= 1.0))
        return line.usageError(QStringLiteral("--wall-band must lie above 0 and below 1"));

    TrackTable table;
    if (const int code = ResultOutput::readTable(line, positional.first(), &table))
        return code;
    if (!table.scale.isSet())
        std::fprintf(stderr, "pondwatch-cli measures: %s has no scale: lengths are in pixels\n",
            qPrintable(positional.first()));
    if (PlateMeasures::rowCount(table, settings) > PlateMeasures::maxRows)
        return line.usageError(QStringLiteral("--bin makes more than %1 rows of %2 fish; take "
                                              "longer bins")
                                   .arg(PlateMeasures::maxRows)
                                   .arg(table.fish.size()));
    const QVector<MeasureRow> rows = PlateMeasures::compute(table, settings);
    return ResultOutput::write(line, line.path("output"), PlateMeasures::csv(table, rows));
}
