// pondwatch-cli analyze: the analysis window's computation on a tracking data file, with the
// variable rows, rulers and check box given as options. Prints exactly the window's results
// text, or CSV with --csv.

#include "cli/Commands.h"

#include "analysis/DataAnalysis.h"
#include "analysis/DataFileHeader.h"

#include <QFile>
#include <QLoggingCategory>

#include <cstdio>

namespace {

const char usage[]
    = "usage: pondwatch-cli analyze DATAFILE --variable NAME [--window OFFSET,MEASURE,BETWEEN]\n"
      "                             [--variable NAME [--window ...]]...\n"
      "                             [--ruler-x NAME] [--ruler-y NAME] [--all-confident] [--csv]\n";

int usageError(const QString &message)
{
    std::fprintf(stderr, "pondwatch-cli analyze: %s\n%s", qPrintable(message), usage);
    return 2;
}

} // namespace

int runAnalyze(const QStringList &args)
{
    AnalysisInput input;
    bool csv = false;
    bool rulerXGiven = false;
    bool rulerYGiven = false;
    QStringList positional;

    for (int i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        const auto value
            = [&]() -> const QString * { return i + 1 < args.size() ? &args[++i] : nullptr; };
        if (arg == QLatin1String("--variable")) {
            const QString *name = value();
            if (!name)
                return usageError(QStringLiteral("--variable needs a name"));
            input.rows.append(VariableRow { *name, WindowSettings {} });
        } else if (arg == QLatin1String("--window")) {
            const QString *window = value();
            if (!window)
                return usageError(QStringLiteral("--window needs OFFSET,MEASURE,BETWEEN"));
            if (input.rows.isEmpty())
                return usageError(QStringLiteral("--window must follow a --variable"));
            const QStringList parts = window->split(QLatin1Char(','), Qt::KeepEmptyParts);
            if (parts.size() != 3)
                return usageError(QStringLiteral("--window needs OFFSET,MEASURE,BETWEEN"));
            // Read like the window's time cells: a text that is not a number counts as 0.
            WindowSettings &settings = input.rows.last().window;
            settings.offset = VariableRow::parseTime(parts[0]);
            settings.measure = VariableRow::parseTime(parts[1]);
            settings.between = VariableRow::parseTime(parts[2]);
        } else if (arg == QLatin1String("--ruler-x") || arg == QLatin1String("--ruler-y")) {
            const QString *name = value();
            if (!name)
                return usageError(arg + QStringLiteral(" needs a ruler name"));
            if (arg == QLatin1String("--ruler-x")) {
                input.rulerX = *name;
                rulerXGiven = true;
            } else {
                input.rulerY = *name;
                rulerYGiven = true;
            }
        } else if (arg == QLatin1String("--all-confident")) {
            input.allConfident = true;
        } else if (arg == QLatin1String("--csv")) {
            csv = true;
        } else if (arg.startsWith(QLatin1String("--"))) {
            return usageError(QStringLiteral("unknown option ") + arg);
        } else {
            positional.append(arg);
        }
    }
    if (positional.size() != 1)
        return usageError(QStringLiteral("give exactly one DATAFILE"));
    if (input.rows.isEmpty())
        return usageError(QStringLiteral("give at least one --variable"));
    input.path = positional.first();

    const auto fail = [](const AnalysisOutcome &outcome) {
        std::fprintf(stderr, "pondwatch-cli analyze: %s\n", qPrintable(outcome.errorTitle()));
        return 1;
    };

    // Both rulers start as the file's first ruler, as the window shows them after loading.
    if (!rulerXGiven || !rulerYGiven) {
        AnalysisOutcome missing;
        if (!QFile::exists(input.path)) {
            missing.status = AnalysisOutcome::Status::FileMissing;
            return fail(missing);
        }
        DataFileHeader header;
        if (!header.read(input.path)) {
            missing.status = AnalysisOutcome::Status::CannotOpen;
            return fail(missing);
        }
        const QString first = header.rulerNames.value(0);
        if (!rulerXGiven)
            input.rulerX = first;
        if (!rulerYGiven)
            input.rulerY = first;
    }

    // The window writes a debug line per speed sample; on the command line it would bury
    // the results of a batch run.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));

    const AnalysisOutcome outcome = DataAnalysis::run(input);
    if (outcome.status != AnalysisOutcome::Status::Done)
        return fail(outcome);

    const QByteArray out
        = (csv ? AnalysisReport::csv(outcome.results) : AnalysisReport::text(outcome.results))
              .toUtf8();
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    std::fflush(stdout);
    return 0;
}
