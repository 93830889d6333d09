// pondwatch-cli gfa-blend LEFT.gfadata RIGHT.gfadata --output NAME
// The GFABlender slot without dialogs: same checks, messages and output file.

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "files/AtomicFile.h"
#include "tools/StimulusEventBlender.h"

#include <cstdio>

int runGfaBlend(const QStringList &args)
{
    CommandLine line(QStringLiteral("gfa-blend"), QStringLiteral("LEFT.gfadata RIGHT.gfadata"),
        QStringLiteral("Interleaves the zone times of two .gfadata files into one table."));
    line.addOptions({ { "output", "NAME", "the output file; required" } });
    if (const auto done = line.parse(args))
        return *done;
    const QStringList files = line.positional();
    const QString output = line.path("output");
    if (files.size() != 2)
        return line.usageError(QStringLiteral("a left and a right file are needed"));
    if (output.isEmpty())
        return line.usageError(QStringLiteral("--output NAME is needed"));

    AtomicFile::protectInput(files[0]);
    AtomicFile::protectInput(files[1]);
    QString detail;
    const auto error = StimulusEventBlender::run(files[0], files[1], output, &detail);
    if (error != StimulusEventBlender::Error::None) {
        // The tool's own message, then the file and the reason.
        std::fprintf(stderr, "%s\n%s\n", qPrintable(StimulusEventBlender::message(error, output)),
            qPrintable(detail));
        return ExitFailed;
    }
    return ExitOk;
}
