#include "app/MainWindow.h"

// Pause, review and manual correction (placeholder).
void MainWindow::EditBack() {}
void MainWindow::EditPauseResume() {}
void MainWindow::EditForward() {}
void MainWindow::correctPosition(int, int) {}
