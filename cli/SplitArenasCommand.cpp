// pondwatch-cli split-arenas DATAFILE: one data file per arena of a multi-fish file made with
// arenas, beside it ("X.datamulti.txt" gives "X.Arena1.data.txt", "X.Arena2.data.txt"...).

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "files/AtomicFile.h"
#include "formats/ArenaSplitter.h"

#include <cstdio>

int runSplitArenas(const QStringList &args)
{
    CommandLine line(QStringLiteral("split-arenas"), QStringLiteral("DATAFILE"),
        QStringLiteral("Writes one data file per arena of DATAFILE (a multi-fish file tracked "
                       "with arenas), beside it:\nX.Arena<n>.data.txt for an arena with one "
                       "fish, X.Arena<n>.datamulti.txt for one with several."));
    if (const auto done = line.parse(args))
        return *done;
    const QStringList files = line.positional();
    if (files.size() != 1)
        return line.usageError(QStringLiteral("one data file is needed"));

    AtomicFile::protectInput(files[0]);
    ArenaSplitter splitter;
    QString error;
    QByteArray written; // the files' names, one a line
    if (!splitter.read(files[0], &error))
        return line.failure(ExitFailed, error);
    for (const ArenaSplitter::Part &part : splitter.parts()) {
        const QString path = ArenaSplitter::partPath(files[0], part);
        if (!TrackingDataFile::save(path, part.content, &error))
            return line.failure(ExitFailed, error);
        written += path.toUtf8() + '\n';
    }
    QString reason;
    if (!CliOutput::print(written, &reason))
        return line.failure(
            ExitFailed, QStringLiteral("cannot write to standard output: %1").arg(reason));
    return ExitOk;
}
