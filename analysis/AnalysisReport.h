#pragma once
// The results text of an analysis: one block per variable row, every number with six
// decimals and a blank after it; and the same numbers as CSV for the command line.
// GUI-free; any thread.

#include "analysis/WindowedStatistics.h"

#include <QString>
#include <QVector>

struct VariableResult
{
    QString name;
    WindowSummary windows;
};

class AnalysisReport
{
public:
    // The text the analysis window shows.
    static QString text(const QVector<VariableResult> &results);
    // "variable,start,mean,variance", then one line per window.
    static QString csv(const QVector<VariableResult> &results);

    // Fixed point with six decimals; nan, inf and -inf for values that are not finite.
    static QString formatNumber(float value);
};
