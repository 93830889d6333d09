#include "app/MainWindow.h"

// Opening and seeking a video, and the time line (placeholder).
void MainWindow::LoadVideoFile() {}
void MainWindow::SeekInVideo() {}
void MainWindow::showTime(int, int) {}
QString MainWindow::formatTime(int) { return QString(); }
