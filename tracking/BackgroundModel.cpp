#include "tracking/BackgroundModel.h"

#include "tracking/FlagReads.h"

#include <algorithm>
#include <atomic>
#include <cmath>

// The row passes are built for AVX2 as well, picked when the program loads. ThreadSanitizer
// cannot run the resolvers that pick them (they run before its runtime is up), so its build
// keeps the plain version.
#if defined(__SANITIZE_THREAD__)
#define POND_ROW_CLONES
#else
#define POND_ROW_CLONES __attribute__((target_clones("avx2", "default")))
#endif

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

namespace {

enum class Rule { Unsigned, Bright, Dark };
// What a row pass stores as the difference value: d itself, for a rule applied afterwards,
// or v under one rule for every pixel of the frame.
enum class RowRule { Plain, Unsigned, Bright, Dark };

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

// The per-pixel steps of one row, each pixel on its own: background = beta * background, then
// alpha * grey + background; d = grey - background (against the updated background); then
// the difference rule. Products and sums are rounded one by one (no fused multiply-add), so
// vector and scalar code give the same bits. Built for AVX2 as well, picked at load time on
// processors that have it; the arithmetic is the same.
template <RowRule rule>
inline void backgroundAndDifference(const float *__restrict g, float *__restrict b,
    float *__restrict s, int n, float alpha, float beta)
{
    for (int x = 0; x < n; ++x) {
        float bg = beta * b[x];
        bg = alpha * g[x] + bg;
        b[x] = bg;
        const float d = g[x] - bg;
        if constexpr (rule == RowRule::Plain)
            s[x] = d;
        else if constexpr (rule == RowRule::Unsigned)
            s[x] = std::fabs(d);
        else if constexpr (rule == RowRule::Bright)
            s[x] = d > 0.0f ? d : 0.0f;
        else
            s[x] = -d > 0.0f ? -d : 0.0f;
    }
}

POND_ROW_CLONES void rowFromGrey(const float *g, float *b,
    float *s, int n, float alpha, float beta, RowRule rule)
{
    switch (rule) {
    case RowRule::Plain:
        return backgroundAndDifference<RowRule::Plain>(g, b, s, n, alpha, beta);
    case RowRule::Unsigned:
        return backgroundAndDifference<RowRule::Unsigned>(g, b, s, n, alpha, beta);
    case RowRule::Bright:
        return backgroundAndDifference<RowRule::Bright>(g, b, s, n, alpha, beta);
    case RowRule::Dark:
        return backgroundAndDifference<RowRule::Dark>(g, b, s, n, alpha, beta);
    }
}

// Grey levels (qGray: (11 R + 16 G + 5 B) / 32) of n packed RGB pixels.
template <RowRule rule>
inline void fromRgb(const uchar *__restrict p, float *__restrict g, float *__restrict b,
    float *__restrict s, int n, float alpha, float beta)
{
    for (int x = 0; x < n; ++x) {
        const unsigned sum = unsigned(p[3 * x]) * 11u + unsigned(p[3 * x + 1]) * 16u
            + unsigned(p[3 * x + 2]) * 5u;
        g[x] = float(int(sum >> 5));
    }
    backgroundAndDifference<rule>(g, b, s, n, alpha, beta);
}

POND_ROW_CLONES void rowFromRgb(const uchar *p, float *g,
    float *b, float *s, int n, float alpha, float beta, RowRule rule)
{
    switch (rule) {
    case RowRule::Plain:
        return fromRgb<RowRule::Plain>(p, g, b, s, n, alpha, beta);
    case RowRule::Unsigned:
        return fromRgb<RowRule::Unsigned>(p, g, b, s, n, alpha, beta);
    case RowRule::Bright:
        return fromRgb<RowRule::Bright>(p, g, b, s, n, alpha, beta);
    case RowRule::Dark:
        return fromRgb<RowRule::Dark>(p, g, b, s, n, alpha, beta);
    }
}

} // namespace

