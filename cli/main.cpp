// pondwatch-cli: the tracking engine and the offline tools without a window, for batch work.

#include "cli/CommandLine.h"
#include "cli/Commands.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <csignal>
#include <cstdio>
#include <functional>
#include <map>

namespace {

const char usage[]
    = "usage: pondwatch-cli COMMAND [options] [ARGS...]\n"
      "commands:\n"
      "  track VIDEO [options]           track fish and write the tracking data file\n"
      "  live SOURCE --output FILE [options]   track a camera or stream as it comes\n"
      "  analyze DATAFILE --variable NAME [...]   windowed statistics of a data file\n"
      "  export DATAFILE VIDEO [--overlays-from DATAFILE2]   write VIDEO.out.mpeg\n"
      "  gfa-events DATAFILE GFAFILE --output NAME [--offset S] [--window S]\n"
      "  gfa-blend LEFT.gfadata RIGHT.gfadata --output NAME\n"
      "  plot DATAFILE --video VIDEO --trajectory|--heatmap --output FILE.png|.svg [--bin PX]\n"
      "  plot DATAFILE --plate [--measure distance] [--time-bin S] --output FILE.png|.svg\n"
      "  batch MANIFEST.csv [--jobs N] [--output-dir DIR]   track every video of a manifest\n"
      "  split-arenas DATAFILE           one data file per arena of a multi-arena data file\n"
      "  events DATAFILE [--output FILE.csv]   moments where identities may have changed\n"
      "  swap DATAFILE --fish A,B --from-frame N [--output FILE]   mend an identity swap\n"
      "  trajectories DATAFILE --format tidy|dlc [--output FILE]   paths as CSV for pandas, R\n"
      "  measures DATAFILE [--bin S] [--immobile-below SPEED] [--output FILE]   per fish/well\n"
      "Every command takes --help, --version and --verbose; pondwatch-cli COMMAND --help lists\n"
      "its options. Exit codes: 0 done, 1 input refused or output not written, 2 bad option,\n"
      "3 video cannot be opened, 4 area leaves no pixel to scan, 5 data file cannot be\n"
      "written, 6 the video ended early, 7 nothing tracked, 129 SIGHUP, 130 SIGINT,\n"
      "143 SIGTERM.\n";

} // namespace

int main(int argc, char *argv[])
{
    // Past a file-size limit (ulimit -f) a write should fail with "File too large" and be
    // reported, not kill the program halfway through an output.
    std::signal(SIGXFSZ, SIG_IGN);
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
    // The video library prints its banner and stream lines on standard output, which batch
    // jobs pipe; set it aside before anything is printed.
    CliOutput::divertLibraryOutput();
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(POND_VERSION));

    QStringList args = app.arguments();
    args.removeFirst();
    if (args.isEmpty()) {
        std::fputs(usage, stderr);
        return ExitBadOption;
    }
    const bool help = args.first() == "--help" || args.first() == "-h";
    if (help || args.first() == "--version") {
        QString reason;
        if (CliOutput::print(
                help ? QByteArray(usage) : "pondwatch-cli " POND_VERSION "\n", &reason))
            return ExitOk;
        std::fprintf(
            stderr, "pondwatch-cli: cannot write to standard output: %s\n", qPrintable(reason));
        return ExitFailed;
    }
    const std::map<QString, std::function<int(const QStringList &)>> commands = {
        { "track", runTrack },
        { "live", runLive },
        { "analyze", runAnalyze },
        { "export", runExport },
        { "gfa-events", runGfaEvents },
        { "gfa-blend", runGfaBlend },
        { "plot", runPlot },
        { "batch", runBatch },
        { "events", runEvents },
        { "swap", runSwap },
        { "split-arenas", runSplitArenas },
        { "trajectories", runTrajectories },
        { "measures", runMeasures },
    };
    const QString name = args.takeFirst();
    const auto it = commands.find(name);
    if (it == commands.end()) {
        std::fprintf(stderr, "pondwatch-cli: unknown command '%s'\n", qPrintable(name));
        std::fputs(usage, stderr);
        return ExitBadOption;
    }
    return it->second(args);
}
