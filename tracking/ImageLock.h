#pragma once

#include <QMutex>

// Process-wide lock for the tracker's two images (its copy of the current frame and its
// tracker-view image): the tracker holds it to replace the frame, to clear the tracker
// view and to paint one tracker-view pixel; the GUI holds it to copy either image.
extern QMutex imageLock;
