#include "tracking/BackgroundModel.h"

#include "tracking/FlagReads.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

// Some row passes are built for AVX2 as well, picked when the program loads. ThreadSanitizer
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
    grey.clear();
    greyComputed = false;
    lastFrame = QImage();
    greyScratch.assign(size_t(w), 0.0f);
    background.assign(count, 0.0f);
    summed.assign(count, 0.0f);
    means.assign(count, 0.0f);
    meansCurrent = true;
    bandMeans.assign(size_t(meanBand) * size_t(w), 0.0f);
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
template<RowRule rule>
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

POND_ROW_CLONES void rowFromGrey(
    const float *g, float *b, float *s, int n, float alpha, float beta, RowRule rule)
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

// Grey levels (qGray: (11 R + 16 G + 5 B) / 32) of n packed RGB pixels, into g.
inline void greyFromRgb(const uchar *__restrict p, float *__restrict g, int n)
{
    for (int x = 0; x < n; ++x) {
        const unsigned sum
            = unsigned(p[3 * x]) * 11u + unsigned(p[3 * x + 1]) * 16u + unsigned(p[3 * x + 2]) * 5u;
        g[x] = float(int(sum >> 5));
    }
}

// A whole row from packed RGB: grey levels into the scratch row g, then the background and the
// difference.
template<RowRule rule>
inline void fromRgb(const uchar *__restrict p, float *__restrict g, float *__restrict b,
    float *__restrict s, int n, float alpha, float beta)
{
    greyFromRgb(p, g, n);
    backgroundAndDifference<rule>(g, b, s, n, alpha, beta);
}

void rowFromRgbDefault(
    const uchar *p, float *g, float *b, float *s, int n, float alpha, float beta, RowRule rule)
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

#if defined(__x86_64__) || defined(__i386__)
// The same row with AVX2, eight pixels at a time, the grey levels kept in a register. Grey:
// a byte shuffle puts each pixel's R, G, B in a 32-bit lane, multiply-and-add of adjacent
// bytes and then of adjacent 16-bit sums gives 11 R + 16 G + 5 B exactly, shifted right by 5.
// The float steps are those of backgroundAndDifference, one rounding each, in the same order;
// max(x, +0) gives +0 where x > 0 fails, as the scalar rule does. Eight pixels read 28 bytes,
// so the vector loop stops where that would pass the row's end.
template<RowRule rule>
__attribute__((target("avx2"))) void fromRgbAvx2(const uchar *__restrict p, float *__restrict g,
    float *__restrict b, float *__restrict s, int n, float alpha, float beta)
{
    const __m256i pick = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1, 0,
        1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m256i rgbWeights = _mm256_setr_epi8(11, 16, 5, 0, 11, 16, 5, 0, 11, 16, 5, 0, 11, 16, 5,
        0, 11, 16, 5, 0, 11, 16, 5, 0, 11, 16, 5, 0, 11, 16, 5, 0);
    const __m256i ones = _mm256_set1_epi16(1);
    const __m256 a = _mm256_set1_ps(alpha), be = _mm256_set1_ps(beta);
    const __m256 zero = _mm256_setzero_ps();
    const __m256 signBit = _mm256_set1_ps(-0.0f);
    int x = 0;
    for (; 3 * x + 28 <= 3 * n; x += 8) {
        const uchar *q = p + 3 * x;
        const __m256i bytes = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i *>(q))),
            _mm_loadu_si128(reinterpret_cast<const __m128i *>(q + 12)), 1);
        const __m256i pairs = _mm256_maddubs_epi16(_mm256_shuffle_epi8(bytes, pick), rgbWeights);
        const __m256i sums = _mm256_madd_epi16(pairs, ones);
        const __m256 grey = _mm256_cvtepi32_ps(_mm256_srli_epi32(sums, 5));
        __m256 bg = _mm256_mul_ps(be, _mm256_loadu_ps(b + x));
        bg = _mm256_add_ps(_mm256_mul_ps(a, grey), bg);
        _mm256_storeu_ps(b + x, bg);
        const __m256 d = _mm256_sub_ps(grey, bg);
        __m256 v;
        if constexpr (rule == RowRule::Plain)
            v = d;
        else if constexpr (rule == RowRule::Unsigned)
            v = _mm256_andnot_ps(signBit, d);
        else if constexpr (rule == RowRule::Bright)
            v = _mm256_max_ps(d, zero);
        else
            v = _mm256_max_ps(_mm256_xor_ps(d, signBit), zero);
        _mm256_storeu_ps(s + x, v);
    }
    fromRgb<rule>(p + 3 * x, g + x, b + x, s + x, n - x, alpha, beta);
}

