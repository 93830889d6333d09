#include "tracking/classic/BackgroundModel.h"

#include "tracking/classic/FlagReads.h"

#include "tracking/classic/kernels/ColumnOrderRules.h"
#include "tracking/classic/kernels/RowKernels.h"

#include <algorithm>
#include <atomic>
#include <cfloat>

void BackgroundModel::reset(const QRect &trackingArea, int filterSide, int averageOver)
{
    kernels = &RowKernels::active();
    area = trackingArea;
    w = std::max(0, area.width());
    h = std::max(0, area.height());
    half = (filterSide - 1) / 2;
    windowArea = float(filterSide) * float(filterSide);
    framesToAverage = std::max(1, averageOver);
    n = 0;
    const size_t count = size_t(w) * size_t(h);
    grey.clear();
    greyComputed = false;
    lastFrame = QImage();
    greyScratch.assign(size_t(w), 0.0f);
    background.assign(count, 0.0f);
    summed.clear(); // made when first asked for (zeros before the first frame)
    summedCurrent = false;
    lastRule = DifferenceRule::Unsigned;
    means.clear(); // made when first written (zeros before the first frame)
    meansCurrent = true;
    bandMeans.assign(size_t(meanBand) * size_t(w), 0.0f);
    rowHighest.assign(size_t(h), 0.0f);
    // Up to 2 half + 1 rows kept for the windows still to come, and four bands after them.
    bandCapacity = std::min(h, 2 * half + 1 + 4 * meanBand);
    bandTable.assign(size_t(bandCapacity) * size_t(w), 0.0f);
    bandFirstRow = 0;
}

namespace {

inline DifferenceRule readRule(
    const std::atomic<bool> &signedDifference, const std::atomic<bool> &brightObject)
{
    if (!signedDifference.load(std::memory_order_relaxed))
        return DifferenceRule::Unsigned;
    return brightObject.load(std::memory_order_relaxed) ? DifferenceRule::Bright
                                                        : DifferenceRule::Dark;
}

} // namespace

// The difference rule is read for every pixel, column by column, so a mode switched during the
// frame applies from the next pixel, and columns already passed keep the old rule. Walking the
// planes column by column costs a cache miss a pixel. So the reads come first, in that order,
// a block of pixels at a time (FlagReads.h), and find the first block in which the rule read
// differs from the first pixel's (almost never). The row passes then apply the first
// rule to the whole frame; or, after a switch, they leave d, and applyDifferenceRule gives
// every pixel from that block on the rule read anew at its turn. Reading a block's flags
// again is as if those reads had come a moment later: the outcome is one that reading once
// per pixel can give.
int BackgroundModel::readDifferenceRule(
    const TrackingControls &controls, DifferenceRule *firstRule) const
{
    const std::atomic<bool> &signedDifference = controls.signedDifference;
    const std::atomic<bool> &brightObject = controls.brightObject;
    const int count = w * h;
    const DifferenceRule first = readRule(signedDifference, brightObject);
    *firstRule = first;
    // Per block one or two loads and an or. (Reading the bright choice while the difference
    // is unsigned, which the rule ignores, changes nothing.)
    if (first == DifferenceRule::Unsigned)
        return flagreads::firstDifferingBlock(
            1, count, [&] { return unsigned(signedDifference.load(std::memory_order_relaxed)); });
    const unsigned brightFirst = first == DifferenceRule::Bright;
    return flagreads::firstDifferingBlock(1, count, [&] {
        return (unsigned(signedDifference.load(std::memory_order_relaxed)) ^ 1u)
            | (unsigned(brightObject.load(std::memory_order_relaxed)) ^ brightFirst);
    });
}

// Grey levels of row y of the area (qGray: (11 R + 16 G + 5 B) / 32) into out, from a frame in
// RGB888, RGB32 or ARGB32. Parts of the area outside the frame read as 0, as QImage::pixel
// gives for a coordinate out of range.
void BackgroundModel::greyRow(const QImage &frame, int y, float *out) const
{
    const int x1 = area.left();
    const int colBegin = std::clamp(-x1, 0, w);
    const int colEnd = std::clamp(frame.width() - x1, colBegin, w);
    const int fy = area.top() + y;
    if (fy < 0 || fy >= frame.height() || colBegin == colEnd) {
        std::fill(out, out + w, 0.0f);
        return;
    }
    std::fill(out, out + colBegin, 0.0f);
    std::fill(out + colEnd, out + w, 0.0f);
    const uchar *line = frame.constScanLine(fy);
    if (frame.format() == QImage::Format_RGB888)
        kernels->greyFromRgb(line + 3 * (x1 + colBegin), out + colBegin, colEnd - colBegin);
    else
        kernels->greyFromXrgb(reinterpret_cast<const QRgb *>(line) + (x1 + colBegin),
            out + colBegin, colEnd - colBegin);
}

