#pragma once
// The running background of the Tracking Area and the summed table of each frame's
// difference from it, from which the mean difference over any square window is read with
// four lookups. Tracker thread only; the planes are allocated once per run.
//
// Planes are single precision, row by row (index y * W + x, area-relative). A frame's sums
// live in a few dozen rows that follow the pass; the whole table is made from the last
// frame and the background only when asked for (summedTable(), boxMean(), boxMeans() of a
// single-fish frame), with the same bits. The difference
// mode (unsigned, bright, dark) is read from the controls at every pixel, in column order,
// so a change made in the window during a run applies from the next pixel on. The per-pixel
// arithmetic is done by the row kernels (tracking/classic/kernels/), chosen when the run starts.

#include "tracking/TrackingControls.h"
#include "tracking/classic/kernels/RowKernels.h"

#include <QImage>
#include <QRect>

#include <functional>
#include <vector>

class BackgroundModel;

// Rows firstRow() ... lastRow() of one frame's box means, as the pass completes them or from
// the whole map. The highest mean of each row is known first; the row's means are made when
// first read, so that a scan that passes a row over by its highest mean never makes them.
class BoxMeanRows
{
public:
    int firstRow() const { return yBegin; }
    int lastRow() const { return yEnd; }
    // The highest mean of row y over the defined columns (-FLT_MAX when there are none).
    float highest(int y) const;
    // The means of row y, column x at [x] (the defined columns only); each row stays valid
    // while this object lives.
    const float *row(int y) const;

private:
    friend class BackgroundModel;
    BoxMeanRows(const BackgroundModel &m, int first, int last, const float *meanRows,
        const float *highestOfRows)
        : model(m)
        , yBegin(first)
        , yEnd(last)
        , madeRows(meanRows)
        , highestOfRow(highestOfRows)
    {
    }
    // Rows made when read, into rowSpace, from the summed table whose first row is the
    // frame's row tableRow0.
    BoxMeanRows(const BackgroundModel &m, int first, int last, const float *highestOfRows,
        const float *summedTable, int summedRow0, float *space)
        : BoxMeanRows(m, first, last, nullptr, highestOfRows)
    {
        table = summedTable;
        tableRow0 = summedRow0;
        rowSpace = space;
    }
    const BackgroundModel &model;
    int yBegin, yEnd;
    const float *madeRows; // row y at [(y - yBegin) * W], when the rows are made already
    const float *highestOfRow; // row y's at [y - yBegin]; null: found from the row
    // Else the rows are made into rowSpace, in the same places, from table.
    float *rowSpace = nullptr;
    const float *table = nullptr;
    int tableRow0 = 0;
};

class BackgroundModel
{
public:
    // Starts a run: the Tracking Area (inclusive rectangle), the odd filter side s and N.
    void reset(const QRect &area, int filterSide, int framesToAverage);

    // Called as rows of box means become final, in ascending order, each row once per frame;
    // so a scan of the means follows the pass band by band while they are in the cache. With
    // it, the pass keeps only a band of sums, and the whole map is made when first asked
    // for: a run that scans the bands never writes it out.
    using MeanRows = std::function<void(const BoxMeanRows &rows)>;

    // Adds one frame. Returns true exactly once per run: for the frame that makes the
    // background complete (the frame counter reaching N).
    bool update(const QImage &frame, const TrackingControls &controls,
        const MeanRows &meanRows = MeanRows());

    int width() const { return w; }
    int height() const { return h; }
    int halfWidth() const { return half; }
    int frameCount() const { return n; }

    // Mean difference over the s x s window centred on the area-relative pixel (x, y);
    // defined for half + 1 <= x <= W - half - 1 and half + 1 <= y <= H - half - 1.
    float boxMean(int x, int y) const
    {
        const float *s = summedTable().data();
        const int right = x + half, left = x - half - 1;
        const int bottom = (y + half) * w, top = (y - half - 1) * w;
        return (s[bottom + right] - s[bottom + left] - s[top + right] + s[top + left]) / windowArea;
    }
    // The same box means for the whole defined range (index y * W + x; entries outside the
    // range are 0).
    const float *boxMeans() const;
    // The rows of the whole defined range of boxMeans().
    BoxMeanRows allMeanRows() const;

    // The grey levels of the last frame, computed on request from that frame (the pass itself
    // keeps only one row of them); zeros before the first frame.
    const std::vector<float> &greyPlane() const;
    const std::vector<float> &backgroundPlane() const { return background; }
    const std::vector<float> &summedTable() const;

private:
    friend class BoxMeanRows;
    // The first pixel (column-order index) from which the difference rule is to be read anew,
    // or -1 when the whole frame keeps the rule read first (returned in *firstRule).
    int readDifferenceRule(const TrackingControls &controls, DifferenceRule *firstRule) const;
    // Grey levels, background and difference (under rule, or d itself for Keep).
    // Rows yBegin ... yEnd - 1 of a frame in RGB888, RGB32 or ARGB32; the differences of row
    // yBegin go to diff, the next rows' after them.
    void rowPasses(const QImage &frame, float alpha, float beta, DifferenceRule rule, int yBegin,
        int yEnd, float *diff);
    void greyRow(const QImage &frame, int y, float *out) const;
    void applyDifferenceRule(
        const TrackingControls &controls, DifferenceRule firstRule, int firstChange);
    // Box means of rows yBegin ... yEnd (inclusive), whose windows' sums are final, into out
    // (row yBegin first), from a table whose first row is row tableRow0; the rows' highest
    // means into rowHighest[y] when it is given.
    void computeBoxMeans(const float *table, int tableRow0, int yBegin, int yEnd, float *out,
        float *rowHighest = nullptr) const;
    // Row y of box means into out, from such a table.
    void boxMeanRow(const float *table, int tableRow0, int y, float *out) const;
    // The band pass of a frame under one rule (see update()).
    void bandPasses(const QImage &frame, float alpha, float beta, DifferenceRule rule,
        const MeanRows &meanRows);

    static constexpr int meanBand = 16; // rows per band of the pass
    const RowKernels *kernels = &RowKernels::plain(); // RowKernels::active() at reset()
    QRect area;
    int w = 0, h = 0;
    int half = 0;
    float windowArea = 1.0f;
    int framesToAverage = 1;
    int n = 0;
    std::vector<float> greyScratch; // one row of grey levels, for the row being passed
    QImage lastFrame; // the last frame added, for greyPlane()
    mutable std::vector<float> grey; // greyPlane(), made from lastFrame when first asked for
    mutable bool greyComputed = false;
    std::vector<float> background;
    // The whole table: first each pixel's d, then v, then in place the running sums. Current
    // after a frame with a rule switch, else made when asked for.
    mutable std::vector<float> summed;
    mutable bool summedCurrent = true;
    DifferenceRule lastRule = DifferenceRule::Unsigned; // the rule of the last banded frame
    // The rows of the table the band pass works on: row bandFirstRow of the frame first. The
    // rows that later windows still need move to the front when the next band does not fit.
    std::vector<float> bandTable;
    int bandFirstRow = 0;
    int bandCapacity = 0; // rows
    // The whole plane of box means (a run that scans the bands never makes it).
    float *meansPlane() const;
    mutable std::vector<float> means; // box means of the defined range, made when first asked for
    mutable bool meansCurrent = true; // whether means holds this frame's box means
    std::vector<float> bandMeans; // the box means of one band of rows, for MeanRows
    std::vector<float> rowHighest; // the highest box mean of each row, for MeanRows
};
