#include "tracking/SingleFishDetector.h"

#include "tracking/BackgroundModel.h"
#include "tracking/FlagReads.h"
#include "tracking/TrackerViewPainter.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

void SingleFishDetector::reset(
    const QRect &trackingArea, float gaussianVariance, float confidenceThreshold)
{
    area = trackingArea;
    threshold = confidenceThreshold;
    weights.build(area.width(), area.height(), gaussianVariance);
}

namespace {

// The highest of weight[x] * mean[x] for x in [begin, end), four products at a time. Each
// product is rounded as the scalar one is; the maximum of finite values does not depend on
// the order in which they are compared.
float highestScore(const float *mean, const float *weight, int begin, int end)
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

} // namespace

TrackRecord SingleFishDetector::detect(const BackgroundModel &model, QPoint reference,
    const std::atomic<bool> &showTrackerView, TrackerViewPainter &painter) const
{
    const int w = model.width(), h = model.height(), half = model.halfWidth();
    const int x1 = area.left(), y1 = area.top();
    const int refX = reference.x(), refY = reference.y();

    float bestScore = -FLT_MAX;
    float bestMean = -FLT_MAX;
    int bestX = 0, bestY = 0;
    const float *means = model.boxMeans();
    const int xBegin = half + 1, xEnd = w - half - 1; // inclusive ranges
    const int yBegin = half + 1, yEnd = h - half - 1;
    const int rows = std::max(0, yEnd - yBegin + 1);
    const int pixels = std::max(0, xEnd - xBegin + 1) * rows;

    // The tracker-view flag is read at every pixel in scan order (columns outer, rows inner).
    // Reading it is cheap; walking the map in that order is not. So the flag is read first,
    // a block of pixels at a time, and only if it was set for some pixel does the scan go in
    // that order, painting from that block on and reading the flag anew as it goes (as if
    // those reads had come a moment later).
    const int firstShown = flagreads::firstDifferingBlock(0, pixels,
        [&] { return unsigned(showTrackerView.load(std::memory_order_relaxed)); });

    // Every offset from the reference to a scanned column within the table's span: each row's
    // weights are one contiguous run. (A reference outside the area, which only a manual
    // correction gives, has its offsets clamped pixel by pixel instead.)
    const bool referenceInSpan = rows > 0 && std::abs(x1 + xBegin - refX) <= w - 1
        && std::abs(x1 + xEnd - refX) <= w - 1;

    if (firstShown < 0 && referenceInSpan) {
        // Rows outer: the same maximum, with ties going to the smaller column and then the
        // smaller row, as the first one met in scan order would. Each row's highest score
        // comes first; only a row that reaches the best so far is searched for its column.
        for (int y = yBegin; y <= yEnd; ++y) {
            const float *weightRow = weights.signedRow(std::abs(y1 + y - refY)) + (x1 - refX);
            const float *meanRow = means + size_t(y) * w;
            const float rowBest = highestScore(meanRow, weightRow, xBegin, xEnd + 1);
            if (!(rowBest >= bestScore))
                continue;
            int x = xBegin;
            while (x <= xEnd && !(weightRow[x] * meanRow[x] == rowBest))
                ++x;
            if (x > xEnd)
                continue; // not met again: cannot happen with the same products
            if (rowBest > bestScore || x < bestX) {
                bestScore = rowBest;
                bestMean = meanRow[x];
                bestX = x;
                bestY = y;
            }
        }
    } else if (firstShown < 0) {
        for (int y = yBegin; y <= yEnd; ++y) {
            const float *weightRow = weights.signedRow(std::abs(y1 + y - refY));
            const float *meanRow = means + size_t(y) * w;
            for (int x = xBegin; x <= xEnd; ++x) {
                const float mean = meanRow[x];
                const float weight = weightRow[weights.columnIndex(std::abs(x1 + x - refX))];
                const float score = weight * mean;
                if (score > bestScore || (score == bestScore && x < bestX)) {
                    bestScore = score;
                    bestMean = mean;
                    bestX = x;
                    bestY = y;
                }
            }
        }
    } else {
        // Columns outer, rows inner, both ascending; the strict comparison keeps the first
        // pixel in this order among equal scores.
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
                if (score > bestScore) {
                    bestScore = score;
                    bestMean = mean;
                    bestX = x;
                    bestY = y;
                }
            }
        }
    }

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
