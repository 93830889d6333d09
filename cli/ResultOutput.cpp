#include "cli/ResultOutput.h"

#include "cli/CommandLine.h"
#include "files/AtomicFile.h"

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
    QString reason;
    if (!CliOutput::print(bytes, &reason))
        return line.failure(
            ExitFailed, QStringLiteral("Cannot write standard output: %1").arg(reason));
    return ExitOk;
}

} // namespace ResultOutput
