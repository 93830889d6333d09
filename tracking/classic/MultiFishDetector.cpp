#include "tracking/classic/MultiFishDetector.h"

#include "tracking/TrackerViewPainter.h"
#include "tracking/classic/BackgroundModel.h"
#include "tracking/classic/FlagReads.h"
#include "tracking/classic/kernels/RowKernels.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

void MultiFishDetector::reset(
    const QRect &trackingArea, int fish, int side, float confidenceThreshold)
{
    area = trackingArea;
    fishCount = fish;
    filterSide = side;
    threshold = confidenceThreshold;
}

float MultiFishDetector::distance(QPoint a, QPoint b)
{
    const double dx = double(a.x()) - b.x(), dy = double(a.y()) - b.y();
    return float(std::sqrt(dx * dx + dy * dy));
}

void MultiFishDetector::beginFrame(const BackgroundModel &model)
{
    scan.begin(model.width(), model.height(), model.halfWidth(), area.topLeft(), threshold);
}

MultiFishDetector::Result MultiFishDetector::detect(const BackgroundModel &model,
    const TrackRecord *previous, const std::atomic<bool> &showTrackerView,
    TrackerViewPainter &painter)
{
    const int w = model.width(), h = model.height(), half = model.halfWidth();
    const int x1 = area.left(), y1 = area.top();
    // The map itself is filled by the model; what is left of its pass is the grey tracker
    // view, column by column, with the flag read at every pixel: first a block at a time
    // without painting, and, once it was seen set, at each pixel's turn while painting.
    const int columns = std::max(0, w - 2 * half - 1), rows = std::max(0, h - 2 * half - 1);
    const int firstShown = flagreads::firstDifferingBlock(0, columns * rows,
        [&] { return unsigned(showTrackerView.load(std::memory_order_relaxed)); });
    // The candidates found during the update are the map's; the map is made only for the view
    // or when the update's rows did not all come to the scan.
    const bool scanned = scan.complete();
    std::vector<Candidate> candidates = scan.takeCandidates(); // and the scan ends
    const float *map = firstShown >= 0 || !scanned ? model.boxMeans() : nullptr;
    if (firstShown >= 0) {
        for (int k = firstShown; k < columns * rows; ++k) {
            const int x = half + 1 + k / rows, y = half + 1 + k % rows;
            if (showTrackerView.load(std::memory_order_relaxed)) {
                const int v = TrackerViewPainter::level(map[size_t(y) * w + x], threshold);
                painter.paint(x1 + x, y1 + y, qRgb(v, v, v));
            }
        }
    }
    if (!scanned)
        candidates = findCandidates(map, w, h, half, area.topLeft(), threshold);
    const QPoint centre(x1 + w / 2, y1 + h / 2);
    return assign(candidates, previous, fishCount, centre, filterSide);
}

std::vector<MultiFishDetector::Candidate> MultiFishDetector::findCandidates(
    const float *map, int w, int h, int half, QPoint origin, float threshold)
{
    // Rows outer, for the memory order; then sorted into the discovery order of a scan with
    // columns outer (ascending column, then row).
    const RowKernels &kernels = RowKernels::active();
    std::vector<Candidate> candidates;
    std::vector<int> columns(size_t(std::max(0, w)));
    for (int y = half + 2; y <= h - half - 2; ++y) {
        const int found = kernels.localMaxima(
            map + size_t(y) * w, w, half + 2, w - half - 2, threshold, columns.data());
        for (int i = 0; i < found; ++i) {
            const int x = columns[size_t(i)];
            candidates.push_back(
                { QPoint(origin.x() + x, origin.y() + y), map[size_t(y) * w + x] });
        }
    }
    std::sort(candidates.begin(), candidates.end(), [](const Candidate &a, const Candidate &b) {
        return a.position.x() != b.position.x() ? a.position.x() < b.position.x()
                                                : a.position.y() < b.position.y();
    });
    return candidates;
}

MultiFishDetector::Result MultiFishDetector::assign(const std::vector<Candidate> &candidates,
    const TrackRecord *previous, int fishCount, QPoint centre, int filterSide)
{
    const int fish = fishCount;
    const int count = int(candidates.size());
    Result result;
    result.positions.resize(fish);
    result.confidences.fill(0.0f, fish);
    result.found.fill(false, fish);
    for (int i = 0; i < fish; ++i)
        result.positions[i]
            = previous && i < previous->fishPositions.size() ? previous->fishPositions[i] : centre;
    const QVector<QPoint> start = result.positions;

    std::vector<bool> assigned(size_t(count), false);
    auto give = [&](int i, int k) {
        result.positions[i] = candidates[size_t(k)].position;
        result.confidences[i] = candidates[size_t(k)].value;
        result.found[i] = true;
        assigned[size_t(k)] = true;
    };

    if (previous && count > 0) {
        // Fish not found in the previous frame get the largest finite float: never matched.
        std::vector<float> matrix(size_t(fish) * count, FLT_MAX);
        for (int i = 0; i < fish; ++i) {
            const bool wasFound
                = i < previous->fishFoundFlags.size() && previous->fishFoundFlags[i];
            const bool hasPosition = i < previous->fishPositions.size();
            if (!wasFound || !hasPosition)
                continue;
            for (int k = 0; k < count; ++k)
                matrix[size_t(i) * count + k]
                    = distance(previous->fishPositions[i], candidates[size_t(k)].position);
        }
        const double limit = 3.0 * filterSide;
        for (int round = 0; round < fish; ++round) {
            float best = FLT_MAX;
            int bestFish = -1, bestCandidate = -1;
            for (int i = 0; i < fish; ++i) {
                for (int k = 0; k < count; ++k) {
                    const float d = matrix[size_t(i) * count + k];
                    if (d < best) {
                        best = d;
                        bestFish = i;
                        bestCandidate = k;
                    }
                }
            }
            if (bestFish < 0 || !(double(best) < limit))
                continue;
            give(bestFish, bestCandidate);
            for (int k = 0; k < count; ++k)
                matrix[size_t(bestFish) * count + k] = FLT_MAX;
            for (int i = 0; i < fish; ++i)
                matrix[size_t(i) * count + bestCandidate] = FLT_MAX;
        }
    }

    // Fish still without a candidate take the nearest free one (ties: lower index). In the
    // first frame of a run this is how every fish is placed, nearest to the area centre.
    for (int i = 0; i < fish && count > 0; ++i) {
        if (result.found[i])
            continue;
        int nearest = -1;
        float nearestDistance = 0.0f;
        for (int k = 0; k < count; ++k) {
            if (assigned[size_t(k)])
                continue;
            const float d = distance(start[i], candidates[size_t(k)].position);
            if (nearest < 0 || d < nearestDistance) {
                nearest = k;
                nearestDistance = d;
            }
        }
        if (nearest < 0)
            break; // every candidate is taken
        give(i, nearest);
        if (previous)
            result.clearPrevious.append(i);
    }
    return result;
}
