#include "tracking/SingleFishDetector.h"

#include "tracking/BackgroundModel.h"
#include "tracking/FlagReads.h"
#include "tracking/TrackerViewPainter.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

void SingleFishDetector::reset(
    const QRect &trackingArea, float gaussianVariance, float confidenceThreshold)
{
    area = trackingArea;
    threshold = confidenceThreshold;
    weights.build(area.width(), area.height(), gaussianVariance);
    // The highest weight of each |dy|, for the bound in scoreRows(); a negative weight (or
    // not a number) would void the bound, and then every row is scored in full.
    const int w = std::max(0, area.width()), h = std::max(0, area.height());
    highestWeightOfRow.assign(size_t(h), 0.0f);
    weightsNonNegative = true;
    for (int dx = 0; dx < w; ++dx) {
        const float *column = weights.column(dx);
        for (int dy = 0; dy < h; ++dy) {
            if (!(column[dy] >= 0.0f))
                weightsNonNegative = false;
            highestWeightOfRow[size_t(dy)] = std::max(highestWeightOfRow[size_t(dy)], column[dy]);
        }
    }
    ones.assign(size_t(w), 1.0f);
}

namespace {

// The highest of weight[x] * mean[x] for x in [begin, end), several products at a time. Each
// product is rounded as the scalar one is; the maximum of finite values does not depend on
// the order in which they are compared.
float highestScoreDefault(const float *mean, const float *weight, int begin, int end)
{
    int x = begin;
    float best = -FLT_MAX;
#ifdef __SSE2__
    // Four running maxima, so that the comparisons do not wait on each other.
    __m128 best4 = _mm_set1_ps(-FLT_MAX), b1 = best4, b2 = best4, b3 = best4;
    for (; x + 16 <= end; x += 16) {
        best4 = _mm_max_ps(best4, _mm_mul_ps(_mm_loadu_ps(weight + x), _mm_loadu_ps(mean + x)));
        b1 = _mm_max_ps(b1, _mm_mul_ps(_mm_loadu_ps(weight + x + 4), _mm_loadu_ps(mean + x + 4)));
        b2 = _mm_max_ps(b2, _mm_mul_ps(_mm_loadu_ps(weight + x + 8), _mm_loadu_ps(mean + x + 8)));
        b3 = _mm_max_ps(b3, _mm_mul_ps(_mm_loadu_ps(weight + x + 12), _mm_loadu_ps(mean + x + 12)));
    }
    best4 = _mm_max_ps(_mm_max_ps(best4, b1), _mm_max_ps(b2, b3));
    for (; x + 4 <= end; x += 4)
        best4 = _mm_max_ps(best4, _mm_mul_ps(_mm_loadu_ps(weight + x), _mm_loadu_ps(mean + x)));
    float lanes[4];
    _mm_storeu_ps(lanes, best4);
    best = std::max(std::max(lanes[0], lanes[1]), std::max(lanes[2], lanes[3]));
#endif
    for (; x < end; ++x) {
        const float score = weight[x] * mean[x];
        if (score > best)
            best = score;
    }
    return best;
}

#if defined(__x86_64__) || defined(__i386__)
// The same with eight products a register.
__attribute__((target("avx2"))) float highestScoreAvx2(
    const float *mean, const float *weight, int begin, int end)
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
    float lanes[8];
    _mm256_storeu_ps(lanes, b0);
    float best = lanes[0];
    for (int i = 1; i < 8; ++i)
        best = std::max(best, lanes[i]);
    for (; x < end; ++x) {
        const float score = weight[x] * mean[x];
        if (score > best)
            best = score;
    }
    return best;
}
#endif

float highestScore(const float *mean, const float *weight, int begin, int end)
{
#if defined(__x86_64__) || defined(__i386__)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2)
        return highestScoreAvx2(mean, weight, begin, end);
#endif
    return highestScoreDefault(mean, weight, begin, end);
}

} // namespace

namespace {

struct Span
{
    int xBegin, xEnd, yBegin, yEnd; // inclusive scan ranges
    int rows, pixels;
};

Span scanSpan(int w, int h, int half)
{
    Span s;
    s.xBegin = half + 1, s.xEnd = w - half - 1;
    s.yBegin = half + 1, s.yEnd = h - half - 1;
    s.rows = std::max(0, s.yEnd - s.yBegin + 1);
    s.pixels = std::max(0, s.xEnd - s.xBegin + 1) * s.rows;
    return s;
}

} // namespace