__attribute__((target("avx2"))) void rowFromRgbAvx2(
    const uchar *p, float *g, float *b, float *s, int n, float alpha, float beta, RowRule rule)
{
    switch (rule) {
    case RowRule::Plain:
        return fromRgbAvx2<RowRule::Plain>(p, g, b, s, n, alpha, beta);
    case RowRule::Unsigned:
        return fromRgbAvx2<RowRule::Unsigned>(p, g, b, s, n, alpha, beta);
    case RowRule::Bright:
        return fromRgbAvx2<RowRule::Bright>(p, g, b, s, n, alpha, beta);
    case RowRule::Dark:
        return fromRgbAvx2<RowRule::Dark>(p, g, b, s, n, alpha, beta);
    }
}
#endif

// Grey levels, background and difference of one row of packed RGB pixels; g is scratch room for
// n grey levels.
void rowFromRgb(
    const uchar *p, float *g, float *b, float *s, int n, float alpha, float beta, RowRule rule)
{
#if defined(__x86_64__) || defined(__i386__)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2)
        return rowFromRgbAvx2(p, g, b, s, n, alpha, beta, rule);
#endif
    rowFromRgbDefault(p, g, b, s, n, alpha, beta, rule);
}

// One row of box means, columns half + 1 ... w - half - 1, from the summed table's rows below
// (bottom) and above (top) the windows.
POND_ROW_CLONES void boxMeanRow(
    const float *bottom, const float *top, float *out, int half, int w, float windowArea)
{
    for (int x = half + 1; x <= w - half - 1; ++x)
        out[x] = (bottom[x + half] - bottom[x - half - 1] - top[x + half] + top[x - half - 1])
            / windowArea;
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
        return flagreads::firstDifferingBlock(
            1, count, [&] { return unsigned(signedDifference.load(std::memory_order_relaxed)); });
    const unsigned brightFirst = first == Rule::Bright;
    return flagreads::firstDifferingBlock(1, count, [&] {
        return (unsigned(signedDifference.load(std::memory_order_relaxed)) ^ 1u)
            | (unsigned(brightObject.load(std::memory_order_relaxed)) ^ brightFirst);
    });
}

// Grey levels of row y of the area (qGray: (11 R + 16 G + 5 B) / 32) into out, from a frame in
// RGB888, RGB32 or ARGB32. Parts of the area outside the frame read as 0, as QImage::pixel
// gives for a coordinate out of range.
void BackgroundModel::greyRow(const QImage &frame, int y, float *out) const
{
    const bool bytes = frame.format() == QImage::Format_RGB888;
    const int x1 = area.left();
    const int colBegin = std::clamp(-x1, 0, w);
    const int colEnd = std::clamp(frame.width() - x1, colBegin, w);
    const int fy = area.top() + y;
    if (fy < 0 || fy >= frame.height() || colBegin == colEnd) {
        std::fill(out, out + w, 0.0f);
        return;
    }
    std::fill(out, out + colBegin, 0.0f);
    std::fill(out + colEnd, out + w, 0.0f);
    const uchar *line = frame.constScanLine(fy);
    if (bytes) {
        greyFromRgb(line + 3 * (x1 + colBegin), out + colBegin, colEnd - colBegin);
    } else {
        const QRgb *p = reinterpret_cast<const QRgb *>(line) + (x1 + colBegin);
        for (int x = colBegin; x < colEnd; ++x, ++p)
            out[x] = float(qGray(*p));
    }
}

// Grey levels, the background update and the difference, row by row. The grey levels of a row
// are needed only for that row's background and difference, so they go to one scratch row.
void BackgroundModel::rowPasses(
    const QImage *frame, float alpha, float beta, int rule, int yBegin, int yEnd)
{
    const bool bytes = frame->format() == QImage::Format_RGB888;
    const RowRule rowRule = RowRule(rule);
    const bool wholeRows = area.left() >= 0 && area.left() + w <= frame->width();
    float *g = greyScratch.data();
    for (int y = yBegin; y < yEnd; ++y) {
        float *bg = background.data() + size_t(y) * w;
        float *diff = summed.data() + size_t(y) * w;
        const int fy = area.top() + y;
        if (bytes && wholeRows && fy >= 0 && fy < frame->height()) {
            rowFromRgb(
                frame->constScanLine(fy) + 3 * area.left(), g, bg, diff, w, alpha, beta, rowRule);
            continue;
        }
        greyRow(*frame, y, g);
        rowFromGrey(g, bg, diff, w, alpha, beta, rowRule);
    }
}

