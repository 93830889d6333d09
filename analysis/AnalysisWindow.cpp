#include "analysis/AnalysisWindow.h"

// Placeholder until the analysis window lands.
AnalysisWindow::AnalysisWindow() : QMainWindow(nullptr)
{
    setWindowTitle(QStringLiteral("Data Analysis"));
}
void AnalysisWindow::AddVariable() {}
void AnalysisWindow::LoadDataFile() {}
void AnalysisWindow::Analyze() {}
