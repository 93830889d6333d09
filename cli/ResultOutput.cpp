#include "cli/ResultOutput.h"

#include "analysis/TrackTable.h"
#include "cli/CommandLine.h"
#include "files/AtomicFile.h"

#include <cstdio>

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

int readTable(const CommandLine &line, const QString &path, TrackTable *table)
{
    AtomicFile::protectInput(path);
    QString error;
    if (!table->read(path, &error))
        return line.failure(ExitFailed, error);
    if (table->rowsLeftOut > 0)
        std::fprintf(stderr,
            "pondwatch-cli %s: warning: %d rows of %s are cut short or unreadable and left "
            "out\n",
            qPrintable(line.command()), table->rowsLeftOut, qPrintable(path));
    return ExitOk;
}

} // namespace ResultOutput
