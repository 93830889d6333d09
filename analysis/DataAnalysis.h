#pragma once
// One analysis of a tracking data file: for every variable row in order, collect its samples,
// sort them into its time windows and summarise them. The analysis window and the command
// line both run it, so they give the same results and the same errors. GUI-free; any thread.

#include "analysis/AnalysisReport.h"
#include "analysis/SampleCollector.h"
#include "analysis/WindowedStatistics.h"

#include <QString>
#include <QVector>

#include <functional>

struct VariableRow
{
    QString name;
    WindowSettings window;

    // A time setting as typed; a text that is not a number counts as 0.
    static float parseTime(const QString &text);
};

struct AnalysisInput
{
    QString path;
    QVector<VariableRow> rows;
    QString rulerX;
    QString rulerY;
    bool allConfident = false;
};

struct AnalysisOutcome
{
    enum class Status {
        Done,
        FileMissing, // no file under the path (an empty path included)
        CannotOpen, // the file could not be opened while a row was read
        PeriodNotPositive, // a row's Time to Measure plus Time Between is not positive
    };
    Status status = Status::Done;
    int failedRow = -1; // the row that stopped the analysis
    QVector<VariableResult> results; // complete only when status is Done

    // The message for a failed analysis, as the title of the error box.
    QString errorTitle() const;
    static QString errorText() { return QStringLiteral("Sorry."); }
};

class DataAnalysis
{
public:
    using Collector = std::function<Samples(const SampleRequest &)>;

    // `collect` reads one variable's samples; by default straight from the file.
    static AnalysisOutcome run(
        const AnalysisInput &input, const Collector &collect = &SampleCollector::collect);
};
