#pragma once
// Writes the tracker-view image, one pixel at a time under imageLock, so the GUI can copy it
// whenever it likes. The GUI's copy shares the pixel data until the next write detaches it,
// which therefore also happens under the lock. Tracker thread only.

#include <QImage>
#include <QRgb>

class TrackerViewPainter
{
public:
    explicit TrackerViewPainter(QImage &trackerView)
        : image(trackerView)
    {
    }

    // Under imageLock: the image becomes a black picture of the view image's size.
    void reset(const QImage &viewImage);
    // Under imageLock: one pixel in frame coordinates; pixels outside the image are skipped.
    void paint(int x, int y, QRgb colour);
    // Under imageLock: the whole picture at once (frame-sized, Format_RGB32).
    void replace(const QImage &picture);

    // The grey level for a box mean: 255 * mean / threshold, truncated, capped at 255.
    // 0 when it is not a number (mean and threshold both 0) or below zero (rounding in the
    // summed table can leave a box mean a little under 0).
    static int level(float mean, float threshold)
    {
        const float r = 255.0f * mean / threshold;
        if (r > 255.0f)
            return 255;
        if (!(r > 0.0f))
            return 0;
        return int(r);
    }

private:
    QImage &image; // guarded by imageLock
};
