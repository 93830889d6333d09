// The kernels with AVX2, eight pixels a register; each finishes its row's tail with the plain
// kernel. Every lane does the plain kernel's arithmetic in the same order, one rounding per
// step, so the bits are the same. Built for AVX2 function by function (the rest of the program
// is not), and offered only on processors that have it.

#include "tracking/classic/kernels/Avx2Kernels.h"

#include "tracking/classic/kernels/PlainKernels.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include <algorithm>
#include <cfloat>
#include <cstring>

#define POND_AVX2 __attribute__((target("avx2")))

namespace {

// Grey levels of eight packed RGB pixels (24 bytes, 28 read): a byte shuffle puts each pixel's
// R, G, B in a 32-bit lane, multiply-and-add of adjacent bytes and then of adjacent 16-bit
// sums gives 11 R + 16 G + 5 B exactly, shifted right by 5.
POND_AVX2 inline __m256 greyOfEight(const uchar *q)
{
    const __m256i pick = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1, 0,
        1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m256i weights = _mm256_setr_epi8(11, 16, 5, 0, 11, 16, 5, 0, 11, 16, 5, 0, 11, 16, 5, 0,
        11, 16, 5, 0, 11, 16, 5, 0, 11, 16, 5, 0, 11, 16, 5, 0);
    const __m256i bytes = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i *>(q))),
        _mm_loadu_si128(reinterpret_cast<const __m128i *>(q + 12)), 1);
    const __m256i pairs = _mm256_maddubs_epi16(_mm256_shuffle_epi8(bytes, pick), weights);
    const __m256i sums = _mm256_madd_epi16(pairs, _mm256_set1_epi16(1));
    return _mm256_cvtepi32_ps(_mm256_srli_epi32(sums, 5));
}

// The rule on eight values of d: max(x, +0) gives +0 where x > 0 fails, as the plain rule does.
template<DifferenceRule rule> POND_AVX2 inline __m256 ruleOf(__m256 d)
{
    const __m256 signBit = _mm256_set1_ps(-0.0f);
    if constexpr (rule == DifferenceRule::Keep)
        return d;
    else if constexpr (rule == DifferenceRule::Unsigned)
        return _mm256_andnot_ps(signBit, d);
    else if constexpr (rule == DifferenceRule::Bright)
        return _mm256_max_ps(d, _mm256_setzero_ps());
    else
        return _mm256_max_ps(_mm256_xor_ps(d, signBit), _mm256_setzero_ps());
}

POND_AVX2 void greyFromRgb(const uchar *rgb, float *grey, int n)
{
    int x = 0;
    // Eight pixels read 28 bytes: the loop stops where that would pass the row's end.
    for (; 3 * x + 28 <= 3 * n; x += 8)
        _mm256_storeu_ps(grey + x, greyOfEight(rgb + 3 * x));
    if (x + 8 <= n) {
        uchar last[32] = {};
        std::memcpy(last, rgb + 3 * x, 24);
        _mm256_storeu_ps(grey + x, greyOfEight(last));
        x += 8;
    }
    plainkernels::greyFromRgb(rgb + 3 * x, grey + x, n - x);
}

POND_AVX2 void greyFromXrgb(const QRgb *pixels, float *grey, int n)
{
    // Bytes B, G, R, A in memory: 5 B + 16 G and 11 R + 0 A, then their sum.
    const __m256i weights = _mm256_setr_epi8(5, 16, 11, 0, 5, 16, 11, 0, 5, 16, 11, 0, 5, 16, 11, 0,
        5, 16, 11, 0, 5, 16, 11, 0, 5, 16, 11, 0, 5, 16, 11, 0);
    int x = 0;
    for (; x + 8 <= n; x += 8) {
        const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(pixels + x));
        const __m256i sums
            = _mm256_madd_epi16(_mm256_maddubs_epi16(p, weights), _mm256_set1_epi16(1));
        _mm256_storeu_ps(grey + x, _mm256_cvtepi32_ps(_mm256_srli_epi32(sums, 5)));
    }
    plainkernels::greyFromXrgb(pixels + x, grey + x, n - x);
}

