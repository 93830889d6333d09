#include "cli/CliOutput.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

FILE *resultsStream = stdout;

} // namespace

namespace CliOutput {

void divertLibraryOutput()
{
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved < 0 || null < 0) {
        // Nothing to divert to: the library's lines stay mixed with the results.
        if (saved >= 0)
            ::close(saved);
        if (null >= 0)
            ::close(null);
        return;
    }
    ::fcntl(saved, F_SETFD, FD_CLOEXEC);
    FILE *stream = ::fdopen(saved, "w");
    if (!stream) {
        ::close(saved);
        ::close(null);
        return;
    }
    ::dup2(null, STDOUT_FILENO);
    ::close(null);
    resultsStream = stream;
}

void showLibraryOutputOnStandardError()
{
    std::fflush(stdout);
    if (resultsStream != stdout)
        ::dup2(STDERR_FILENO, STDOUT_FILENO);
    // The library's own output is line-buffered on a terminal only; keep it in step with
    // the messages on standard error.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
}

FILE *standardOutput()
{
    return resultsStream;
}

} // namespace CliOutput
