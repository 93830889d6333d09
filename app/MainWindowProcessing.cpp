#include "app/MainWindow.h"

// Starting, stopping and refreshing a processing run (placeholder).
void MainWindow::ProcessVideo() {}
void MainWindow::StopProcessing() {}
void MainWindow::UpdateUI() {}
