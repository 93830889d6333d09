#include "tracking/ImageLock.h"

QMutex imageLock;
