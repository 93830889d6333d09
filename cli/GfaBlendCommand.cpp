#include "cli/Commands.h"

#include <cstdio>

int runGfaBlend(const QStringList &)
{
    std::fputs("pondwatch-cli: 'gfa-blend' is not available yet\n", stderr);
    return 2;
}
