#pragma once
// A plot of one variable row of the results table: the mean of every window over time, one
// line per fish in its palette colour, with a band of one standard deviation either side.
// GUI-free (QPainter on any paint device); any thread.

#include "analysis/ResultsTable.h"

#include <QRectF>
#include <QSize>

class QPainter;

class ResultsPlot
{
public:
    static constexpr QSize defaultSize { 800, 480 };

    static void draw(
        QPainter &painter, const QRectF &bounds, const ResultsTable &table, int variableRow);

    // The series the plot draws for a variable row, one per fish in table order.
    struct Series
    {
        int fish = 1;
        QVector<float> times; // window starts, seconds
        QVector<float> means;
        QVector<float> sds;
        // The band's lower edge: mean - sd, but not below 0 when no sample of the variable
        // is (a speed, a distance, a time), where a band below 0 would show the impossible.
        QVector<float> lows;
    };
    static QVector<Series> series(const ResultsTable &table, int variableRow);
};
