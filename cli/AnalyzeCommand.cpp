#include "cli/Commands.h"

#include <cstdio>

int runAnalyze(const QStringList &)
{
    std::fputs("pondwatch-cli: 'analyze' is not available yet\n", stderr);
    return 2;
}
