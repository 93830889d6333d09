#include "tracking/blobs/BackgroundEstimator.h"

#include "tracking/blobs/GreyPlane.h"
#include "video/QVideoDecoder.h"

#include <QString>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
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

cv::Mat BackgroundEstimator::ranked(const std::vector<cv::Mat> &planes, int rank)
{
    if (planes.empty())
        return cv::Mat();
    const int rows = planes.front().rows, cols = planes.front().cols;
    const size_t n = planes.size();
    const size_t r = size_t(std::clamp(rank, 0, int(n) - 1));
    cv::Mat result(rows, cols, CV_8UC1);
    // A histogram per pixel would be 256 counts; K is far smaller, so the values are gathered
    // and partly sorted instead.
    overRows(rows, [&](int first, int last) {
        std::vector<uchar> values(n);
        std::vector<const uchar *> rowsOf(n);
        for (int y = first; y < last; ++y) {
            for (size_t k = 0; k < n; ++k)
                rowsOf[k] = planes[k].ptr<uchar>(y);
            uchar *out = result.ptr<uchar>(y);
            for (int x = 0; x < cols; ++x) {
                for (size_t k = 0; k < n; ++k)
                    values[k] = rowsOf[k][x];
                std::nth_element(values.begin(), values.begin() + long(r), values.end());
                out[x] = values[r];
            }
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
        std::vector<uchar> values(n);
        std::vector<const uchar *> rowsOf(n);
        for (int y = first; y < last; ++y) {
            for (size_t k = 0; k < n; ++k)
                rowsOf[k] = planes[k].ptr<uchar>(y);
            const uchar *ref = reference.ptr<uchar>(y);
            uchar *out = result.ptr<uchar>(y);
            for (int x = 0; x < cols; ++x) {
                size_t kept = 0;
                const int r = ref[x];
                for (size_t k = 0; k < n; ++k) {
                    const int v = rowsOf[k][x];
                    if ((darkAnimals ? r - v : v - r) <= threshold)
                        values[kept++] = uchar(v);
                }
                if (kept == 0) {
                    out[x] = uchar(r);
                    continue;
                }
                std::nth_element(
                    values.begin(), values.begin() + long(kept / 2), values.begin() + long(kept));
                out[x] = values[kept / 2];
            }
        }
    });
    return result;
}
