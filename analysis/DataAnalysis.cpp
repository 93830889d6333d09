#include "analysis/DataAnalysis.h"

#include <QFile>

float VariableRow::parseTime(const QString &text)
{
    return text.toFloat(); // C format; 0 when not a number
}

QString AnalysisOutcome::errorTitle() const
{
    switch (status) {
    case Status::Done:
        break;
    case Status::FileMissing:
        return QStringLiteral("Can't load video data file.");
    case Status::CannotOpen:
        return QStringLiteral("Can't open video data file.");
    case Status::PeriodNotPositive:
        return QStringLiteral("Time to Measure plus Time Between must be positive.");
    }
    return QString();
}

AnalysisOutcome DataAnalysis::run(const AnalysisInput &input, const Collector &collect)
{
    AnalysisOutcome outcome;
    if (input.path.isEmpty() || !QFile::exists(input.path)) {
        outcome.status = AnalysisOutcome::Status::FileMissing;
        return outcome;
    }

    // A failing row stops everything: the blocks already built are not shown.
    QVector<VariableResult> results;
    for (int row = 0; row < input.rows.size(); ++row) {
        const VariableRow &variable = input.rows[row];
        if (!variable.window.periodIsPositive()) {
            outcome.status = AnalysisOutcome::Status::PeriodNotPositive;
            outcome.failedRow = row;
            return outcome;
        }
        const Samples samples = collect(SampleRequest {
            input.path, variable.name, input.rulerX, input.rulerY, input.allConfident });
        if (!samples.opened) {
            outcome.status = AnalysisOutcome::Status::CannotOpen;
            outcome.failedRow = row;
            return outcome;
        }
        results.append(VariableResult { variable.name,
            WindowedStatistics::summarise(samples.times, samples.values, variable.window) });
    }
    outcome.results = results;
    return outcome;
}