// Grey levels, the background update and the difference, row by row. A row of packed RGB that
// lies wholly in the frame goes through in one step; any other row has its grey levels made
// first, into one scratch row.
void BackgroundModel::rowPasses(const QImage &frame, float alpha, float beta, DifferenceRule rule,
    int yBegin, int yEnd, float *diffRows)
{
    const bool bytes = frame.format() == QImage::Format_RGB888;
    const bool wholeRows = area.left() >= 0 && area.left() + w <= frame.width();
    for (int y = yBegin; y < yEnd; ++y) {
        float *bg = background.data() + size_t(y) * w;
        float *diff = diffRows + size_t(y - yBegin) * w;
        const int fy = area.top() + y;
        if (bytes && wholeRows && fy >= 0 && fy < frame.height()) {
            kernels->updateBackgroundFromRgb(
                frame.constScanLine(fy) + 3 * area.left(), bg, diff, w, alpha, beta, rule);
        } else {
            greyRow(frame, y, greyScratch.data());
            kernels->updateBackground(greyScratch.data(), bg, diff, w, alpha, beta, rule);
        }
    }
}

const std::vector<float> &BackgroundModel::greyPlane() const
{
    if (!greyComputed) {
        grey.assign(size_t(w) * size_t(h), 0.0f);
        if (!lastFrame.isNull())
            for (int y = 0; y < h; ++y)
                greyRow(lastFrame, y, grey.data() + size_t(y) * w);
        greyComputed = true;
    }
    return grey;
}

bool BackgroundModel::update(
    const QImage &input, const TrackingControls &controls, const MeanRows &meanRows)
{
    bool completed = false;
    if (n < framesToAverage) {
        ++n;
        completed = n == framesToAverage;
    }
    // The weights as the nearest floats to 1/n and 1 - 1/n.
    const float alpha = float(1.0 / n);
    const float beta = float(1.0 - 1.0 / n);
    if (w == 0 || h == 0)
        return completed;

    QImage converted;
    const QImage *frame = &input;
    const QImage::Format format = input.format();
    if (format != QImage::Format_RGB888 && format != QImage::Format_RGB32
        && format != QImage::Format_ARGB32) {
        // The decoder delivers RGB888; anything else is converted once for the frame.
        converted = input.convertToFormat(QImage::Format_RGB32);
        frame = &converted;
    }
    // Shares the picture's data; the grey plane is made from it only when asked for.
    lastFrame = *frame;
    greyComputed = false;

    DifferenceRule firstRule = DifferenceRule::Unsigned;
    const int firstChange = readDifferenceRule(controls, &firstRule);
    if (firstChange >= 0) {
        // A switch during the frame: d for every pixel, then the rule of each pixel as read in
        // column order from the first pixel read under another one, then the sums.
        summed.resize(size_t(w) * size_t(h));
        rowPasses(*frame, alpha, beta, DifferenceRule::Keep, 0, h, summed.data());
        applyDifferenceRule(controls, firstRule, firstChange);
        kernels->summedRows(summed.data(), w, 0, h);
        summedCurrent = true;
        computeBoxMeans(summed.data(), 0, half + 1, h - half - 1,
            meansPlane() + size_t(half + 1) * w, rowHighest.data());
        meansCurrent = true;
        if (meanRows && h - half - 1 >= half + 1)
            meanRows(BoxMeanRows(*this, half + 1, h - half - 1, meansPlane() + size_t(half + 1) * w,
                rowHighest.data() + half + 1));
        return completed;
    }
    bandPasses(*frame, alpha, beta, firstRule, meanRows);
    return completed;
}

// One rule for the whole frame. Each band of rows goes through all the passes while its rows
// are still in the cache: grey, background and difference, the sums, and the box means whose
// windows the band completes. The sums are kept only as long as windows still need them.
void BackgroundModel::bandPasses(
    const QImage &frame, float alpha, float beta, DifferenceRule rule, const MeanRows &meanRows)
{
    constexpr int band = meanBand;
    lastRule = rule;
    summedCurrent = false;
    meansCurrent = !meanRows;
    bandFirstRow = 0;
    int nextMeanRow = half + 1;
    for (int y0 = 0; y0 < h; y0 += band) {
        const int y1 = std::min(h, y0 + band);
        if (y1 - bandFirstRow > bandCapacity) {
            // The rows from the upper edge of the next window to be averaged, and always the
            // row above the band, move to the front (at most 2 half + 1 rows).
            const int keepFrom = std::max(0, std::min(y0 - 1, nextMeanRow - half - 1));
            std::copy(bandTable.begin() + ptrdiff_t(keepFrom - bandFirstRow) * w,
                bandTable.begin() + ptrdiff_t(y0 - bandFirstRow) * w, bandTable.begin());
            bandFirstRow = keepFrom;
        }
        rowPasses(
            frame, alpha, beta, rule, y0, y1, bandTable.data() + size_t(y0 - bandFirstRow) * w);
        // The table's row 0 is the frame's only when it is the first row kept; otherwise the
        // row above the band is in the table, and every row is summed with it.
        kernels->summedRows(bandTable.data(), w, y0 - bandFirstRow, y1 - bandFirstRow);
        const int lastMeanRow = std::min(h - half - 1, y1 - 1 - half);
        if (lastMeanRow >= nextMeanRow) {
            // A band completes at most `band` rows of means.
            if (meanRows) {
                // Each row's highest mean from its highest window sum; the means themselves
                // only for the rows the scan reads.
                const bool columns = w - half - 1 >= half + 1;
                const float *table = bandTable.data();
                for (int y = nextMeanRow; y <= lastMeanRow; ++y)
                    rowHighest[size_t(y)] = columns
                        ? kernels->highestBoxSum(table + size_t(y + half - bandFirstRow) * w,
                              table + size_t(y - half - 1 - bandFirstRow) * w, half, w)
                            / windowArea
                        : -FLT_MAX;
                meanRows(BoxMeanRows(*this, nextMeanRow, lastMeanRow,
                    rowHighest.data() + nextMeanRow, table, bandFirstRow, bandMeans.data()));
            } else {
                computeBoxMeans(bandTable.data(), bandFirstRow, nextMeanRow, lastMeanRow,
                    meansPlane() + size_t(nextMeanRow) * w);
            }
            nextMeanRow = lastMeanRow + 1;
        }
    }
}

