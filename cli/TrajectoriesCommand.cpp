// pondwatch-cli trajectories DATAFILE --format tidy|dlc: the fish's paths as CSV for pandas, R
// and the DeepLabCut tools.

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/ResultOutput.h"
#include "files/AtomicFile.h"

#include "analysis/TrackTable.h"
#include "analysis/TrajectoryExport.h"
#include "files/AtomicFile.h"

#include <cstdio>

int runTrajectories(const QStringList &args)
{
    CommandLine line(QStringLiteral("trajectories"), QStringLiteral("DATAFILE"),
        QStringLiteral(
            "Writes the paths of a tracking data file's fish as CSV.\n"
            "tidy: one row per fish per frame, frame,time_s,fish,arena,found,x_px,y_px,"
            "heading_deg (and x,y in the file's unit when it has a scale).\n"
            "dlc: DeepLabCut's layout (scorer, individuals, bodyparts, coords), one row per "
            "frame.\nFrames are the 0-based index of the picture in the video; a fish not "
            "found has empty cells."));
    line.addOptions({
        { "format", "tidy|dlc", "the layout (required)" },
        { "output", "FILE", "the CSV file to write (standard output by default)" },
    });
    if (const auto done = line.parse(args))
        return *done;
    const QStringList positional = line.positional();
    for (const QString &input : positional)
        AtomicFile::protectInput(input);
    if (positional.size() != 1)
        return line.usageError(QStringLiteral("give exactly one DATAFILE"));
    TrajectoryExport::Format format;
    if (!TrajectoryExport::formatFromName(line.value("format"), &format))
        return line.usageError(QStringLiteral("--format must be tidy or dlc"));

    TrackTable table;
    if (const int code = ResultOutput::readTable(line, positional.first(), &table))
        return code;
    const QByteArray bytes = format == TrajectoryExport::Format::Tidy
        ? TrajectoryExport::tidy(table)
        : TrajectoryExport::deepLabCut(table);
    return ResultOutput::write(line, line.path("output"), bytes);
}
