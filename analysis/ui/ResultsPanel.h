#pragma once
// The analysis window's results as a table and a plot: the table with "Export CSV..." and
// "Copy" (tab-separated, for spreadsheets), a plot of the chosen variable row with
// "Save Image...", and the trajectory and heat map of the analysed file. GUI thread only;
// ResultsTable and ResultsPlot compute and draw.

#include "analysis/DataAnalysis.h"
#include "analysis/ResultsTable.h"
#include "analysis/ui/PlotWidget.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QWidget>

class ResultsPanel : public QWidget
{
    Q_OBJECT

public:
    explicit ResultsPanel(QWidget *parent = nullptr);

    void showResults(const AnalysisInput &input, const ResultsTable &table);
    void clear();
    const ResultsTable &table() const { return results; }
    // Table and plot side by side (Qt::Horizontal) or one above the other.
    void setOrientation(Qt::Orientation orientation) { split.setOrientation(orientation); }

private:
    void exportCsv();
    void copyTable();
    void savePlot();
    void showPlot();

    QLabel notesLabel;
    QSplitter split;
    QTableWidget tableView;
    QPushButton exportButton;
    QPushButton copyButton;
    QComboBox plotVariableCombo;
    PlotWidget plot;
    QPushButton savePlotButton;
    QPushButton trajectoryButton;
    QPushButton heatMapButton;

    AnalysisInput analysed;
    ResultsTable results;
};
