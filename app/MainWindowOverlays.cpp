#include "app/MainWindow.h"

// The slots that select or add an overlay shape (placeholder).
void MainWindow::SetFishArea() {}
void MainWindow::AddNewArea() {}
void MainWindow::AddNewRuler() {}
void MainWindow::AddNewPointDist() {}
