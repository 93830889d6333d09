// The stimulus-event analysis: a single-fish data file and a GFA event file (the input split
// at its first NUL byte), read and analysed with a few offsets and windows.

#include "FuzzSupport.h"

#include "tools/StimulusEventAnalysis.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzsupport::initialise();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto [dataFile, gfaFile] = fuzzsupport::splitAtNul(fuzzsupport::bytes(data, size));
    StimulusEventAnalysis analysis;
    if (analysis.setDataFile(fuzzsupport::writeFile(QStringLiteral("input.data"), dataFile))
            != StimulusEventAnalysis::Error::None
        || analysis.setGfaFile(fuzzsupport::writeFile(QStringLiteral("input.gfa"), gfaFile))
            != StimulusEventAnalysis::Error::None
        || analysis.read() != StimulusEventAnalysis::Error::None)
        return 0;
    analysis.analyse(0, 90);
    analysis.analyse(3, 1);
    analysis.analyse(-2, 0);
    return 0;
}
