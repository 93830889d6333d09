#include "tracking/BackgroundModel.h"

#include <algorithm>
#include <atomic>
#include <cmath>

void BackgroundModel::reset(const QRect &trackingArea, int filterSide, int averageOver)
{
    area = trackingArea;
    w = std::max(0, area.width());
    h = std::max(0, area.height());
    half = (filterSide - 1) / 2;
    windowArea = float(filterSide) * float(filterSide);
    framesToAverage = std::max(1, averageOver);
    n = 0;
    const size_t count = size_t(w) * size_t(h);
    grey.assign(count, 0.0f);
    background.assign(count, 0.0f);
    summed.assign(count, 0.0f);
}

// Grey levels of the area's pixels (qGray: (11 R + 16 G + 5 B) / 32). Parts of the area
// outside the frame read as 0, as QImage::pixel gives for a coordinate out of range.
void BackgroundModel::readGreyLevels(const QImage &input)
{
    QImage converted;
    const QImage *frame = &input;
    const QImage::Format format = input.format();
    const bool rgb888 = format == QImage::Format_RGB888;
    const bool rgb32 = format == QImage::Format_RGB32 || format == QImage::Format_ARGB32;
    if (!rgb888 && !rgb32 && !input.isNull()) {
        // The decoder delivers RGB888; anything else is converted once for the frame.
        converted = input.convertToFormat(QImage::Format_RGB32);
        frame = &converted;
    }
    const bool bytes = rgb888;

    const int x1 = area.left(), y1 = area.top();
    const int colBegin = std::clamp(-x1, 0, w);
    const int colEnd = std::clamp(frame->width() - x1, colBegin, w);
    for (int y = 0; y < h; ++y) {
        float *out = grey.data() + size_t(y) * w;
        const int fy = y1 + y;
        if (fy < 0 || fy >= frame->height() || colBegin == colEnd) {
            std::fill(out, out + w, 0.0f);
            continue;
        }
        std::fill(out, out + colBegin, 0.0f);
        std::fill(out + colEnd, out + w, 0.0f);
        const uchar *line = frame->constScanLine(fy);
        if (bytes) {
            const uchar *p = line + 3 * (x1 + colBegin);
            for (int x = colBegin; x < colEnd; ++x, p += 3)
                out[x] = float((p[0] * 11 + p[1] * 16 + p[2] * 5) / 32);
        } else {
            const QRgb *p = reinterpret_cast<const QRgb *>(line) + (x1 + colBegin);
            for (int x = colBegin; x < colEnd; ++x, ++p)
                out[x] = float(qGray(*p));
        }
    }
}

bool BackgroundModel::update(const QImage &frame, const TrackingControls &controls)
{
    bool completed = false;
    if (n < framesToAverage) {
        ++n;
        completed = n == framesToAverage;
    }
    // The weights as the nearest floats to 1/n and 1 - 1/n.
    const float alpha = float(1.0 / n);
    const float beta = float(1.0 - 1.0 / n);

    readGreyLevels(frame);

    // Background and difference: each pixel on its own, so the order of this pass does not
    // change a value. d is taken against the background that already holds this frame.
    const size_t count = grey.size();
    const float *g = grey.data();
    float *b = background.data();
    float *s = summed.data();
    for (size_t i = 0; i < count; ++i) {
        float bg = beta * b[i];
        bg = alpha * g[i] + bg;
        b[i] = bg;
        s[i] = g[i] - bg;
    }

    // Column by column: the difference rule is read per pixel, so a mode switched during the
    // pass applies from the next pixel, and columns already passed keep the old rule. The
    // left, upper and upper-left sums are final when they are used.
    const std::atomic<bool> &signedDifference = controls.signedDifference;
    const std::atomic<bool> &brightObject = controls.brightObject;
    for (int x = 0; x < w; ++x) {
        float *column = s + x;
        for (int y = 0; y < h; ++y) {
            float *cell = column + size_t(y) * w;
            const float d = *cell;
            float v;
            if (!signedDifference.load(std::memory_order_relaxed))
                v = std::fabs(d);
            else if (brightObject.load(std::memory_order_relaxed))
                v = d > 0.0f ? d : 0.0f;
            else
                v = -d > 0.0f ? -d : 0.0f;
            if (x == 0)
                *cell = y == 0 ? v : v + cell[-w];
            else if (y == 0)
                *cell = v + cell[-1];
            else
                *cell = cell[-1] + cell[-w] - cell[-w - 1] + v;
        }
    }
    return completed;
}