const std::vector<float> &BackgroundModel::greyPlane() const
{
    if (!greyComputed) {
        grey.assign(size_t(w) * size_t(h), 0.0f);
        if (!lastFrame.isNull())
            for (int y = 0; y < h; ++y)
                greyRow(lastFrame, y, grey.data() + size_t(y) * w);
        greyComputed = true;
    }
    return grey;
}

bool BackgroundModel::update(
    const QImage &input, const TrackingControls &controls, const MeanRows &meanRows)
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
    // Shares the picture's data; the grey plane is made from it only when asked for.
    lastFrame = *frame;
    greyComputed = false;

    int firstRule = 0;
    const int firstChange = readDifferenceRule(controls, &firstRule);
    if (firstChange >= 0) {
        // A switch during the frame: d for every pixel, then the rule in column order from the
        // first pixel read under another one, then the sums.
        rowPasses(frame, alpha, beta, int(RowRule::Plain), 0, h);
        applyDifferenceRule(controls, firstRule, firstChange);
        integrateRows(0, h);
        computeBoxMeans(half + 1, h - half - 1, means.data() + size_t(half + 1) * w);
        meansCurrent = true;
        if (meanRows && h - half - 1 >= half + 1)
            meanRows(half + 1, h - half - 1, means.data() + size_t(half + 1) * w);
        return completed;
    }

    // One rule for the whole frame. Each band of rows goes through all the passes while its
    // planes are still in the cache: grey, background and difference, the sums, and the box
    // means whose windows the band completes.
    constexpr int band = meanBand;
    meansCurrent = !meanRows;
    int nextMeanRow = half + 1;
    for (int y0 = 0; y0 < h; y0 += band) {
        const int y1 = std::min(h, y0 + band);
        rowPasses(frame, alpha, beta, 1 + firstRule, y0, y1);
        integrateRows(y0, y1);
        const int lastMeanRow = std::min(h - half - 1, y1 - 1 - half);
        if (lastMeanRow >= nextMeanRow) {
            // A band completes at most `band` rows of means.
            if (meanRows) {
                computeBoxMeans(nextMeanRow, lastMeanRow, bandMeans.data());
                meanRows(nextMeanRow, lastMeanRow, bandMeans.data());
            } else {
                computeBoxMeans(nextMeanRow, lastMeanRow, means.data() + size_t(nextMeanRow) * w);
            }
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
        if (t < w) {
            // The sums just made stay in registers: at step t, left[r] is row r's sum at
            // column t - r - 1, which is the upper sum of row r + 1, and upperLeft[r] the one
            // before it. Rows go from the bottom up, so that row r + 1 reads its upper
            // neighbours before row r replaces them. Row 0 reads the row above the band.
            float left[band], upperLeft[band];
            for (int r = 0; r < band; ++r) {
                left[r] = row[r][t - r - 1];
                upperLeft[r] = t - r - 2 >= 0 ? row[r][t - r - 2] : 0.0f; // unused for the last
            }
            const float *above = row[0] - w;
            for (; t < w; ++t) {
#pragma GCC unroll 8
                for (int r = band - 1; r >= 1; --r) {
                    float *cell = row[r] + (t - r);
                    const float sum = left[r] + left[r - 1] - upperLeft[r - 1] + *cell;
                    upperLeft[r] = left[r];
                    left[r] = sum;
                    *cell = sum;
                }
                float *cell = row[0] + t;
                const float sum = left[0] + above[t] - above[t - 1] + *cell;
                upperLeft[0] = left[0];
                left[0] = sum;
                *cell = sum;
            }
        }
        for (; t < w + rows - 1; ++t)
            step(t);
    }
}

// Rows of box means with the same expression as boxMean(): the divisions of a row are
// independent and run side by side.
void BackgroundModel::computeBoxMeans(int yBegin, int yEnd, float *out) const
{
    const float *s = summed.data();
    for (int y = yBegin; y <= yEnd; ++y)
        boxMeanRow(s + size_t(y + half) * w, s + size_t(y - half - 1) * w,
            out + size_t(y - yBegin) * w, half, w, windowArea);
}

const float *BackgroundModel::boxMeans() const
{
    if (!meansCurrent) {
        if (h - half - 1 >= half + 1)
            computeBoxMeans(half + 1, h - half - 1, means.data() + size_t(half + 1) * w);
        meansCurrent = true;
    }
    return means.data();
}
