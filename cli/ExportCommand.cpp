#include "cli/Commands.h"

#include <cstdio>

int runExport(const QStringList &)
{
    std::fputs("pondwatch-cli: 'export' is not available yet\n", stderr);
    return 2;
}