// Rows outer: the same maximum, with ties going to the smaller column and then the smaller
// row, as the first one met in scan order would. Each row's highest score comes first; only a
// row that reaches the best so far is searched for its column.
void SingleFishDetector::scoreRows(const BackgroundModel &model, QPoint reference, int yBegin,
    int yEnd, const float *rows, Best &best) const
{
    const int w = model.width();
    const Span span = scanSpan(w, model.height(), model.halfWidth());
    const int x1 = area.left(), y1 = area.top();
    for (int y = yBegin; y <= yEnd; ++y) {
        const float *weightRow
            = weights.signedRow(std::abs(y1 + y - reference.y())) + (x1 - reference.x());
        const float *meanRow = rows + size_t(y - yBegin) * w;
        if (weightsNonNegative) {
            // A bound on the row's scores from its highest mean m and its highest weight wm:
            // for a mean that is not negative and a weight between 0 and wm, the rounded
            // product cannot pass the rounded wm * m; for a negative mean it is not above 0.
            // A row whose bound is below the best score cannot reach it, and its weights, the
            // part of the scan that comes from memory, need not be read.
            const float rowMean = highestScore(meanRow, ones.data(), span.xBegin, span.xEnd + 1);
            const float highestWeight
                = highestWeightOfRow[size_t(weights.row(std::abs(y1 + y - reference.y())))];
            if ((rowMean >= 0.0f ? highestWeight * rowMean : 0.0f) < best.score)
                continue;
        }
        const float rowBest = highestScore(meanRow, weightRow, span.xBegin, span.xEnd + 1);
        if (!(rowBest >= best.score))
            continue;
        int x = span.xBegin;
        while (x <= span.xEnd && !(weightRow[x] * meanRow[x] == rowBest))
            ++x;
        if (x > span.xEnd)
            continue; // not met again: cannot happen with the same products
        if (rowBest > best.score || x < best.x) {
            best.score = rowBest;
            best.mean = meanRow[x];
            best.x = x;
            best.y = y;
        }
    }
}

void SingleFishDetector::beginFrame(const BackgroundModel &model, QPoint reference)
{
    const int w = model.width();
    const Span span = scanSpan(w, model.height(), model.halfWidth());
    // Only the scan by rows, with each row's weights one contiguous run, is done ahead.
    rowScan.active = span.rows > 0 && std::abs(area.left() + span.xBegin - reference.x()) <= w - 1
        && std::abs(area.left() + span.xEnd - reference.x()) <= w - 1;
    rowScan.reference = reference;
    rowScan.nextRow = span.yBegin;
    rowScan.best = Best { -FLT_MAX, -FLT_MAX, 0, 0 };
}

void SingleFishDetector::scanRows(
    const BackgroundModel &model, int yBegin, int yEnd, const float *rows)
{
    // Rows come once each, in ascending order; anything else leaves the scan to detect().
    if (!rowScan.active || yBegin != rowScan.nextRow) {
        rowScan.active = false;
        return;
    }
    const Span span = scanSpan(model.width(), model.height(), model.halfWidth());
    yEnd = std::min(yEnd, span.yEnd);
    scoreRows(model, rowScan.reference, yBegin, yEnd, rows, rowScan.best);
    rowScan.nextRow = yEnd + 1;
}

