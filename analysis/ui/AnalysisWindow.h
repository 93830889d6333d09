#pragma once
// The data analysis window: loads a tracking data file, lists variables with their time
// windows and shows the windowed statistics. A top-level window of its own, held by the main
// window. GUI thread only; the computation lives in DataAnalysis.
//
// Below the results text, a dock holds the results table and plot (ResultsPanel), and a tab
// beside it the measures per fish and well with the plate figure (MeasuresPanel). Problems
// with a row are marked at its fields and named in the status bar.

#include "analysis/SampleCollector.h"
#include "analysis/ui/MeasuresPanel.h"
#include "analysis/ui/ResultsPanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QStringList>
#include <QTableWidget>
#include <QTextEdit>

class AnalysisWindow : public QMainWindow
{
    Q_OBJECT

public:
    AnalysisWindow();

    // The samples of one variable, read from the file at `path`; `opened` is false when the
    // file could not be opened. Analyze calls it once per variable row.
    Samples collectSamples(const QString &path, const QString &variable, const QString &rulerX,
        const QString &rulerY, bool allConfident) const;

public Q_SLOTS:
    void AddVariable();
    void LoadDataFile();
    void Analyze();

protected:
    // Offers the data file written last: a run may have written one since the window was made.
    void showEvent(QShowEvent *event) override;

private:
    QTableWidget variableTable;
    QPushButton addVariableButton;
    QLineEdit dataFileEdit;
    QPushButton browseButton;
    QPushButton analyzeButton;
    QStringList measurableNames;
    QTextEdit resultsEdit;
    QComboBox rulerXCombo;
    QComboBox rulerYCombo;
    QCheckBox allConfidentCheck;

    // Not part of the central layout: the table and plot, and what the last file offers.
    ResultsPanel resultsPanel;
    MeasuresPanel measuresPanel;
    bool loadedMultiFish = false;

    void loadPath(const QString &path);
    void removeCurrentRow();
    void markField(int row, int column, const QString &why);
    void clearMarks();
    QLineEdit *timeEdit(int row, int column) const;
};
