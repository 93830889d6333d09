#include "tracking/blobs/BackgroundEstimator.h"

#include "tracking/blobs/GreyPlane.h"
#include "video/QVideoDecoder.h"

#include <QString>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <memory>
#include <thread>

namespace {

// Samples [first, last) of `count` on one decoder, into `planes`. goOn() is asked after each
// sample; false ends the range early.
void sampleRange(QVideoDecoder &decoder, int first, int last, int count, qint64 startMs,
    qint64 endMs, std::vector<cv::Mat> &planes, const std::function<bool()> &goOn)
{
    const double span = double(std::max<qint64>(endMs - startMs, 0));
    qint64 previousNumber = -1;
    bool havePrevious = false;
    bool stepping = false;
    for (int k = first; k < last; ++k) {
        const qint64 ms = startMs + qint64((k + 0.5) * span / count);
        bool ok;
        if (stepping) {
            ok = decoder.decodeForwardToMs(ms);
        } else {
            ok = decoder.seekToKeyFrameBefore(ms);
            if (ok && havePrevious && decoder.frameNumber() <= previousNumber) {
                // Key frames lie further apart than the samples: from here on the video is
                // decoded forward, which never costs more than one pass.
                stepping = true;
                ok = decoder.decodeForwardToMs(ms);
            }
        }
        QImage frame;
        if (ok && decoder.copyFrame(frame) && !frame.isNull()
            && (!havePrevious || decoder.frameNumber() != previousNumber)) {
            previousNumber = decoder.frameNumber();
            havePrevious = true;
            planes.push_back(GreyPlane::of(frame));
        }
        if (!goOn())
            break;
    }
}

} // namespace

