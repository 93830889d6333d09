// pondwatch-cli: the tracking engine and the offline tools without a window, for batch work.

#include "cli/Commands.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <cstdio>
#include <functional>
#include <map>

namespace {

void printUsage()
{
    std::fputs("usage: pondwatch-cli COMMAND [ARGS...]\n"
               "commands:\n"
               "  track VIDEO [options]           track fish and write the tracking data file\n"
               "  analyze DATAFILE --variable NAME [...]   windowed statistics of a data file\n"
               "  export DATAFILE VIDEO [--overlays-from DATAFILE2]   write VIDEO.out.mpeg\n"
               "  gfa-events DATAFILE GFAFILE --output NAME [--offset S] [--window S]\n"
               "  gfa-blend LEFT.gfadata RIGHT.gfadata --output NAME\n",
        stderr);
}

} // namespace

int main(int argc, char *argv[])
{
    // Drawing text for the export needs a GUI application, but never a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Batch jobs often run without a session; give Qt the private runtime folder it would pick
    // anyway, so it does not warn on standard error for every run.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString runtime = QDir::temp().filePath(
            QStringLiteral("runtime-%1")
                .arg(qEnvironmentVariable("USER", QStringLiteral("pondwatch"))));
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
    }
    QGuiApplication app(argc, argv);

    QStringList args = app.arguments();
    args.removeFirst();
    if (args.isEmpty() || args.first() == "--help" || args.first() == "-h") {
        printUsage();
        return args.isEmpty() ? 2 : 0;
    }
    const std::map<QString, std::function<int(const QStringList &)>> commands = {
        { "track", runTrack },
        { "analyze", runAnalyze },
        { "export", runExport },
        { "gfa-events", runGfaEvents },
        { "gfa-blend", runGfaBlend },
    };
    const QString name = args.takeFirst();
    const auto it = commands.find(name);
    if (it == commands.end()) {
        std::fprintf(stderr, "pondwatch-cli: unknown command '%s'\n", qPrintable(name));
        printUsage();
        return 2;
    }
    return it->second(args);
}
