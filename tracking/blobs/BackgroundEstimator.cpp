#include "tracking/blobs/BackgroundEstimator.h"

#include "tracking/blobs/GreyPlane.h"
#include "video/QVideoDecoder.h"

#include <algorithm>

std::vector<cv::Mat> BackgroundEstimator::sample(QVideoDecoder &decoder, int count, qint64 startMs,
    qint64 endMs, const std::function<bool(int, int)> &progress)
{
    std::vector<cv::Mat> planes;
    const double span = double(std::max<qint64>(endMs - startMs, 0));
    qint64 previousNumber = -1;
    bool havePrevious = false;
    bool stepping = false;
    auto stepTo = [&decoder](qint64 ms) { return decoder.decodeForwardToMs(ms); };
    for (int k = 0; k < count; ++k) {
        const qint64 ms = startMs + qint64((k + 0.5) * span / count);
        bool ok;
        if (stepping) {
            ok = stepTo(ms);
        } else {
            ok = decoder.seekToKeyFrameBefore(ms);
            if (ok && havePrevious && decoder.frameNumber() <= previousNumber) {
                // Key frames lie further apart than the samples: from here on the video is
                // decoded forward, which never costs more than one pass.
                stepping = true;
                ok = stepTo(ms);
            }
        }
        QImage frame;
        if (ok && decoder.copyFrame(frame) && !frame.isNull()
            && (!havePrevious || decoder.frameNumber() != previousNumber)) {
            previousNumber = decoder.frameNumber();
            havePrevious = true;
            planes.push_back(GreyPlane::of(frame));
        }
        if (progress && !progress(k + 1, count))
            break;
    }
    return planes;
}

cv::Mat BackgroundEstimator::median(const std::vector<cv::Mat> &planes)
{
    if (planes.empty())
        return cv::Mat();
    const int rows = planes.front().rows, cols = planes.front().cols;
    const size_t n = planes.size();
    cv::Mat result(rows, cols, CV_8UC1);
    // A histogram per pixel would be 256 counts; K is far smaller, so the values are gathered
    // and partly sorted instead.
    std::vector<uchar> values(n);
    std::vector<const uchar *> rowsOf(n);
    for (int y = 0; y < rows; ++y) {
        for (size_t k = 0; k < n; ++k)
            rowsOf[k] = planes[k].ptr<uchar>(y);
        uchar *out = result.ptr<uchar>(y);
        for (int x = 0; x < cols; ++x) {
            for (size_t k = 0; k < n; ++k)
                values[k] = rowsOf[k][x];
            std::nth_element(values.begin(), values.begin() + n / 2, values.end());
            out[x] = values[n / 2];
        }
    }
    return result;
}
