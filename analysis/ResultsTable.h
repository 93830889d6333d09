#pragma once
// The results as a table people and scripts can read: one row per variable row, time window
// and fish, with its unit, window bounds, sample count, mean, standard deviation and extremes.
// Single-fish files give the very numbers of the results text; multi-fish files give one row
// per fish (and the shoal's mean distance for ShoalAvgDist). GUI-free; any thread.

#include "analysis/DataAnalysis.h"

#include <QString>
#include <QStringList>
#include <QVector>

struct ResultsRow
{
    int variableRow = 0; // index of the variable row in the analysis input
    QString variable;
    QString unit;
    int fish = 1; // 1-based; 0 for a value of the whole shoal
    float start = 0.0f; // seconds
    float end = 0.0f;
    int n = 0;
    float mean = 0.0f;
    float sd = 0.0f; // population standard deviation, the square root of the report's variance
    float min = 0.0f;
    float max = 0.0f;
};

class ResultsTable
{
public:
    // Builds the table of an analysis that is Done. `results` are the outcome's results; for
    // a multi-fish file the input's file is read again fish by fish.
    static ResultsTable build(const AnalysisInput &input, const QVector<VariableResult> &results);

    QVector<ResultsRow> rows;
    // Why a variable row gave no numbers, one sentence each (for instance Speed without a ruler).
    QStringList notes;

    static QStringList columnNames();
    // A header line, then one line per row; numbers with six decimals as in the results text.
    QString csv() const;
    QString tabSeparated() const;
    // One row's cells as text, in column order.
    QStringList cells(const ResultsRow &row) const;

    // The unit of a variable's values: lengths come in the unit the rulers' and point
    // distances' lengths were given in ("ruler unit", "ruler unit/s" for Speed).
    static QString unitFor(const QString &variable);
};
