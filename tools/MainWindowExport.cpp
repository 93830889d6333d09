#include "app/MainWindow.h"

// The annotated video export (placeholder).
void MainWindow::ExportVideo() {}
