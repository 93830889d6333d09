// pondwatch-cli swap DATAFILE --fish A,B --from-frame N [--output FILE]: fish A and B trade
// their columns in every row from frame N on, to mend an identity swap. The file (or FILE) is
// written whole or not at all; swapping again restores it byte for byte.

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "files/AtomicFile.h"
#include "files/InputFile.h"
#include "formats/DataFileRows.h"
#include "formats/IdentitySwap.h"
#include "formats/ValueReader.h"

#include <QFile>

#include <limits>
#include <optional>

namespace {

const OptionSpec swapOptions[] = {
    { "fish", "A,B", "The two fish (numbered from 1) whose identities to swap." },
    { "from-frame", "N", "The first frame (0-based decoded picture index) to swap them in." },
    { "output", "FILE", "Write the mended file to FILE (default: DATAFILE itself)." },
};

} // namespace

int runSwap(const QStringList &args)
{
    CommandLine line(QStringLiteral("swap"), QStringLiteral("DATAFILE"),
        QStringLiteral("Swaps the columns of two fish of DATAFILE (a multi-fish data file) in "
                       "every row from a frame on;\nthe header and earlier rows stay as they "
                       "were."));
    line.addOptions(swapOptions);
    if (const auto done = line.parse(args))
        return *done;
    const QStringList files = line.positional();
    if (files.size() != 1)
        return line.usageError(QStringLiteral("one data file is needed"));
    if (!line.isSet("fish") || !line.isSet("from-frame"))
        return line.usageError(QStringLiteral("--fish A,B and --from-frame N are needed"));
    // Fish numbers within the most fish a file may hold; the file then says which it has.
    const QStringList pair = line.value("fish").split(QLatin1Char(','));
    const std::optional<int> a = ValueReader::wholeNumberIn(pair.value(0), 1, 200);
    const std::optional<int> b = ValueReader::wholeNumberIn(pair.value(1), 1, 200);
    if (pair.size() != 2 || !a || !b)
        return line.usageError(QStringLiteral("--fish needs two fish numbers from 1 to 200, as "
                                              "1,2, got '%1'")
                                   .arg(line.value("fish")));
    const std::optional<int> from
        = ValueReader::wholeNumberIn(line.value("from-frame"), 0, std::numeric_limits<int>::max());
    if (!from)
        return line.usageError(ValueReader::wholeNumberWanted(QStringLiteral("--from-frame"), 0,
            std::numeric_limits<int>::max(), line.value("from-frame")));

    const QString problem = InputFile::textProblem(files[0]);
    if (!problem.isEmpty())
        return line.failure(ExitFailed, QStringLiteral("%1: %2").arg(files[0], problem));
    QFile file(files[0]);
    if (!file.open(QIODevice::ReadOnly))
        return line.failure(ExitFailed, QStringLiteral("%1: %2").arg(files[0], file.errorString()));
    DataFileRows rows;
    QString error;
    QByteArray mended;
    if (!rows.parse(file.readAll(), &error)
        || !IdentitySwap::swap(rows, *a, *b, *from, &mended, &error))
        return line.failure(ExitFailed, QStringLiteral("%1: %2").arg(files[0], error));
    file.close();
    // The whole input is read before anything is written, so the file may mend itself; an
    // output named apart never replaces it.
    const QString output = line.isSet("output") ? line.value("output") : files[0];
    if (line.isSet("output"))
        AtomicFile::protectInput(files[0]);
    if (AtomicFile::write(output, mended, &error) != AtomicFile::Outcome::Written)
        return line.failure(ExitFailed, QStringLiteral("cannot write %1: %2").arg(output, error));
    return ExitOk;
}
