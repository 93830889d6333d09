// pondwatch-cli analyze: the analysis window's computation on a tracking data file, with the
// variable rows, rulers and check box given as options. Prints exactly the window's results
// text, or CSV with --csv, or the results table (units, n, SD, extremes, per fish) with --table.

#include "cli/CommandLine.h"
#include "cli/Commands.h"

#include "analysis/DataAnalysis.h"
#include "analysis/DataFileHeader.h"
#include "analysis/ResultsTable.h"
#include "files/InputFile.h"
#include "formats/TrackingDataFile.h"

#include <QFile>
#include <QLoggingCategory>

#include <cstdio>

int runAnalyze(const QStringList &args)
{
    CommandLine line(QStringLiteral("analyze"), QStringLiteral("DATAFILE"),
        QStringLiteral("Windowed statistics of a tracking data file, as the analysis window "
                       "computes them.\nEach --window sets the time windows of the --variable "
                       "before it."));
    line.addOptions({
        { "variable", "NAME", "a variable row (repeatable, kept in order)" },
        { "window", "OFFSET,MEASURE,BETWEEN", "the time windows of the row before it (seconds)" },
        { "ruler-x", "NAME", "the ruler that scales x (the file's first ruler)" },
        { "ruler-y", "NAME", "the ruler that scales y (the file's first ruler)" },
        { "all-confident", nullptr, "use only the rows where every fish was found" },
        { "csv", nullptr, "CSV instead of the window's text" },
        { "table", nullptr,
            "the results table as CSV: variable, unit, fish, window start and end, n, mean, "
            "SD, min, max" },
    });
    if (const auto done = line.parse(args))
        return *done;

    AnalysisInput input;
    const bool csv = line.isSet("csv");
    const bool table = line.isSet("table");
    if (csv && table)
        return line.usageError(QStringLiteral("--csv and --table exclude each other"));
    const bool rulerXGiven = line.isSet("ruler-x");
    const bool rulerYGiven = line.isSet("ruler-y");
    input.rulerX = line.value("ruler-x");
    input.rulerY = line.value("ruler-y");
    input.allConfident = line.isSet("all-confident");
    // The rows and their windows in the order given: each --window belongs to the --variable
    // before it.
    const QStringList variables = line.values("variable");
    const QStringList windows = line.values("window");
    int variableIndex = 0, windowIndex = 0;
    for (const QString &name : line.optionOrder()) {
        if (name == QLatin1String("variable")) {
            input.rows.append(VariableRow { variables.value(variableIndex++), WindowSettings {} });
        } else if (name == QLatin1String("window")) {
            const QString window = windows.value(windowIndex++);
            if (input.rows.isEmpty())
                return line.usageError(QStringLiteral("--window must follow a --variable"));
            const QStringList parts = window.split(QLatin1Char(','), Qt::KeepEmptyParts);
            if (parts.size() != 3)
                return line.usageError(QStringLiteral("--window needs OFFSET,MEASURE,BETWEEN"));
            // Read like the window's time cells: a text that is not a number counts as 0.
            WindowSettings &settings = input.rows.last().window;
            settings.offset = VariableRow::parseTime(parts[0]);
            settings.measure = VariableRow::parseTime(parts[1]);
            settings.between = VariableRow::parseTime(parts[2]);
        }
    }
    const QStringList positional = line.positional();
    if (positional.size() != 1)
        return line.usageError(QStringLiteral("give exactly one DATAFILE"));
    if (input.rows.isEmpty())
        return line.usageError(QStringLiteral("give at least one --variable"));
    input.path = positional.first();

    // The window's message, then the file and the reason where a file is to blame.
    const auto fail = [&input](const AnalysisOutcome &outcome) {
        QString detail;
        if (outcome.status == AnalysisOutcome::Status::FileMissing
            || outcome.status == AnalysisOutcome::Status::CannotOpen) {
            const QString problem = InputFile::problem(input.path);
            detail = QStringLiteral("\n%1: %2")
                         .arg(input.path,
                             problem.isEmpty() ? QStringLiteral("cannot be read") : problem);
        }
        std::fprintf(stderr, "pondwatch-cli analyze: %s%s\n", qPrintable(outcome.errorTitle()),
            qPrintable(detail));
        return int(ExitFailed);
    };

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
    // Only what the window's variable list offers for the file: any other name (a typo) would
    // give no numbers, and no reason.
    const QStringList offered = header.variables();
    for (const VariableRow &row : input.rows)
        if (!offered.contains(row.name))
            return line.usageError(
                QStringLiteral("--variable %1: %2 offers %3")
                    .arg(row.name, input.path, offered.join(QStringLiteral(", "))));
    // Both rulers start as the file's first ruler, as the window shows them after loading.
    const QString first = header.rulerNames.value(0);
    if (!rulerXGiven)
        input.rulerX = first;
    if (!rulerYGiven)
        input.rulerY = first;

    // The window shows empty tables for a file it cannot make sense of; a batch job needs to
    // know that it gave no numbers, and why.
    QString reason;
    if (!TrackingDataFile::hasRows(input.path, &reason)) {
        std::fprintf(stderr, "pondwatch-cli analyze: Can't open video data file.\n%s: %s\n",
            qPrintable(input.path), qPrintable(reason));
        return ExitFailed;
    }

    // The window writes a debug line per speed sample; on the command line it would bury
    // the results of a batch run.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));

    const AnalysisOutcome outcome = DataAnalysis::run(input);
    if (outcome.status != AnalysisOutcome::Status::Done)
        return fail(outcome);

    QString text;
    if (table) {
        const ResultsTable results = ResultsTable::build(input, outcome.results);
        for (const QString &note : results.notes)
            std::fprintf(stderr, "pondwatch-cli analyze: %s\n", qPrintable(note));
        text = results.csv();
    } else {
        text = csv ? AnalysisReport::csv(outcome.results) : AnalysisReport::text(outcome.results);
    }
    if (!CliOutput::print(text.toUtf8(), &reason))
        return line.failure(ExitFailed,
            QStringLiteral("cannot write the results to standard output: %1").arg(reason));
    return ExitOk;
}
