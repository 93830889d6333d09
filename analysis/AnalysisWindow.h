#pragma once
// The data analysis window: loads a tracking data file, lists variables with their time
// windows and shows the windowed statistics. GUI thread only.

#include <QMainWindow>

class AnalysisWindow : public QMainWindow
{
    Q_OBJECT

public:
    AnalysisWindow();

public Q_SLOTS:
    void AddVariable();
    void LoadDataFile();
    void Analyze();
};
