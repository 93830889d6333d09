#pragma once
// Shows the plot of one variable row of a results table (ResultsPlot draws it). GUI thread only.

#include "analysis/ResultsTable.h"

#include <QWidget>

class PlotWidget : public QWidget
{
    Q_OBJECT

public:
    explicit PlotWidget(QWidget *parent = nullptr);

    void setTable(const ResultsTable &table, int variableRow);
    int variableRow() const { return row; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    ResultsTable table;
    int row = -1;
};