// background = beta * background, then alpha * grey + background; d = grey - background.
POND_AVX2 inline __m256 updateEight(__m256 grey, float *background, __m256 alpha, __m256 beta)
{
    __m256 bg = _mm256_mul_ps(beta, _mm256_loadu_ps(background));
    bg = _mm256_add_ps(_mm256_mul_ps(alpha, grey), bg);
    _mm256_storeu_ps(background, bg);
    return _mm256_sub_ps(grey, bg);
}

template<DifferenceRule rule>
POND_AVX2 void update(
    const float *grey, float *background, float *difference, int n, float alpha, float beta)
{
    const __m256 a = _mm256_set1_ps(alpha), b = _mm256_set1_ps(beta);
    int x = 0;
    for (; x + 8 <= n; x += 8)
        _mm256_storeu_ps(difference + x,
            ruleOf<rule>(updateEight(_mm256_loadu_ps(grey + x), background + x, a, b)));
    plainkernels::updateBackground(
        grey + x, background + x, difference + x, n - x, alpha, beta, rule);
}

template<DifferenceRule rule>
POND_AVX2 void updateFromRgb(
    const uchar *rgb, float *background, float *difference, int n, float alpha, float beta)
{
    const __m256 a = _mm256_set1_ps(alpha), b = _mm256_set1_ps(beta);
    int x = 0;
    for (; 3 * x + 28 <= 3 * n; x += 8)
        _mm256_storeu_ps(difference + x,
            ruleOf<rule>(updateEight(greyOfEight(rgb + 3 * x), background + x, a, b)));
    if (x + 8 <= n) {
        // The row's last eight whole pixels, from a copy with room for the 28-byte read.
        uchar last[32] = {};
        std::memcpy(last, rgb + 3 * x, 24);
        _mm256_storeu_ps(
            difference + x, ruleOf<rule>(updateEight(greyOfEight(last), background + x, a, b)));
        x += 8;
    }
    plainkernels::updateBackgroundFromRgb(
        rgb + 3 * x, background + x, difference + x, n - x, alpha, beta, rule);
}

POND_AVX2 void updateBackground(const float *grey, float *background, float *difference, int n,
    float alpha, float beta, DifferenceRule rule)
{
    withRule(rule,
        [&](auto r) { update<decltype(r)::value>(grey, background, difference, n, alpha, beta); });
}

POND_AVX2 void updateBackgroundFromRgb(const uchar *rgb, float *background, float *difference,
    int n, float alpha, float beta, DifferenceRule rule)
{
    withRule(rule, [&](auto r) {
        updateFromRgb<decltype(r)::value>(rgb, background, difference, n, alpha, beta);
    });
}

template<DifferenceRule rule> POND_AVX2 void applyRule(float *difference, int n)
{
    int x = 0;
    for (; x + 8 <= n; x += 8)
        _mm256_storeu_ps(difference + x, ruleOf<rule>(_mm256_loadu_ps(difference + x)));
    plainkernels::applyDifferenceRule(difference + x, n - x, rule);
}

POND_AVX2 void applyDifferenceRule(float *difference, int n, DifferenceRule rule)
{
    withRule(rule, [&](auto r) {
        if constexpr (decltype(r)::value != DifferenceRule::Keep)
            applyRule<decltype(r)::value>(difference, n);
    });
}

// The summed table has one long chain of sums per row. Each sum takes the same operands in
// the same order whatever order the cells are visited in, as long as its left, upper and
// upper-left neighbours are final; so the rows are visited in bands, each row `skew` columns
// behind the row above it, and the rows' running sums are independent, which keeps the adder
// busy instead of waiting on one chain.

