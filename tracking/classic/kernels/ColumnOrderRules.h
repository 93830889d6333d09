#pragma once
// Difference rules given in column order, applied row by row. The pixels of a W x H plane
// (stored row by row) are numbered in column order, pixel (x, y) being number x * H + y; the
// rules come as runs of those numbers. In each row a run covers one range of columns, so the
// rules are applied a range of a row at a time, with the row kernel, in memory order.

#include "tracking/classic/kernels/RowKernels.h"

#include <vector>

struct ColumnOrderRules
{
    struct Run
    {
        int begin; // the run's first pixel number; it lasts until the next run's begin
        DifferenceRule rule;
    };

    // runs: ascending begins, the first 0.
    static void apply(const RowKernels &kernels, const std::vector<Run> &runs, float *plane,
        int width, int height);
};