std::vector<cv::Mat> BackgroundEstimator::sample(QVideoDecoder &decoder, const QString &videoFile,
    int count, qint64 startMs, qint64 endMs, const std::function<bool(int, int)> &progress)
{
    // The second half of the samples is read by a second decoder of the same file on a
    // helper thread, when there is a file and enough video for two halves.
    std::unique_ptr<QVideoDecoder> second;
    const double periodMs = decoder.framePeriodMs();
    if (!videoFile.isEmpty() && count >= 4 && periodMs > 0
        && double(endMs - startMs) >= 4.0 * count * periodMs) {
        second = std::make_unique<QVideoDecoder>(videoFile);
        if (!second->isOpen())
            second.reset();
    }
    const int split = second ? count / 2 : count;

    std::atomic<int> helperRead { 0 }; // samples the helper has taken (written by it)
    std::atomic<bool> stop { false }; // set by this thread when progress says stop
    std::vector<cv::Mat> helperPlanes; // the helper's alone until it is joined
    std::thread helper;
    if (second)
        helper = std::thread([&] {
            sampleRange(*second, split, count, count, startMs, endMs, helperPlanes, [&] {
                ++helperRead;
                return !stop.load();
            });
        });

    std::vector<cv::Mat> planes;
    int ownRead = 0;
    sampleRange(decoder, 0, split, count, startMs, endMs, planes, [&] {
        ++ownRead;
        const bool goOn = !progress || progress(ownRead + helperRead.load(), count);
        if (!goOn)
            stop = true;
        return goOn;
    });
    if (helper.joinable()) {
        // This half is done: the bar follows the helper's until it is.
        while (!stop.load() && helperRead.load() < count - split) {
            if (progress && !progress(ownRead + helperRead.load(), count))
                stop = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        helper.join();
        for (cv::Mat &plane : helperPlanes)
            planes.push_back(std::move(plane));
    }
    return planes;
}

namespace {

// Runs rowsFn(first, last) over the rows of `rows`, the lower half on a helper thread: the
// pre-pass has the machine to itself. Each call writes its own rows of the result.
template<typename RowsFn> void overRows(int rows, const RowsFn &rowsFn)
{
    const int half = rows / 2;
    std::thread lower(rowsFn, half, rows);
    rowsFn(0, half);
    lower.join();
}

} // namespace

int BackgroundEstimator::samplesWithin(int asked, int width, int height, qint64 budgetBytes)
{
    const qint64 frameBytes = std::max<qint64>(1, qint64(width) * qint64(height));
    return int(std::max<qint64>(1, std::min<qint64>(asked, budgetBytes / frameBytes)));
}

cv::Mat BackgroundEstimator::median(const std::vector<cv::Mat> &planes)
{
    return ranked(planes, int(planes.size() / 2));
}

namespace {

// The value of rank ranks[x] (0: the lowest) among the values of column x of the rows `rows`
// whose keep mask is set (every row when keep is null), found bit by bit from the top: the
// largest value with at most ranks[x] of those below it. Each step is one sweep over the
// rows, which the compiler vectorises, in place of a selection per pixel. The counts fit 16
// bits: the pre-pass takes at most 1000 samples.
void rankOfColumns(const std::vector<const uchar *> &rows, const std::vector<const uchar *> *keep,
    const std::vector<std::uint16_t> &ranks, int cols, uchar *out,
    std::vector<std::uint16_t> &below, std::vector<uchar> &candidate)
{
    std::fill(out, out + cols, uchar(0));
    for (int bit = 128; bit > 0; bit >>= 1) {
        for (int x = 0; x < cols; ++x)
            candidate[size_t(x)] = uchar(out[x] | bit);
        std::fill(below.begin(), below.end(), std::uint16_t(0));
        for (size_t k = 0; k < rows.size(); ++k) {
            const uchar *row = rows[k];
            const uchar *c = candidate.data();
            std::uint16_t *b = below.data();
            if (keep) {
                const uchar *kept = (*keep)[k];
                for (int x = 0; x < cols; ++x)
                    b[x] = std::uint16_t(b[x] + ((row[x] < c[x]) & kept[x]));
            } else {
                for (int x = 0; x < cols; ++x)
                    b[x] = std::uint16_t(b[x] + (row[x] < c[x]));
            }
        }
        for (int x = 0; x < cols; ++x)
            if (below[size_t(x)] <= ranks[size_t(x)])
                out[x] = candidate[size_t(x)];
    }
}

} // namespace

cv::Mat BackgroundEstimator::ranked(const std::vector<cv::Mat> &planes, int rank)
{
    if (planes.empty())
        return cv::Mat();
    const int rows = planes.front().rows, cols = planes.front().cols;
    const size_t n = planes.size();
    const int r = std::clamp(rank, 0, int(n) - 1);
    cv::Mat result(rows, cols, CV_8UC1);
    overRows(rows, [&](int first, int last) {
        std::vector<const uchar *> rowsOf(n);
        const std::vector<std::uint16_t> ranks(static_cast<size_t>(cols), std::uint16_t(r));
        std::vector<std::uint16_t> below(static_cast<size_t>(cols));
        std::vector<uchar> candidate(static_cast<size_t>(cols));
        for (int y = first; y < last; ++y) {
            for (size_t k = 0; k < n; ++k)
                rowsOf[k] = planes[k].ptr<uchar>(y);
            rankOfColumns(rowsOf, nullptr, ranks, cols, result.ptr<uchar>(y), below, candidate);
        }
    });
    return result;
}

int BackgroundEstimator::extremeRank(int count, bool darkAnimals)
{
    const int high = int(std::lround(0.9 * (count - 1)));
    return darkAnimals ? high : count - 1 - high;
}

cv::Mat BackgroundEstimator::masked(
    const std::vector<cv::Mat> &planes, const cv::Mat &reference, bool darkAnimals, int threshold)
{
    if (planes.empty())
        return cv::Mat();
    const int rows = planes.front().rows, cols = planes.front().cols;
    const size_t n = planes.size();
    cv::Mat result(rows, cols, CV_8UC1);
    overRows(rows, [&](int first, int last) {
        std::vector<const uchar *> rowsOf(n), keptOf(n);
        // Per sample, 1 where it is kept (no animal over the pixel), for this row.
        std::vector<std::vector<uchar>> kept(n, std::vector<uchar>(static_cast<size_t>(cols)));
        for (size_t k = 0; k < n; ++k)
            keptOf[k] = kept[k].data();
        const size_t width = static_cast<size_t>(cols);
        std::vector<int> counts(width);
        std::vector<std::uint16_t> ranks(width), below(width);
        std::vector<uchar> candidate(static_cast<size_t>(cols));
        for (int y = first; y < last; ++y) {
            const uchar *ref = reference.ptr<uchar>(y);
            std::fill(counts.begin(), counts.end(), 0);
            for (size_t k = 0; k < n; ++k) {
                rowsOf[k] = planes[k].ptr<uchar>(y);
                const uchar *row = rowsOf[k];
                uchar *keep = kept[k].data();
                for (int x = 0; x < cols; ++x) {
                    const int d
                        = darkAnimals ? int(ref[x]) - int(row[x]) : int(row[x]) - int(ref[x]);
                    keep[x] = uchar(d <= threshold);
                    counts[size_t(x)] += keep[x];
                }
            }
            // The median of the kept samples: rank kept / 2 among them.
            for (int x = 0; x < cols; ++x)
                ranks[size_t(x)] = std::uint16_t(counts[size_t(x)] / 2);
            uchar *out = result.ptr<uchar>(y);
            rankOfColumns(rowsOf, &keptOf, ranks, cols, out, below, candidate);
            // Where every sample was left out, the reference itself.
            for (int x = 0; x < cols; ++x)
                if (counts[size_t(x)] == 0)
                    out[x] = ref[x];
        }
    });
    return result;
}
