// The plain kernels: each one the arithmetic as it reads, one pixel at a time. They are the
// reference the fast kernels are tested against, and the ones a processor without AVX2 runs.

#include "tracking/classic/kernels/PlainKernels.h"

#include <cfloat>
#include <cmath>

namespace plainkernels {

void greyFromRgb(const uchar *rgb, float *grey, int n)
{
    for (int x = 0; x < n; ++x) {
        const unsigned sum = unsigned(rgb[3 * x]) * 11u + unsigned(rgb[3 * x + 1]) * 16u
            + unsigned(rgb[3 * x + 2]) * 5u;
        grey[x] = float(int(sum >> 5));
    }
}

void greyFromXrgb(const QRgb *pixels, float *grey, int n)
{
    for (int x = 0; x < n; ++x)
        grey[x] = float(qGray(pixels[x]));
}

float differenceValue(float d, DifferenceRule rule)
{
    switch (rule) {
    case DifferenceRule::Keep:
        return d;
    case DifferenceRule::Unsigned:
        return std::fabs(d);
    case DifferenceRule::Bright:
        return d > 0.0f ? d : 0.0f;
    case DifferenceRule::Dark:
        break;
    }
    return -d > 0.0f ? -d : 0.0f;
}

namespace {

template<DifferenceRule rule>
void update(const float *__restrict grey, float *__restrict background,
    float *__restrict difference, int n, float alpha, float beta)
{
    for (int x = 0; x < n; ++x) {
        float bg = beta * background[x];
        bg = alpha * grey[x] + bg;
        background[x] = bg;
        difference[x] = differenceValue(grey[x] - bg, rule);
    }
}

template<DifferenceRule rule>
void updateFromRgb(const uchar *__restrict rgb, float *__restrict background,
    float *__restrict difference, int n, float alpha, float beta)
{
    for (int x = 0; x < n; ++x) {
        const unsigned sum = unsigned(rgb[3 * x]) * 11u + unsigned(rgb[3 * x + 1]) * 16u
            + unsigned(rgb[3 * x + 2]) * 5u;
        const float grey = float(int(sum >> 5));
        float bg = beta * background[x];
        bg = alpha * grey + bg;
        background[x] = bg;
        difference[x] = differenceValue(grey - bg, rule);
    }
}

} // namespace

void updateBackground(const float *grey, float *background, float *difference, int n, float alpha,
    float beta, DifferenceRule rule)
{
    // One loop per rule, so that the rule is not chosen again at every pixel.
    withRule(rule,
        [&](auto r) { update<decltype(r)::value>(grey, background, difference, n, alpha, beta); });
}

void updateBackgroundFromRgb(const uchar *rgb, float *background, float *difference, int n,
    float alpha, float beta, DifferenceRule rule)
{
    withRule(rule, [&](auto r) {
        updateFromRgb<decltype(r)::value>(rgb, background, difference, n, alpha, beta);
    });
}

void applyDifferenceRule(float *difference, int n, DifferenceRule rule)
{
    for (int x = 0; x < n; ++x)
        difference[x] = differenceValue(difference[x], rule);
}

void summedRows(float *s, int w, int yBegin, int yEnd)
{
    if (w == 0)
        return;
    for (int y = yBegin; y < yEnd; ++y) {
        float *row = s + size_t(y) * w;
        if (y == 0) {
            for (int x = 1; x < w; ++x)
                row[x] = row[x] + row[x - 1];
            continue;
        }
        const float *above = row - w;
        row[0] = row[0] + above[0];
        for (int x = 1; x < w; ++x)
            row[x] = row[x - 1] + above[x] - above[x - 1] + row[x];
    }
}

float boxMeanRow(
    const float *bottom, const float *top, float *out, int half, int w, float windowArea)
{
    for (int x = half + 1; x <= w - half - 1; ++x)
        out[x] = (bottom[x + half] - bottom[x - half - 1] - top[x + half] + top[x - half - 1])
            / windowArea;
    return highestValue(out, half + 1, w - half);
}

float highestBoxSum(const float *bottom, const float *top, int half, int w)
{
    float best = -FLT_MAX;
    for (int x = half + 1; x <= w - half - 1; ++x) {
        const float sum
            = bottom[x + half] - bottom[x - half - 1] - top[x + half] + top[x - half - 1];
        if (sum > best)
            best = sum;
    }
    return best;
}

float highestScore(const float *mean, const float *weight, int begin, int end)
{
    float best = -FLT_MAX;
    for (int x = begin; x < end; ++x) {
        const float score = weight[x] * mean[x];
        if (score > best)
            best = score;
    }
    return best;
}

float highestValue(const float *values, int begin, int end)
{
    float best = -FLT_MAX;
    for (int x = begin; x < end; ++x)
        if (values[x] > best)
            best = values[x];
    return best;
}

bool isLocalMaximum(const float *mid, int w, float threshold)
{
    const float m = *mid;
    if (!(m >= threshold))
        return false;
    const float *up = mid - w, *down = mid + w;
    return m > up[-1] && m > up[0] && m > up[1] && m > mid[-1] && m > mid[1] && m > down[-1]
        && m > down[0] && m > down[1];
}

int localMaxima(const float *row, int w, int xBegin, int xEnd, float threshold, int *columns)
{
    int count = 0;
    for (int x = xBegin; x <= xEnd; ++x)
        if (isLocalMaximum(row + x, w, threshold))
            columns[count++] = x;
    return count;
}

} // namespace plainkernels

const RowKernels &RowKernels::plain()
{
    static const RowKernels table { "plain", plainkernels::greyFromRgb, plainkernels::greyFromXrgb,
        plainkernels::updateBackground, plainkernels::updateBackgroundFromRgb,
        plainkernels::applyDifferenceRule, plainkernels::summedRows, plainkernels::boxMeanRow,
        plainkernels::highestBoxSum, plainkernels::highestScore, plainkernels::highestValue,
        plainkernels::localMaxima };
    return table;
}
