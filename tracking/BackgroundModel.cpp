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
    means.assign(count, 0.0f);
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

    applyDifferenceRule(controls);
    integrate();
    computeBoxMeans();
    return completed;
}

namespace {

enum class Rule { Unsigned, Bright, Dark };

inline Rule readRule(
    const std::atomic<bool> &signedDifference, const std::atomic<bool> &brightObject)
{
    if (!signedDifference.load(std::memory_order_relaxed))
        return Rule::Unsigned;
    return brightObject.load(std::memory_order_relaxed) ? Rule::Bright : Rule::Dark;
}

inline float apply(Rule rule, float d)
{
    switch (rule) {
    case Rule::Unsigned:
        return std::fabs(d);
    case Rule::Bright:
        return d > 0.0f ? d : 0.0f;
    case Rule::Dark:
        break;
    }
    return -d > 0.0f ? -d : 0.0f;
}

} // namespace

// The difference rule is read for every pixel, column by column, so a mode switched during the
// pass applies from the next pixel, and columns already passed keep the old rule. Reading the
// two flags costs little; walking the plane column by column costs a cache miss a pixel. So
// the reads come first, in that order, noting the pixels where the rule changed (almost
// never), and then each pixel gets the rule read at its turn, the plane walked row by row.
void BackgroundModel::applyDifferenceRule(const TrackingControls &controls)
{
    const std::atomic<bool> &signedDifference = controls.signedDifference;
    const std::atomic<bool> &brightObject = controls.brightObject;
    const int count = w * h;
    if (count == 0)
        return;
    const Rule first = readRule(signedDifference, brightObject);
    Rule current = first;
    int firstChange = -1; // column-order index of the first pixel read under another rule
    for (int k = 1; k < count; ++k) {
        const Rule r = readRule(signedDifference, brightObject);
        if (r != current) {
            firstChange = k;
            break;
        }
    }

    float *s = summed.data();
    if (firstChange < 0) {
        switch (first) {
        case Rule::Unsigned:
            for (int i = 0; i < count; ++i)
                s[i] = std::fabs(s[i]);
            break;
        case Rule::Bright:
            for (int i = 0; i < count; ++i)
                s[i] = s[i] > 0.0f ? s[i] : 0.0f;
            break;
        case Rule::Dark:
            for (int i = 0; i < count; ++i)
                s[i] = -s[i] > 0.0f ? -s[i] : 0.0f;
            break;
        }
        return;
    }
    // A switch during this frame: finish in column order, reading on from the changed pixel.
    for (int k = 0; k < count; ++k) {
        const int x = k / h, y = k % h;
        if (k >= firstChange)
            current = readRule(signedDifference, brightObject);
        else
            current = first;
        float *cell = s + size_t(y) * w + x;
        *cell = apply(current, *cell);
    }
}

// The summed table, in place: S(x, y) = S(x-1, y) + S(x, y-1) - S(x-1, y-1) + v, with the
// first row and column summed along themselves. Each sum takes the same operands in the same
// order whatever order the cells are visited in, as long as its left, upper and upper-left
// neighbours are final; so the table is bit for bit the one a column-by-column fill gives.
// The interior is visited in bands of rows, each row one column behind the row above it:
// the eight running sums are independent, which keeps the adder busy instead of waiting for
// one long chain.
void BackgroundModel::integrate()
{
    float *s = summed.data();
    if (w == 0 || h == 0)
        return;
    for (int x = 1; x < w; ++x)
        s[x] = s[x] + s[x - 1];
    for (int y = 1; y < h; ++y)
        s[y * w] = s[y * w] + s[(y - 1) * w];

    constexpr int band = 8;
    for (int y0 = 1; y0 < h; y0 += band) {
        const int rows = std::min(band, h - y0);
        float *row[band];
        for (int r = 0; r < rows; ++r)
            row[r] = s + size_t(y0 + r) * w;
        // Step t handles column t - r of row r.
        for (int t = 1; t < w + rows - 1; ++t) {
            for (int r = 0; r < rows; ++r) {
                const int x = t - r;
                if (x < 1 || x >= w)
                    continue;
                float *cell = row[r] + x;
                *cell = cell[-1] + cell[-w] - cell[-w - 1] + *cell;
            }
        }
    }
}

// Rows of box means with the same expression as boxMean(): the divisions of a row are
// independent and run side by side.
void BackgroundModel::computeBoxMeans()
{
    const float *s = summed.data();
    float *m = means.data();
    const float area2 = windowArea;
    for (int y = half + 1; y <= h - half - 1; ++y) {
        const float *bottom = s + size_t(y + half) * w;
        const float *top = s + size_t(y - half - 1) * w;
        float *out = m + size_t(y) * w;
        for (int x = half + 1; x <= w - half - 1; ++x)
            out[x] = (bottom[x + half] - bottom[x - half - 1] - top[x + half] + top[x - half - 1])
                / area2;
    }
}
