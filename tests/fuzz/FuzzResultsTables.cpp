// A tracking data file read for results: the trajectories in both layouts and the measures
// table, whole and in bins, with the wells named.

#include "FuzzSupport.h"

#include "analysis/PlateMeasures.h"
#include "analysis/TrackTable.h"
#include "analysis/TrajectoryExport.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzsupport::initialise();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path
        = fuzzsupport::writeFile(QStringLiteral("input.data"), fuzzsupport::bytes(data, size));
    TrackTable table;
    if (!table.read(path, nullptr))
        return 0;
    table.wellNames();
    TrajectoryExport::tidy(table);
    TrajectoryExport::deepLabCut(table);
    MeasureSettings settings;
    PlateMeasures::csv(table, PlateMeasures::compute(table, settings));
    settings.binSeconds = size % 2 ? 0.05 : 1.0;
    settings.immobileBelow = 0.0;
    settings.minMovePixels = 0.0;
    PlateMeasures::csv(table, PlateMeasures::compute(table, settings));
    return 0;
}
