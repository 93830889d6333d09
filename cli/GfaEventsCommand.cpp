// pondwatch-cli gfa-events DATAFILE GFAFILE --output NAME [--offset SECONDS] [--window SECONDS]
// The DoDataProcessing slot without dialogs: same checks, messages and output file.

#include "cli/Commands.h"
#include "tools/StimulusEventAnalysis.h"

#include <cstdio>

namespace {

int usage(const char *problem)
{
    std::fprintf(stderr,
        "pondwatch-cli gfa-events: %s\n"
        "usage: pondwatch-cli gfa-events DATAFILE GFAFILE --output NAME "
        "[--offset SECONDS] [--window SECONDS]\n",
        problem);
    return 2;
}

} // namespace

int runGfaEvents(const QStringList &args)
{
    QStringList files;
    QString output;
    // The defaults of the slot's two number dialogs.
    int offset = 600;
    int window = 90;
    for (int i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (arg == "--output" || arg == "--offset" || arg == "--window") {
            if (i + 1 >= args.size())
                return usage("an option needs a value");
            const QString value = args[++i];
            if (arg == "--output") {
                output = value;
                continue;
            }
            bool ok = false;
            const int number = value.toInt(&ok);
            if (!ok)
                return usage("--offset and --window take whole seconds");
            (arg == "--offset" ? offset : window) = number;
        } else if (arg.startsWith("--")) {
            return usage("unknown option");
        } else {
            files << arg;
        }
    }
    if (files.size() != 2)
        return usage("a data file and a GFA file are needed");
    if (output.isEmpty())
        return usage("--output NAME is needed");

    QString written;
    const auto error
        = StimulusEventAnalysis::run(files[0], files[1], offset, window, output, &written);
    if (error != StimulusEventAnalysis::Error::None) {
        std::fprintf(stderr, "%s\n", qPrintable(StimulusEventAnalysis::message(error, written)));
        return 1;
    }
    std::printf("GFAdata analysis file '%s' successfully written.\n", qPrintable(written));
    return 0;
}
