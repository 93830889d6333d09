// The blend input: a left and a right GFAdata file (the input split at its first NUL byte),
// read and blended into the table.

#include "FuzzSupport.h"

#include "tools/StimulusEventBlender.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzsupport::initialise();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto [left, right] = fuzzsupport::splitAtNul(fuzzsupport::bytes(data, size));
    StimulusEventBlender blender;
    blender.setLeftFile(fuzzsupport::writeFile(QStringLiteral("left.gfadata"), left));
    blender.setRightFile(fuzzsupport::writeFile(QStringLiteral("right.gfadata"), right));
    if (blender.read() == StimulusEventBlender::Error::None)
        blender.blended();
    return 0;
}
