#include "cli/ResultOutput.h"

#include "cli/CommandLine.h"
#include "files/AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace ResultOutput {

int write(const CommandLine &line, const QString &output, const QByteArray &bytes)
{
    if (!output.isEmpty()) {
        QString reason;
        if (AtomicFile::write(output, bytes, &reason) != AtomicFile::Outcome::Written)
            return line.failure(
                ExitFailed, QStringLiteral("Cannot write %1: %2").arg(output, reason));
        return ExitOk;
    }
    FILE *out = CliOutput::standardOutput();
    errno = 0;
    const bool written
        = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out) == size_t(bytes.size())
        && std::fflush(out) == 0 && !std::ferror(out);
    if (!written)
        return line.failure(ExitFailed,
            QStringLiteral("Cannot write standard output: %1")
                .arg(QString::fromLocal8Bit(std::strerror(errno ? errno : EIO))));
    return ExitOk;
}

} // namespace ResultOutput