TrackRecord SingleFishDetector::detect(const BackgroundModel &model, QPoint reference,
    const std::atomic<bool> &showTrackerView, TrackerViewPainter &painter)
{
    const int w = model.width(), h = model.height(), half = model.halfWidth();
    const int x1 = area.left(), y1 = area.top();
    const int refX = reference.x(), refY = reference.y();
    const Span span = scanSpan(w, h, half);

    Best best { -FLT_MAX, -FLT_MAX, 0, 0 };
    const int xBegin = span.xBegin, xEnd = span.xEnd;
    const int yBegin = span.yBegin, yEnd = span.yEnd;
    const int rows = span.rows;
    const int pixels = span.pixels;
    const bool prescanned
        = rowScan.active && rowScan.reference == reference && rowScan.nextRow == yEnd + 1;
    rowScan.active = false;

    // The tracker-view flag is read at every pixel in scan order (columns outer, rows inner).
    // Reading it is cheap; walking the map in that order is not. So the flag is read first,
    // a block of pixels at a time, and only if it was set for some pixel does the scan go in
    // that order, painting from that block on and reading the flag anew as it goes (as if
    // those reads had come a moment later).
    const int firstShown = flagreads::firstDifferingBlock(
        0, pixels, [&] { return unsigned(showTrackerView.load(std::memory_order_relaxed)); });

    // Every offset from the reference to a scanned column within the table's span: each row's
    // weights are one contiguous run. (A reference outside the area, which only a manual
    // correction gives, has its offsets clamped pixel by pixel instead.)
    const bool referenceInSpan
        = rows > 0 && std::abs(x1 + xBegin - refX) <= w - 1 && std::abs(x1 + xEnd - refX) <= w - 1;

    if (firstShown < 0 && referenceInSpan) {
        if (prescanned)
            best = rowScan.best;
        else
            scoreRows(model, reference, yBegin, yEnd, model.boxMeans() + size_t(yBegin) * w, best);
    } else if (firstShown < 0) {
        const float *means = model.boxMeans();
        for (int y = yBegin; y <= yEnd; ++y) {
            const float *weightRow = weights.signedRow(std::abs(y1 + y - refY));
            const float *meanRow = means + size_t(y) * w;
            for (int x = xBegin; x <= xEnd; ++x) {
                const float mean = meanRow[x];
                const float weight = weightRow[weights.columnIndex(std::abs(x1 + x - refX))];
                const float score = weight * mean;
                if (score > best.score || (score == best.score && x < best.x)) {
                    best = Best { score, mean, x, y };
                }
            }
        }
    } else {
        // Columns outer, rows inner, both ascending; the strict comparison keeps the first
        // pixel in this order among equal scores.
        const float *means = model.boxMeans();
        int k = 0;
        for (int x = xBegin; x <= xEnd; ++x) {
            const float *weightColumn = weights.column(std::abs(x1 + x - refX));
            const float *meanColumn = means + x;
            for (int y = yBegin; y <= yEnd; ++y, ++k) {
                const float mean = meanColumn[size_t(y) * w];
                const float weight = weightColumn[weights.row(std::abs(y1 + y - refY))];
                if (k >= firstShown && showTrackerView.load(std::memory_order_relaxed)) {
                    const int v = TrackerViewPainter::level(mean, threshold);
                    painter.paint(x1 + x, y1 + y, qRgb(v, v, int(255.0f * weight)));
                }
                const float score = weight * mean;
                if (score > best.score)
                    best = Best { score, mean, x, y };
            }
        }
    }
    const float bestMean = best.mean;
    const int bestX = best.x, bestY = best.y;

    TrackRecord record;
    record.found = bestMean > threshold;
    record.confidence = bestMean;
    if (record.found) {
        record.x = x1 + bestX;
        record.y = y1 + bestY;
        const double dx = record.x - refX, dy = record.y - refY;
        record.movement = float(std::sqrt(dx * dx + dy * dy));
    } else {
        record.x = refX;
        record.y = refY;
        record.movement = 0.0f;
    }
    return record;
}

void SingleFishDetector::backFill(QVector<TrackRecord> &records)
{
    const int c = int(records.size());
    if (c <= 2 || !records[c - 1].found || records[c - 2].found)
        return;
    int a = 0;
    for (int j = c - 3; j >= 0; --j) {
        if (records[j].found) {
            a = j;
            break;
        }
    }
    const TrackRecord &anchor = records[a];
    const int xa = anchor.x, ya = anchor.y;
    const int xc = records[c - 1].x, yc = records[c - 1].y;
    const int k = c - 1 - a;
    const qint64 dx = xa - xc, dy = ya - yc;
    const float squared = float(dx * dx + dy * dy);
    const float step = float(std::sqrt(double(squared)) / k);
    for (int j = a + 1; j <= c - 2; ++j) {
        const double f = double(j - a) / k;
        TrackRecord &r = records[j];
        r.x = int(std::trunc((1.0 - f) * xa + f * xc));
        r.y = int(std::trunc((1.0 - f) * ya + f * yc));
        r.movement = step;
    }
}
