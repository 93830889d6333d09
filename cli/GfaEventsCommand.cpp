// pondwatch-cli gfa-events DATAFILE GFAFILE --output NAME [--offset SECONDS] [--window SECONDS]
// The DoDataProcessing slot without dialogs: same checks, messages and output file.

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "files/AtomicFile.h"
#include "formats/ValueReader.h"
#include "tools/StimulusEventAnalysis.h"

#include <cstdio>

int runGfaEvents(const QStringList &args)
{
    CommandLine line(QStringLiteral("gfa-events"), QStringLiteral("DATAFILE GFAFILE"),
        QStringLiteral("Zone times around each stimulus event of GFAFILE, from the tracking "
                       "data file DATAFILE;\nwrites NAME.gfadata."));
    line.addOptions({
        { "output", "NAME", "the output file (.gfadata is added when missing); required" },
        { "offset", "SECONDS", "the events' offset into the data file (600)" },
        { "window", "SECONDS", "the time measured after each event (90)" },
    });
    if (const auto done = line.parse(args))
        return *done;
    // The defaults of the slot's two number dialogs.
    int offset = 600;
    int window = 90;
    for (const char *name : { "offset", "window" }) {
        if (!line.isSet(name))
            continue;
        const auto number = ValueReader::wholeNumber(line.value(name));
        if (!number)
            return line.usageError(QStringLiteral("--offset and --window take whole seconds"));
        (qstrcmp(name, "offset") == 0 ? offset : window) = *number;
    }
    const QStringList files = line.positional();
    const QString output = line.path("output");
    if (files.size() != 2)
        return line.usageError(QStringLiteral("a data file and a GFA file are needed"));
    if (output.isEmpty())
        return line.usageError(QStringLiteral("--output NAME is needed"));

    AtomicFile::protectInput(files[0]);
    AtomicFile::protectInput(files[1]);
    QString written, detail;
    const auto error
        = StimulusEventAnalysis::run(files[0], files[1], offset, window, output, &written, &detail);
    if (error != StimulusEventAnalysis::Error::None) {
        // The tool's own message, then the file and the reason.
        std::fprintf(stderr, "%s\n%s\n", qPrintable(StimulusEventAnalysis::message(error, written)),
            qPrintable(detail));
        return ExitFailed;
    }
    QString reason;
    if (!CliOutput::print(QStringLiteral("GFAdata analysis file '%1' successfully written.\n")
                              .arg(written)
                              .toUtf8(),
            &reason))
        return line.failure(
            ExitFailed, QStringLiteral("cannot write to standard output: %1").arg(reason));
    return ExitOk;
}
