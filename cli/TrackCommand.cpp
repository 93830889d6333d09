#include "cli/Commands.h"

#include <cstdio>

int runTrack(const QStringList &)
{
    std::fputs("pondwatch-cli: 'track' is not available yet\n", stderr);
    return 2;
}