// Step t of a band does column t - skew r of each row r that has one (column 0 is done
// already).
inline void diagonalStep(float *const *row, int rows, int w, int t, int skew = 1)
{
    for (int r = 0; r < rows; ++r) {
        const int x = t - skew * r;
        if (x < 1 || x >= w)
            continue;
        float *cell = row[r] + x;
        *cell = cell[-1] + cell[-w] - cell[-w - 1] + *cell;
    }
}

// A band of up to eight rows, one sum at a time.
POND_AVX2 void scalarBand(float *const *row, int rows, int w)
{
    constexpr int band = 8;
    if (rows < band) {
        for (int t = 1; t < w + rows - 1; ++t)
            diagonalStep(row, rows, w, t);
        return;
    }
    // Full bands: every row has a column to do from step band to step w - 1.
    int t = 1;
    for (; t < std::min(band, w); ++t)
        diagonalStep(row, rows, w, t);
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
        diagonalStep(row, rows, w, t);
}

// Transposes the 4 x 4 blocks in each 128-bit half of v[0 ... 3] and of v[4 ... 7].
POND_AVX2 inline void transposeHalves(__m256 v[8])
{
    for (int k = 0; k < 8; k += 4) {
        const __m256 t0 = _mm256_unpacklo_ps(v[k], v[k + 1]);
        const __m256 t1 = _mm256_unpackhi_ps(v[k], v[k + 1]);
        const __m256 t2 = _mm256_unpacklo_ps(v[k + 2], v[k + 3]);
        const __m256 t3 = _mm256_unpackhi_ps(v[k + 2], v[k + 3]);
        v[k] = _mm256_shuffle_ps(t0, t2, 0x44);
        v[k + 1] = _mm256_shuffle_ps(t0, t2, 0xee);
        v[k + 2] = _mm256_shuffle_ps(t1, t3, 0x44);
        v[k + 3] = _mm256_shuffle_ps(t1, t3, 0xee);
    }
}

// cells[j], lane r: element j of the eight floats at p[r].
POND_AVX2 inline void loadTransposed(float *const *p, __m256 cells[8])
{
    for (int r = 0; r < 4; ++r) {
        cells[r] = _mm256_loadu2_m128(p[r + 4], p[r]);
        cells[r + 4] = _mm256_loadu2_m128(p[r + 4] + 4, p[r] + 4);
    }
    transposeHalves(cells);
}

// The inverse: the eight floats at p[r] become lane r of sums[0 ... 7].
POND_AVX2 inline void storeTransposed(float *const *p, __m256 sums[8])
{
    transposeHalves(sums);
    for (int r = 0; r < 4; ++r) {
        _mm256_storeu2_m128(p[r + 4], p[r], sums[r]);
        _mm256_storeu2_m128(p[r + 4] + 4, p[r] + 4, sums[r + 4]);
    }
}

// A band of sixteen rows, as two registers of eight rows (lane r of the first is row r, of
// the second row 8 + r), eight steps at a time, each row two columns behind the row above.
// At step t each lane needs its row's last sum (left), the sum above it, which the row above
// made two steps earlier (upper: those sums moved one lane down, the row above the band
// entering lane 0 of the first register and the first register's lane 7 entering the
// second's), and the upper sum of the step before (upper left). With the row above two steps
// ahead, moving its sums down is done while the step before is still adding: each step waits
// only on its own three sums. The cells of eight steps are eight diagonal runs, loaded as the
// rows' runs and transposed; the sums go back the same way. The triangles at the ends are done
// one sum at a time: the first up to the step where every row has a column.
constexpr int vectorBandRows = 16;
constexpr int vectorBandSkew = 2;
constexpr int vectorBandLag = vectorBandSkew * (vectorBandRows - 1); // of the last row
constexpr int vectorBandMinWidth = vectorBandLag + 9; // the triangle and eight steps

