// A tracking data file of either kind as the results views read it: the fish tracks, the
// results table per fish (every kind of variable, ShoalAvgDist included), the occupancy grid
// and the trajectory and heat map drawn over a small frame.

#include "FuzzSupport.h"

#include "analysis/DataAnalysis.h"
#include "analysis/DataFileHeader.h"
#include "analysis/FishTracks.h"
#include "analysis/ResultsTable.h"
#include "analysis/TrackPicture.h"

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
    FishTracks tracks;
    if (tracks.read(path)) {
        QImage frame(64, 48, QImage::Format_RGB32);
        frame.fill(Qt::gray);
        QImage picture(TrackPicture::pictureSize(frame.size()), QImage::Format_RGB32);
        QPainter painter(&picture);
        TrackPicture::draw(painter, TrackPicture::Kind::Trajectory, frame, tracks);
        TrackPicture::draw(painter, TrackPicture::Kind::HeatMap, frame, tracks, 1 + int(size % 7),
            int(size % 3) - 1);
    }
    DataFileHeader header;
    if (!header.read(path))
        return 0;
    AnalysisInput input;
    input.path = path;
    input.rulerX = header.rulerNames.value(0);
    input.rulerY = header.rulerNames.value(1, input.rulerX);
    input.allConfident = size % 2 == 1;
    QStringList variables = { QStringLiteral("Speed"), QStringLiteral("RelativeTurnAngle"),
        QStringLiteral("ShoalAvgDist") };
    variables += header.measurableNames.mid(0, 3);
    for (const QString &name : variables)
        input.rows.append(VariableRow { name, WindowSettings { 0, 0.5f, 0.25f } });
    const AnalysisOutcome outcome = DataAnalysis::run(input);
    if (outcome.status == AnalysisOutcome::Status::Done) {
        const ResultsTable table = ResultsTable::build(input, outcome.results);
        table.csv();
        table.tabSeparated();
    }
    return 0;
}