// The difference rule is read for every pixel, column by column, so a mode switched during the
// frame applies from the next pixel, and columns already passed keep the old rule. Reading the
// two flags costs little; walking the planes column by column costs a cache miss a pixel. So
// the reads come first, in that order, and find the first block of pixels in which the rule
// read differs from the first pixel's (almost never). The row passes then apply the first
// rule to the whole frame; or, after a switch, they leave d, and applyDifferenceRule gives
// every pixel from that block on the rule read anew at its turn. Reading a block's flags
// again is as if those reads had come a moment later: the outcome is one that reading once
// per pixel can give.
int BackgroundModel::readDifferenceRule(const TrackingControls &controls, int *firstRule) const
{
    const std::atomic<bool> &signedDifference = controls.signedDifference;
    const std::atomic<bool> &brightObject = controls.brightObject;
    const int count = w * h;
    const Rule first = readRule(signedDifference, brightObject);
    *firstRule = int(first);
    // Per pixel one or two loads and an or. (Reading the bright choice while the difference
    // is unsigned, which the rule ignores, changes nothing.)
    if (first == Rule::Unsigned)
        return flagreads::firstDifferingBlock(1, count,
            [&] { return unsigned(signedDifference.load(std::memory_order_relaxed)); });
    const unsigned brightFirst = first == Rule::Bright;
    return flagreads::firstDifferingBlock(1, count, [&] {
        return (unsigned(signedDifference.load(std::memory_order_relaxed)) ^ 1u)
            | (unsigned(brightObject.load(std::memory_order_relaxed)) ^ brightFirst);
    });
}