// Lane r: the sum row first + r made at that step (0 for a row that has made none yet).
POND_AVX2 inline __m256 sumsOfStep(float *const *row, int step, int first)
{
    float v[8];
    for (int r = 0; r < 8; ++r) {
        const int x = step - vectorBandSkew * (first + r);
        v[r] = x >= 0 ? row[first + r][x] : 0.0f;
    }
    return _mm256_loadu_ps(v);
}

// The upper sums of step t from the sums of step t - 2 (see above); lane 0 of the first
// register from the row above the band, at column t.
POND_AVX2 inline void upperSums(
    __m256 sumsA, __m256 sumsB, float aboveSum, __m256 *upperA, __m256 *upperB)
{
    const __m256i down = _mm256_setr_epi32(7, 0, 1, 2, 3, 4, 5, 6);
    const __m256 movedA = _mm256_permutevar8x32_ps(sumsA, down);
    *upperB = _mm256_blend_ps(_mm256_permutevar8x32_ps(sumsB, down), movedA, 1);
    *upperA = _mm256_blend_ps(movedA, _mm256_set1_ps(aboveSum), 1);
}

POND_AVX2 void vectorBand(float *const *row, int w)
{
    constexpr int rows = vectorBandRows, skew = vectorBandSkew;
    int t = 1;
    for (; t <= vectorBandLag; ++t)
        diagonalStep(row, rows, w, t, skew);
    const float *above = row[0] - w;
    __m256 leftA = sumsOfStep(row, t - 1, 0), leftB = sumsOfStep(row, t - 1, 8);
    __m256 earlierA = sumsOfStep(row, t - 2, 0), earlierB = sumsOfStep(row, t - 2, 8);
    __m256 upperLeftA, upperLeftB;
    upperSums(sumsOfStep(row, t - 3, 0), sumsOfStep(row, t - 3, 8), above[t - 1], &upperLeftA,
        &upperLeftB);
    for (; t + 8 <= w; t += 8) {
        float *runA[8], *runB[8];
        for (int r = 0; r < 8; ++r) {
            runA[r] = row[r] + (t - skew * r);
            runB[r] = row[8 + r] + (t - skew * (8 + r));
        }
        __m256 cellsA[8], cellsB[8];
        loadTransposed(runA, cellsA);
        loadTransposed(runB, cellsB);
        for (int j = 0; j < 8; ++j) {
            __m256 upperA, upperB;
            upperSums(earlierA, earlierB, above[t + j], &upperA, &upperB);
            earlierA = leftA;
            earlierB = leftB;
            leftA
                = _mm256_add_ps(_mm256_sub_ps(_mm256_add_ps(leftA, upperA), upperLeftA), cellsA[j]);
            leftB
                = _mm256_add_ps(_mm256_sub_ps(_mm256_add_ps(leftB, upperB), upperLeftB), cellsB[j]);
            upperLeftA = upperA;
            upperLeftB = upperB;
            cellsA[j] = leftA;
            cellsB[j] = leftB;
        }
        storeTransposed(runA, cellsA);
        storeTransposed(runB, cellsB);
    }
    for (; t < w + vectorBandLag; ++t)
        diagonalStep(row, rows, w, t, skew);
}

POND_AVX2 void summedRows(float *s, int w, int yBegin, int yEnd)
{
    if (w == 0 || yBegin >= yEnd)
        return;
    if (yBegin == 0) {
        for (int x = 1; x < w; ++x)
            s[x] = s[x] + s[x - 1];
        yBegin = 1;
    }
    for (int y = yBegin; y < yEnd; ++y)
        s[size_t(y) * w] = s[size_t(y) * w] + s[size_t(y - 1) * w];

    float *row[vectorBandRows] = {};
    for (int y0 = yBegin; y0 < yEnd;) {
        const bool wide = yEnd - y0 >= vectorBandRows && w >= vectorBandMinWidth;
        const int rows = wide ? vectorBandRows : std::min(8, yEnd - y0);
        for (int r = 0; r < rows; ++r)
            row[r] = s + size_t(y0 + r) * w;
        if (wide)
            vectorBand(row, w);
        else
            scalarBand(row, rows, w);
        y0 += rows;
    }
}

