#include "analysis/ui/PlotWidget.h"

#include "analysis/ResultsPlot.h"

#include <QPainter>

PlotWidget::PlotWidget(QWidget *parent)
    : QWidget(parent)
{
    setMinimumSize(320, 200);
}

void PlotWidget::setTable(const ResultsTable &newTable, int variableRow)
{
    table = newTable;
    row = variableRow;
    update();
}

void PlotWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    ResultsPlot::draw(painter, rect(), table, row);
}
