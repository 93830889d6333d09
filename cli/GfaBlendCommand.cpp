// pondwatch-cli gfa-blend LEFT.gfadata RIGHT.gfadata --output NAME
// The GFABlender slot without dialogs: same checks, messages and output file.

#include "cli/Commands.h"
#include "tools/StimulusEventBlender.h"

#include <cstdio>

namespace {

int usage(const char *problem)
{
    std::fprintf(stderr,
        "pondwatch-cli gfa-blend: %s\n"
        "usage: pondwatch-cli gfa-blend LEFT.gfadata RIGHT.gfadata --output NAME\n",
        problem);
    return 2;
}

} // namespace

int runGfaBlend(const QStringList &args)
{
    QStringList files;
    QString output;
    for (int i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (arg == "--output") {
            if (i + 1 >= args.size())
                return usage("--output needs a value");
            output = args[++i];
        } else if (arg.startsWith("--")) {
            return usage("unknown option");
        } else {
            files << arg;
        }
    }
    if (files.size() != 2)
        return usage("a left and a right file are needed");
    if (output.isEmpty())
        return usage("--output NAME is needed");

    const auto error = StimulusEventBlender::run(files[0], files[1], output);
    if (error != StimulusEventBlender::Error::None) {
        std::fprintf(stderr, "%s\n", qPrintable(StimulusEventBlender::message(error, output)));
        return 1;
    }
    return 0;
}