// The highest of eight lanes.
POND_AVX2 inline float highestLane(__m256 v)
{
    float lanes[8];
    _mm256_storeu_ps(lanes, v);
    float best = lanes[0];
    for (int i = 1; i < 8; ++i)
        best = std::max(best, lanes[i]);
    return best;
}

// The highest mean is kept on the way, so that the scan need not read the row again.
POND_AVX2 float boxMeanRow(
    const float *bottom, const float *top, float *out, int half, int w, float windowArea)
{
    const __m256 area = _mm256_set1_ps(windowArea);
    __m256 highest = _mm256_set1_ps(-FLT_MAX);
    int x = half + 1;
    for (; x + 7 <= w - half - 1; x += 8) {
        __m256 sum = _mm256_sub_ps(
            _mm256_loadu_ps(bottom + x + half), _mm256_loadu_ps(bottom + x - half - 1));
        sum = _mm256_sub_ps(sum, _mm256_loadu_ps(top + x + half));
        sum = _mm256_add_ps(sum, _mm256_loadu_ps(top + x - half - 1));
        const __m256 mean = _mm256_div_ps(sum, area);
        _mm256_storeu_ps(out + x, mean);
        highest = _mm256_max_ps(highest, mean);
    }
    const int tail = x;
    for (; x <= w - half - 1; ++x)
        out[x] = (bottom[x + half] - bottom[x - half - 1] - top[x + half] + top[x - half - 1])
            / windowArea;
    return std::max(highestLane(highest), plainkernels::highestValue(out, tail, w - half));
}

// The window sums of columns x ... x + 7, in the plain kernel's order.
POND_AVX2 inline __m256 boxSumsOfEight(const float *bottom, const float *top, int half, int x)
{
    __m256 sum
        = _mm256_sub_ps(_mm256_loadu_ps(bottom + x + half), _mm256_loadu_ps(bottom + x - half - 1));
    sum = _mm256_sub_ps(sum, _mm256_loadu_ps(top + x + half));
    return _mm256_add_ps(sum, _mm256_loadu_ps(top + x - half - 1));
}

// Two running maxima, so that the comparisons do not wait on each other.
POND_AVX2 float highestBoxSum(const float *bottom, const float *top, int half, int w)
{
    __m256 b0 = _mm256_set1_ps(-FLT_MAX), b1 = b0;
    const int last = w - half - 1;
    int x = half + 1;
    for (; x + 15 <= last; x += 16) {
        b0 = _mm256_max_ps(b0, boxSumsOfEight(bottom, top, half, x));
        b1 = _mm256_max_ps(b1, boxSumsOfEight(bottom, top, half, x + 8));
    }
    b0 = _mm256_max_ps(b0, b1);
    for (; x + 7 <= last; x += 8)
        b0 = _mm256_max_ps(b0, boxSumsOfEight(bottom, top, half, x));
    float best = highestLane(b0);
    for (; x <= last; ++x)
        best = std::max(
            best, bottom[x + half] - bottom[x - half - 1] - top[x + half] + top[x - half - 1]);
    return best;
}

