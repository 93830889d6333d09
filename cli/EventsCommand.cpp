// pondwatch-cli events DATAFILE [--output FILE.csv]: the moments of a multi-fish data file where
// identities may have changed, one row each, for review.

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/ResultOutput.h"
#include "files/AtomicFile.h"
#include "files/CompleteLinesFile.h"
#include "files/InputFile.h"
#include "formats/DataFileRows.h"
#include "formats/IdentityEvents.h"

#include <QFile>

namespace {

const OptionSpec eventsOptions[] = {
    { "output", "FILE.csv", "Write the events to FILE.csv instead of standard output." },
};

} // namespace

int runEvents(const QStringList &args)
{
    CommandLine line(QStringLiteral("events"), QStringLiteral("DATAFILE"),
        QStringLiteral("Lists the moments of DATAFILE (a multi-fish data file) where identities "
                       "may have changed:\nframe,time_s,fish,kind with kind merge, split, "
                       "crossing, lost, found or jump; frame is the 0-based index of the "
                       "decoded picture."));
    line.addOptions(eventsOptions);
    if (const auto done = line.parse(args))
        return *done;
    const QStringList files = line.positional();
    if (files.size() != 1)
        return line.usageError(QStringLiteral("one data file is needed"));
    const QString problem = InputFile::textProblem(files[0]);
    if (!problem.isEmpty())
        return line.failure(ExitFailed, QStringLiteral("%1: %2").arg(files[0], problem));
    CompleteLinesFile file(files[0]);
    if (!file.open(QIODevice::ReadOnly))
        return line.failure(ExitFailed, QStringLiteral("%1: %2").arg(files[0], file.errorString()));
    DataFileRows rows;
    QString error;
    if (!rows.parse(file.readAll(), &error))
        return line.failure(ExitFailed, QStringLiteral("%1: %2").arg(files[0], error));
    const QByteArray csv = IdentityEvents::csv(IdentityEvents::find(rows));

    AtomicFile::protectInput(files[0]);
    return ResultOutput::write(line, line.path("output"), csv);
}
