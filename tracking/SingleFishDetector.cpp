#include "tracking/SingleFishDetector.h"

#include "tracking/BackgroundModel.h"
#include "tracking/TrackerViewPainter.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>

void SingleFishDetector::reset(const QRect &trackingArea, float gaussianVariance,
                               float confidenceThreshold)
{
    area = trackingArea;
    threshold = confidenceThreshold;
    weights.build(area.width(), area.height(), gaussianVariance);
}

TrackRecord SingleFishDetector::detect(const BackgroundModel &model, QPoint reference,
                                       const std::atomic<bool> &showTrackerView,
                                       TrackerViewPainter &painter) const
{
    const int w = model.width(), h = model.height(), half = model.halfWidth();
    const int x1 = area.left(), y1 = area.top();
    const int refX = reference.x(), refY = reference.y();

    float bestScore = -FLT_MAX;
    float bestMean = -FLT_MAX;
    int bestX = 0, bestY = 0;
    // Columns outer, rows inner, both ascending; the strict comparison keeps the first pixel
    // in this order among equal scores.
    for (int x = half + 1; x <= w - half - 1; ++x) {
        const float *weightColumn = weights.column(std::abs(x1 + x - refX));
        for (int y = half + 1; y <= h - half - 1; ++y) {
            const float mean = model.boxMean(x, y);
            const float weight = weightColumn[weights.row(std::abs(y1 + y - refY))];
            if (showTrackerView.load(std::memory_order_relaxed)) {
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