// Four running maxima, so that the comparisons do not wait on each other. Each product is
// rounded as the plain one is; the maximum of values that are not NaN does not depend on the
// order they are compared in.
POND_AVX2 float highestScore(const float *mean, const float *weight, int begin, int end)
{
    int x = begin;
    __m256 b0 = _mm256_set1_ps(-FLT_MAX), b1 = b0, b2 = b0, b3 = b0;
    for (; x + 32 <= end; x += 32) {
        b0 = _mm256_max_ps(
            b0, _mm256_mul_ps(_mm256_loadu_ps(weight + x), _mm256_loadu_ps(mean + x)));
        b1 = _mm256_max_ps(
            b1, _mm256_mul_ps(_mm256_loadu_ps(weight + x + 8), _mm256_loadu_ps(mean + x + 8)));
        b2 = _mm256_max_ps(
            b2, _mm256_mul_ps(_mm256_loadu_ps(weight + x + 16), _mm256_loadu_ps(mean + x + 16)));
        b3 = _mm256_max_ps(
            b3, _mm256_mul_ps(_mm256_loadu_ps(weight + x + 24), _mm256_loadu_ps(mean + x + 24)));
    }
    b0 = _mm256_max_ps(_mm256_max_ps(b0, b1), _mm256_max_ps(b2, b3));
    for (; x + 8 <= end; x += 8)
        b0 = _mm256_max_ps(
            b0, _mm256_mul_ps(_mm256_loadu_ps(weight + x), _mm256_loadu_ps(mean + x)));
    return std::max(highestLane(b0), plainkernels::highestScore(mean, weight, x, end));
}

POND_AVX2 float highestValue(const float *values, int begin, int end)
{
    int x = begin;
    __m256 b0 = _mm256_set1_ps(-FLT_MAX), b1 = b0, b2 = b0, b3 = b0;
    for (; x + 32 <= end; x += 32) {
        b0 = _mm256_max_ps(b0, _mm256_loadu_ps(values + x));
        b1 = _mm256_max_ps(b1, _mm256_loadu_ps(values + x + 8));
        b2 = _mm256_max_ps(b2, _mm256_loadu_ps(values + x + 16));
        b3 = _mm256_max_ps(b3, _mm256_loadu_ps(values + x + 24));
    }
    b0 = _mm256_max_ps(_mm256_max_ps(b0, b1), _mm256_max_ps(b2, b3));
    for (; x + 8 <= end; x += 8)
        b0 = _mm256_max_ps(b0, _mm256_loadu_ps(values + x));
    return std::max(highestLane(b0), plainkernels::highestValue(values, x, end));
}

// Ordered comparisons: a NaN is no maximum and passes no threshold, as in the plain kernel.
POND_AVX2 int localMaxima(
    const float *row, int w, int xBegin, int xEnd, float threshold, int *columns)
{
    const __m256 limit = _mm256_set1_ps(threshold);
    int count = 0;
    int x = xBegin;
    for (; x + 7 <= xEnd; x += 8) {
        const float *mid = row + x;
        const __m256 m = _mm256_loadu_ps(mid);
        __m256 keep = _mm256_cmp_ps(m, limit, _CMP_GE_OQ);
        if (_mm256_movemask_ps(keep) == 0)
            continue;
        const float *up = mid - w, *down = mid + w;
        const float *neighbours[8]
            = { up - 1, up, up + 1, mid - 1, mid + 1, down - 1, down, down + 1 };
        for (const float *n : neighbours)
            keep = _mm256_and_ps(keep, _mm256_cmp_ps(m, _mm256_loadu_ps(n), _CMP_GT_OQ));
        for (unsigned mask = unsigned(_mm256_movemask_ps(keep)); mask != 0; mask &= mask - 1)
            columns[count++] = x + __builtin_ctz(mask);
    }
    return count + plainkernels::localMaxima(row, w, x, xEnd, threshold, columns + count);
}

__attribute__((target("avx"))) void zeroUpper()
{
    _mm256_zeroupper();
}

} // namespace

void clearUpperVectorHalves()
{
    static const bool hasAvx = __builtin_cpu_supports("avx");
    if (hasAvx)
        zeroUpper();
}

const RowKernels *avx2Kernels()
{
    static const RowKernels table { "avx2", greyFromRgb, greyFromXrgb, updateBackground,
        updateBackgroundFromRgb, applyDifferenceRule, summedRows, boxMeanRow, highestBoxSum,
        highestScore, highestValue, localMaxima };
    return __builtin_cpu_supports("avx2") ? &table : nullptr;
}

#else

const RowKernels *avx2Kernels()
{
    return nullptr;
}

void clearUpperVectorHalves() { }

#endif
