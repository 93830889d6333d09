// A tracking data file read for results: the trajectories in both layouts, the measures
// table, whole and in bins, with the wells named, and the plate figure.

#include "FuzzSupport.h"

#include "analysis/PlateFigure.h"
#include "analysis/PlateMeasures.h"
#include "analysis/TrackTable.h"
#include "analysis/TrajectoryExport.h"

#include <QImage>
#include <QPainter>

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
    const QVector<MeasureRow> whole = PlateMeasures::compute(table, settings);
    PlateMeasures::csv(table, whole);
    QImage figure(PlateFigure::size(table, whole), QImage::Format_RGB32);
    QPainter painter(&figure);
    PlateFigure::draw(painter, table, whole, QStringLiteral("distance"));
    painter.end();
    settings.binSeconds = size % 2 ? 0.05 : 1.0;
    settings.immobileBelow = 0.0;
    settings.minMovePixels = 0.0;
    PlateMeasures::csv(table, PlateMeasures::compute(table, settings));
    return 0;
}
