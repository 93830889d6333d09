#include "tracking/TrackerViewPainter.h"

#include "tracking/ImageLock.h"

#include <QMutexLocker>

void TrackerViewPainter::reset(const QImage &viewImage)
{
    // Converted outside the lock; a 32-bit format lets each pixel be written directly.
    QImage black = viewImage.isNull() ? QImage() : viewImage.convertToFormat(QImage::Format_RGB32);
    if (!black.isNull())
        black.fill(0);
    QMutexLocker locker(&imageLock);
    image = black;
}

void TrackerViewPainter::replace(const QImage &picture)
{
    QMutexLocker locker(&imageLock);
    image = picture;
}

void TrackerViewPainter::paint(int x, int y, QRgb colour)
{
    QMutexLocker locker(&imageLock);
    if (x < 0 || y < 0 || x >= image.width() || y >= image.height())
        return;
    reinterpret_cast<QRgb *>(image.scanLine(y))[x] = colour;
}
