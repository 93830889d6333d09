#include "cli/Commands.h"

#include <cstdio>

int runGfaEvents(const QStringList &)
{
    std::fputs("pondwatch-cli: 'gfa-events' is not available yet\n", stderr);
    return 2;
}
