#include "cli/CliOutput.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

FILE *resultsStream = stdout;
int resultsDescriptor = STDOUT_FILENO;

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
    resultsDescriptor = saved;
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

QString outputPath(const QString &path)
{
    if (resultsDescriptor == STDOUT_FILENO
        || (path != QLatin1String("/dev/stdout") && path != QLatin1String("/dev/fd/1")
            && path != QLatin1String("/proc/self/fd/1")))
        return path;
    return QStringLiteral("/proc/self/fd/%1").arg(resultsDescriptor);
}

bool print(const QByteArray &bytes, QString *reason)
{
    errno = 0;
    const size_t written = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), resultsStream);
    // The stream keeps its buffer until the flush, which is where a full disk is found.
    const bool flushed = std::fflush(resultsStream) == 0;
    if (written == size_t(bytes.size()) && flushed && !std::ferror(resultsStream))
        return true;
    const int error = errno;
    std::clearerr(resultsStream);
    *reason
        = error ? QString::fromLocal8Bit(std::strerror(error)) : QStringLiteral("the write failed");
    return false;
}

} // namespace CliOutput