// Grey levels of the area's pixels (qGray: (11 R + 16 G + 5 B) / 32), the background update and
// the difference, row by row. Parts of the area outside the frame read as 0, as
// QImage::pixel gives for a coordinate out of range.
void BackgroundModel::rowPasses(
    const QImage *frame, float alpha, float beta, int rule, int yBegin, int yEnd)
{
    const bool bytes = frame->format() == QImage::Format_RGB888;
    const RowRule rowRule = RowRule(rule);

    const int x1 = area.left(), y1 = area.top();
    const int colBegin = std::clamp(-x1, 0, w);
    const int colEnd = std::clamp(frame->width() - x1, colBegin, w);
    for (int y = yBegin; y < yEnd; ++y) {
        float *out = grey.data() + size_t(y) * w;
        float *bg = background.data() + size_t(y) * w;
        float *diff = summed.data() + size_t(y) * w;
        const int fy = y1 + y;
        const bool rowInFrame = fy >= 0 && fy < frame->height() && colBegin != colEnd;
        if (rowInFrame && bytes && colBegin == 0 && colEnd == w) {
            rowFromRgb(frame->constScanLine(fy) + 3 * x1, out, bg, diff, w, alpha, beta, rowRule);
            continue;
        }
        if (!rowInFrame) {
            std::fill(out, out + w, 0.0f);
        } else {
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
        rowFromGrey(out, bg, diff, w, alpha, beta, rowRule);
    }
}

bool BackgroundModel::update(const QImage &input, const TrackingControls &controls)
{
    bool completed = false;
    if (n < framesToAverage) {
        ++n;
        completed = n == framesToAverage;
    }
    // The weights as the nearest floats to 1/n and 1 - 1/n.
    const float alpha = float(1.0 / n);
    const float beta = float(1.0 - 1.0 / n);
    if (w == 0 || h == 0)
        return completed;

    QImage converted;
    const QImage *frame = &input;
    const QImage::Format format = input.format();
    if (format != QImage::Format_RGB888 && format != QImage::Format_RGB32
        && format != QImage::Format_ARGB32) {
        // The decoder delivers RGB888; anything else is converted once for the frame.
        converted = input.convertToFormat(QImage::Format_RGB32);
        frame = &converted;
    }

    int firstRule = 0;
    const int firstChange = readDifferenceRule(controls, &firstRule);
    if (firstChange >= 0) {
        // A switch during the frame: d for every pixel, then the rule in column order from the
        // first pixel read under another one, then the sums.
        rowPasses(frame, alpha, beta, int(RowRule::Plain), 0, h);
        applyDifferenceRule(controls, firstRule, firstChange);
        integrateRows(0, h);
        computeBoxMeans(half + 1, h - half - 1);
        return completed;
    }

    // One rule for the whole frame. Each band of rows goes through all the passes while its
    // planes are still in the cache: grey, background and difference, the sums, and the box
    // means whose windows the band completes.
    constexpr int band = 16;
    int nextMeanRow = half + 1;
    for (int y0 = 0; y0 < h; y0 += band) {
        const int y1 = std::min(h, y0 + band);
        rowPasses(frame, alpha, beta, 1 + firstRule, y0, y1);
        integrateRows(y0, y1);
        const int lastMeanRow = std::min(h - half - 1, y1 - 1 - half);
        if (lastMeanRow >= nextMeanRow) {
            computeBoxMeans(nextMeanRow, lastMeanRow);
            nextMeanRow = lastMeanRow + 1;
        }
    }
    return completed;
}

// A switch during this frame: each pixel in column order gets the rule read at its turn,
// the first rule up to firstChange, then the flags are read on.
void BackgroundModel::applyDifferenceRule(
    const TrackingControls &controls, int firstRule, int firstChange)
{
    const std::atomic<bool> &signedDifference = controls.signedDifference;
    const std::atomic<bool> &brightObject = controls.brightObject;
    const int count = w * h;
    float *s = summed.data();
    for (int k = 0; k < count; ++k) {
        const int x = k / h, y = k % h;
        const Rule current
            = k >= firstChange ? readRule(signedDifference, brightObject) : Rule(firstRule);
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
void BackgroundModel::integrateRows(int yBegin, int yEnd)
{
    float *s = summed.data();
    if (w == 0 || yBegin >= yEnd)
        return;
    if (yBegin == 0) {
        for (int x = 1; x < w; ++x)
            s[x] = s[x] + s[x - 1];
        yBegin = 1;
    }
    for (int y = yBegin; y < yEnd; ++y)
        s[y * w] = s[y * w] + s[(y - 1) * w];

    constexpr int band = 8;
    for (int y0 = yBegin; y0 < yEnd; y0 += band) {
        const int rows = std::min(band, yEnd - y0);
        float *row[band] = {};
        for (int r = 0; r < rows; ++r)
            row[r] = s + size_t(y0 + r) * w;
        // Step t handles column t - r of row r.
        auto step = [&](int t) {
            for (int r = 0; r < rows; ++r) {
                const int x = t - r;
                if (x < 1 || x >= w)
                    continue;
                float *cell = row[r] + x;
                *cell = cell[-1] + cell[-w] - cell[-w - 1] + *cell;
            }
        };
        if (rows < band) {
            for (int t = 1; t < w + rows - 1; ++t)
                step(t);
            continue;
        }
        // Full bands: every row has a column to do from step band to step w - 1.
        int t = 1;
        for (; t < std::min(band, w); ++t)
            step(t);
        for (; t < w; ++t) {
            for (int r = 0; r < band; ++r) {
                float *cell = row[r] + (t - r);
                *cell = cell[-1] + cell[-w] - cell[-w - 1] + *cell;
            }
        }
        for (; t < w + rows - 1; ++t)
            step(t);
    }
}

// Rows of box means with the same expression as boxMean(): the divisions of a row are
// independent and run side by side.
void BackgroundModel::computeBoxMeans(int yBegin, int yEnd)
{
    const float *s = summed.data();
    float *m = means.data();
    const float area2 = windowArea;
    for (int y = yBegin; y <= yEnd; ++y) {
        const float *bottom = s + size_t(y + half) * w;
        const float *top = s + size_t(y - half - 1) * w;
        float *out = m + size_t(y) * w;
        for (int x = half + 1; x <= w - half - 1; ++x)
            out[x] = (bottom[x + half] - bottom[x - half - 1] - top[x + half] + top[x - half - 1])
                / area2;
    }
}
