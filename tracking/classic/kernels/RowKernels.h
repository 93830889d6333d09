#pragma once
// The per-pixel and per-row kernels of the classic tracking method, behind one table of
// functions: a plain version of each, written as the arithmetic reads, and fast versions that
// give the same bits (AVX2 on processors that have it). The engine calls them by name through
// RowKernels::active(); the table is chosen once, when first asked for: the fastest the
// processor runs, or the plain one when the environment has PONDWATCH_KERNELS=plain. Tests
// pick a table with select().
//
// Every product and sum is rounded on its own (no fused multiply-add) and in the order the
// plain version writes it, so that every table gives the same bits for the same input.
// The maxima of the single-fish score assume values that are not NaN.

#include <QRgb>
#include <QtGlobal>

#include <type_traits>
#include <vector>

// What the background pass stores as a pixel's difference value: d = grey - background
// itself (the rule applied afterwards), or v under one rule.
enum class DifferenceRule { Keep, Unsigned, Bright, Dark };

// Calls f with the rule as a constant of its type (std::integral_constant), so that a kernel's
// loop is made once for each rule, and the rule is not chosen again at every pixel.
template<class F> void withRule(DifferenceRule rule, F &&f)
{
    using Rule = DifferenceRule;
    switch (rule) {
    case Rule::Keep:
        return f(std::integral_constant<Rule, Rule::Keep>());
    case Rule::Unsigned:
        return f(std::integral_constant<Rule, Rule::Unsigned>());
    case Rule::Bright:
        return f(std::integral_constant<Rule, Rule::Bright>());
    case Rule::Dark:
        return f(std::integral_constant<Rule, Rule::Dark>());
    }
}

struct RowKernels
{
    const char *name;

    // Grey levels (qGray: (11 R + 16 G + 5 B) / 32) of n packed RGB pixels.
    void (*greyFromRgb)(const uchar *rgb, float *grey, int n);
    // The same for n pixels of RGB32 / ARGB32 (alpha ignored).
    void (*greyFromXrgb)(const QRgb *pixels, float *grey, int n);
    // For each of n pixels: background = beta * background, then alpha * grey + background;
    // d = grey - background (the updated one); difference = d under the rule.
    void (*updateBackground)(const float *grey, float *background, float *difference, int n,
        float alpha, float beta, DifferenceRule rule);
    // The same from packed RGB, the grey levels made on the way.
    void (*updateBackgroundFromRgb)(const uchar *rgb, float *background, float *difference, int n,
        float alpha, float beta, DifferenceRule rule);
    // Applies a rule (not Keep) in place to n values of d.
    void (*applyDifferenceRule)(float *difference, int n, DifferenceRule rule);
    // Rows yBegin ... yEnd - 1 of a summed table of width w, in place, the rows above being
    // final: S(x, y) = S(x-1, y) + S(x, y-1) - S(x-1, y-1) + v, the first row and column
    // summed along themselves.
    void (*summedRows)(float *table, int w, int yBegin, int yEnd);
    // One row of box means, columns half + 1 ... w - half - 1, from the summed table's rows
    // below (bottom) and above (top) the windows: (b[x+h] - b[x-h-1] - t[x+h] + t[x-h-1]) / a.
    // Returns the highest of them (-FLT_MAX when there are none), as highestValue would.
    float (*boxMeanRow)(
        const float *bottom, const float *top, float *out, int half, int w, float windowArea);
    // The highest of the same rows' window sums, b[x+h] - b[x-h-1] - t[x+h] + t[x-h-1], over
    // the same columns, without the means (-FLT_MAX when there are none). Division by the
    // area keeps order, so the highest sum over the area is the row's highest mean, bit for bit.
    float (*highestBoxSum)(const float *bottom, const float *top, int half, int w);
    // The highest of weight[x] * mean[x] for x in [begin, end) (-FLT_MAX when empty).
    float (*highestScore)(const float *mean, const float *weight, int begin, int end);
    // The highest of values[x] for x in [begin, end) (-FLT_MAX when empty).
    float (*highestValue)(const float *values, int begin, int end);
    // The columns x in [xBegin, xEnd] of row (a row of a map of width w, with rows above and
    // below) whose value reaches threshold and is above its eight neighbours, ascending, into
    // columns; returns how many.
    int (*localMaxima)(
        const float *row, int w, int xBegin, int xEnd, float threshold, int *columns);

    // The table the engine uses (see above).
    static const RowKernels &active();
    // The plain table, and every table this processor runs (the plain one first).
    static const RowKernels &plain();
    static std::vector<const RowKernels *> available();
    // Tests: the table active() gives from now on (for engines reset after the call).
    static void select(const RowKernels &kernels);
};
