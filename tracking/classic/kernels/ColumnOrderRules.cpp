#include "tracking/classic/kernels/ColumnOrderRules.h"

#include <algorithm>

void ColumnOrderRules::apply(
    const RowKernels &kernels, const std::vector<Run> &runs, float *plane, int w, int h)
{
    const int count = w * h;
    // The first column x of row y with x * H + y >= k.
    auto firstColumn = [h](int k, int y) { return k - y <= 0 ? 0 : (k - y + h - 1) / h; };
    for (size_t i = 0; i < runs.size(); ++i) {
        const int k0 = runs[i].begin;
        const int k1 = i + 1 < runs.size() ? runs[i + 1].begin : count;
        for (int y = 0; y < h; ++y) {
            const int xBegin = firstColumn(k0, y), xEnd = std::min(w, firstColumn(k1, y));
            if (xEnd > xBegin)
                kernels.applyDifferenceRule(
                    plane + size_t(y) * w + xBegin, xEnd - xBegin, runs[i].rule);
        }
    }
}