// After a banded frame: each pixel's difference again from the frame's grey level and the
// background it left (d = grey - background, as the update computed it), under the frame's
// rule, then the sums.
const std::vector<float> &BackgroundModel::summedTable() const
{
    if (summedCurrent)
        return summed;
    summed.assign(size_t(w) * size_t(h), 0.0f);
    if (!lastFrame.isNull()) {
        std::vector<float> greyLevels(static_cast<size_t>(w)), unchanged(static_cast<size_t>(w));
        for (int y = 0; y < h; ++y) {
            greyRow(lastFrame, y, greyLevels.data());
            const float *bg = background.data() + size_t(y) * w;
            std::copy(bg, bg + w, unchanged.begin());
            // Weights 0 and 1 leave the background as it is: 1 * b + 0 * g is b.
            kernels->updateBackground(greyLevels.data(), unchanged.data(),
                summed.data() + size_t(y) * w, w, 0.0f, 1.0f, lastRule);
        }
        kernels->summedRows(summed.data(), w, 0, h);
    }
    summedCurrent = true;
    return summed;
}

// A switch during this frame: each pixel in column order gets the rule read at its turn, the
// first rule up to firstChange, then the flags are read on. The reads go in that order and
// only note where the rule changes; the rules are then applied row by row.
void BackgroundModel::applyDifferenceRule(
    const TrackingControls &controls, DifferenceRule firstRule, int firstChange)
{
    std::vector<ColumnOrderRules::Run> runs { { 0, firstRule } };
    const int count = w * h;
    for (int k = firstChange; k < count; ++k) {
        const DifferenceRule current = readRule(controls.signedDifference, controls.brightObject);
        if (current != runs.back().rule)
            runs.push_back({ k, current });
    }
    ColumnOrderRules::apply(*kernels, runs, summed.data(), w, h);
}

// Rows of box means with the same expression as boxMean().
void BackgroundModel::computeBoxMeans(
    const float *table, int tableRow0, int yBegin, int yEnd, float *out, float *highest) const
{
    for (int y = yBegin; y <= yEnd; ++y) {
        const float rowMax = kernels->boxMeanRow(table + size_t(y + half - tableRow0) * w,
            table + size_t(y - half - 1 - tableRow0) * w, out + size_t(y - yBegin) * w, half, w,
            windowArea);
        if (highest)
            highest[y] = rowMax;
    }
}

void BackgroundModel::boxMeanRow(const float *table, int tableRow0, int y, float *out) const
{
    kernels->boxMeanRow(table + size_t(y + half - tableRow0) * w,
        table + size_t(y - half - 1 - tableRow0) * w, out, half, w, windowArea);
}

BoxMeanRows BackgroundModel::allMeanRows() const
{
    return BoxMeanRows(*this, half + 1, h - half - 1, boxMeans() + size_t(half + 1) * w, nullptr);
}

float BoxMeanRows::highest(int y) const
{
    if (highestOfRow)
        return highestOfRow[y - yBegin];
    return model.kernels->highestValue(row(y), model.half + 1, model.w - model.half);
}

const float *BoxMeanRows::row(int y) const
{
    const size_t offset = size_t(y - yBegin) * size_t(model.w);
    if (!table)
        return madeRows + offset;
    model.boxMeanRow(table, tableRow0, y, rowSpace + offset);
    return rowSpace + offset;
}

const float *BackgroundModel::boxMeans() const
{
    if (!meansCurrent) {
        if (h - half - 1 >= half + 1)
            computeBoxMeans(summedTable().data(), 0, half + 1, h - half - 1,
                meansPlane() + size_t(half + 1) * w);
        meansCurrent = true;
    }
    return meansPlane();
}

float *BackgroundModel::meansPlane() const
{
    if (means.empty())
        means.assign(size_t(w) * size_t(h), 0.0f);
    return means.data();
}
