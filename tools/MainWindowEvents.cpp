#include "app/MainWindow.h"

// The stimulus-event analysis and blending (placeholder).
void MainWindow::DoDataProcessing() {}
void MainWindow::GFABlender() {}
