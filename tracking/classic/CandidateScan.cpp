#include "tracking/classic/CandidateScan.h"

#include "tracking/classic/BackgroundModel.h"
#include "tracking/classic/kernels/RowKernels.h"

#include <algorithm>

void CandidateScan::begin(int width, int height, int filterHalf, QPoint areaOrigin, float limit)
{
    active = true;
    w = width;
    h = height;
    half = filterHalf;
    origin = areaOrigin;
    threshold = limit;
    nextRow = half + 1;
    for (KeptRow &row : keptRows)
        row.y = -1;
    found.clear();
    neighbourhood.assign(size_t(3) * size_t(std::max(0, w)), 0.0f);
    columns.assign(size_t(std::max(0, w)), 0);
}

const CandidateScan::KeptRow *CandidateScan::kept(int y) const
{
    for (const KeptRow &row : keptRows)
        if (row.y == y)
            return &row;
    return nullptr;
}

// Row y is searched once row y + 1 has come: the rows of a band up to its last but one, and
// the last row of the band before. Its neighbours' means come from the band, or from the two
// rows kept from the band before.
void CandidateScan::addRows(const BoxMeanRows &rows)
{
    const int first = rows.firstRow(), last = rows.lastRow();
    if (!active || first != nextRow || last < first) {
        active = false;
        return;
    }
    nextRow = last + 1;
    const RowKernels &kernels = RowKernels::active();
    // The band's rows are made when first read; each is read once here.
    bandRows.assign(size_t(last - first + 1), nullptr);
    const auto means = [&](int y) -> const float * {
        if (y >= first) {
            const float *&row = bandRows[size_t(y - first)];
            if (!row)
                row = rows.row(y);
            return row;
        }
        const KeptRow *row = kept(y);
        return row ? row->means.data() : nullptr;
    };
    const auto highest = [&](int y) {
        if (y >= first)
            return rows.highest(y);
        const KeptRow *row = kept(y);
        return row ? row->highest : threshold;
    };

    const int xBegin = half + 2, xEnd = w - half - 2;
    const int yBegin = std::max(first - 1, half + 2), yEnd = std::min(last - 1, h - half - 2);
    for (int y = yBegin; y <= yEnd && xBegin <= xEnd; ++y) {
        // A row below the threshold everywhere has no candidate.
        if (!(highest(y) >= threshold))
            continue;
        const float *above = means(y - 1), *middle = means(y), *below = means(y + 1);
        if (!above || !middle || !below) {
            active = false; // a row the band before did not keep: cannot happen in order
            return;
        }
        float *space = neighbourhood.data();
        std::copy(above, above + w, space);
        std::copy(middle, middle + w, space + w);
        std::copy(below, below + w, space + 2 * w);
        const int count
            = kernels.localMaxima(space + w, w, xBegin, xEnd, threshold, columns.data());
        for (int i = 0; i < count; ++i) {
            const int x = columns[size_t(i)];
            found.push_back({ QPoint(origin.x() + x, origin.y() + y), middle[x] });
        }
    }

    // Keep the band's last row, which the next band's first row has above it, and the one
    // before it when the last row itself is still to be searched.
    // (Made in the spare pair, since row last - 1 may be one of the kept rows, then swapped
    // in: the buffers last from frame to frame.)
    KeptRow *next = spareRows;
    next[0].y = -1;
    next[1].y = last;
    next[1].highest = highest(last);
    const float *lastMeans = means(last);
    next[1].means.assign(lastMeans, lastMeans + w);
    if (next[1].highest >= threshold && last - 1 >= half + 1) {
        const float *before = means(last - 1);
        if (before) {
            next[0].y = last - 1;
            next[0].highest = highest(last - 1);
            next[0].means.assign(before, before + w);
        }
    }
    std::swap(keptRows[0], next[0]);
    std::swap(keptRows[1], next[1]);
}

bool CandidateScan::complete() const
{
    return active && nextRow == h - half;
}

std::vector<FishCandidate> CandidateScan::takeCandidates()
{
    active = false;
    std::sort(found.begin(), found.end(), [](const FishCandidate &a, const FishCandidate &b) {
        return a.position.x() != b.position.x() ? a.position.x() < b.position.x()
                                                : a.position.y() < b.position.y();
    });
    return std::move(found);
}
