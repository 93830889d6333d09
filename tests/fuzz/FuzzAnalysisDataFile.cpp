// The tracking data file as the analysis reads it: its header's overlay names, then every
// kind of variable (speed, both turn angles, the header's own columns) with the file's first
// rulers, over a few window settings, summarised into the results text and CSV.

#include "FuzzSupport.h"

#include "analysis/DataAnalysis.h"
#include "analysis/DataFileHeader.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzsupport::initialise();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path
        = fuzzsupport::writeFile(QStringLiteral("input.data"), fuzzsupport::bytes(data, size));
    DataFileHeader header;
    if (!header.read(path))
        return 0;
    AnalysisInput input;
    input.path = path;
    input.rulerX = header.rulerNames.value(0);
    input.rulerY = header.rulerNames.value(1, input.rulerX);
    input.allConfident = size % 2 == 1;
    const WindowSettings windows[]
        = { { 0, 1, 0 }, { 0.5f, 0.25f, 2 }, { -1, 1e-3f, 0 }, { 0, 1e9f, 1 } };
    QStringList variables = { QStringLiteral("Speed"), QStringLiteral("RelativeTurnAngle"),
        QStringLiteral("AbsoluteTurnAngle"), QStringLiteral("FishX"),
        QStringLiteral("Confidence") };
    variables += header.measurableNames.mid(0, 4);
    int k = 0;
    for (const QString &name : variables)
        input.rows.append(VariableRow { name, windows[k++ % 4] });
    const AnalysisOutcome outcome = DataAnalysis::run(input);
    if (outcome.status == AnalysisOutcome::Status::Done) {
        AnalysisReport::text(outcome.results);
        AnalysisReport::csv(outcome.results);
    }
    return 0;
}
