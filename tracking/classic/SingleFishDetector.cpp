#include "tracking/classic/SingleFishDetector.h"

#include "tracking/TrackerViewPainter.h"
#include "tracking/classic/BackgroundModel.h"
#include "tracking/classic/FlagReads.h"
#include "tracking/classic/kernels/Avx2Kernels.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>

void SingleFishDetector::reset(
    const QRect &trackingArea, float gaussianVariance, float confidenceThreshold)
{
    area = trackingArea;
    threshold = confidenceThreshold;
    lastBestScore = -FLT_MAX;
    // The table takes an exp per pixel of the area, which runs many times slower while the
    // vector registers' upper halves are left in use (as filling the view image leaves them).
    clearUpperVectorHalves();
    weights.build(area.width(), area.height(), gaussianVariance);
    kernels = &RowKernels::active();
}

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
void SingleFishDetector::scoreRows(const BackgroundModel &model, QPoint reference,
    const BoxMeanRows &rows, int yBegin, int yEnd, Best &best, float guess,
    bool *passedOverByGuess) const
{
    const int w = model.width();
    const Span span = scanSpan(w, model.height(), model.halfWidth());
    const int x1 = area.left(), y1 = area.top();
    for (int y = yBegin; y <= yEnd; ++y) {
        const float *weightRow
            = weights.signedRow(std::abs(y1 + y - reference.y())) + (x1 - reference.x());
        // A negative weight (or not a number) would void the bound, and then every row is
        // scored in full.
        if (weights.nonNegative()) {
            // A bound on the row's scores from its highest mean m and its highest weight wm:
            // for a mean that is not negative and a weight between 0 and wm, the rounded
            // product cannot pass the rounded wm * m; for a negative mean it is not above 0.
            // A row whose bound is below the best score cannot reach it, and its weights, the
            // part of the scan that comes from memory, need not be read, nor its means made.
            const float rowMean = rows.highest(y);
            const float highestWeight = weights.highestOfRow(std::abs(y1 + y - reference.y()));
            const float bound = rowMean >= 0.0f ? highestWeight * rowMean : 0.0f;
            if (bound < best.score)
                continue;
            if (bound < guess) {
                *passedOverByGuess = true;
                continue;
            }
        }
        const float *meanRow = rows.row(y);
        const float rowBest = kernels->highestScore(meanRow, weightRow, span.xBegin, span.xEnd + 1);
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
    rowScan.guess = lastBestScore > 0.0f ? 0.5f * lastBestScore : -FLT_MAX;
    rowScan.passedOverByGuess = false;
}

void SingleFishDetector::scanRows(const BackgroundModel &model, const BoxMeanRows &rows)
{
    // Rows come once each, in ascending order; anything else leaves the scan to detect().
    if (!rowScan.active || rows.firstRow() != rowScan.nextRow) {
        rowScan.active = false;
        return;
    }
    const Span span = scanSpan(model.width(), model.height(), model.halfWidth());
    const int yEnd = std::min(rows.lastRow(), span.yEnd);
    scoreRows(model, rowScan.reference, rows, rows.firstRow(), yEnd, rowScan.best, rowScan.guess,
        &rowScan.passedOverByGuess);
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
    // Every row the scan ahead passed over could not reach its best score, unless that fell
    // below the guess (a fish that vanished), when it is rescanned here.
    const bool prescanned = rowScan.active && rowScan.reference == reference
        && rowScan.nextRow == yEnd + 1
        && (!rowScan.passedOverByGuess || rowScan.best.score >= rowScan.guess);
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
            scoreRows(model, reference, model.allMeanRows(), yBegin, yEnd, best);
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
            const int absDx = std::abs(x1 + x - refX);
            const float *meanColumn = means + x;
            for (int y = yBegin; y <= yEnd; ++y, ++k) {
                const float mean = meanColumn[size_t(y) * w];
                const float weight = weights.at(absDx, std::abs(y1 + y - refY));
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
    lastBestScore = best.score;
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
