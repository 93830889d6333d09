#pragma once
// The whole-video background: K grey frames spread evenly over the part of the video to be
// tracked, each reached by seeking, and per-pixel statistics of them: the median, a high or
// low percentile, or the median of the samples in which no animal covered the pixel. A fish
// that rests for a while is in a few samples only, so the median holds the empty tank under
// it; one that rests most of the time is left out of the other two. Memory holds the K
// samples whatever the video's length, and no more than 1 GiB of them (samplesWithin). Tracker
// thread (it drives the decoder).

#include <opencv2/core.hpp>

#include <QtGlobal>

#include <functional>
#include <vector>

class QString;
class QVideoDecoder;

class BackgroundEstimator
{
public:
    // Grey frames at the times startMs + (k + 0.5) * (endMs - startMs) / count. Each is the
    // key frame before that time, reached by seeking; once a seek lands at or before the
    // sample taken before (key frames further apart than the samples), the rest are the first
    // frames at or after their times, decoded forward.
    // When videoFile names the decoder's file and the video holds enough frames, a second
    // decoder of it reads the later half of the samples on a helper thread meanwhile; the
    // samples then come back in that order too.
    // progress(read, count) follows each sample, on the calling thread, and returns whether
    // to go on (false: the samples so far are returned); a sample that cannot be read is left
    // out. The decoder is left wherever its last sample put it.
    static std::vector<cv::Mat> sample(QVideoDecoder &decoder, const QString &videoFile, int count,
        qint64 startMs, qint64 endMs, const std::function<bool(int, int)> &progress = {});

    // The samples the pre-pass holds at most: `asked`, unless that many grey frames of `frame`
    // would take more than `budgetBytes` (1 GiB: a 4K frame takes 8.3 MB, so 129 samples
    // of it fit), then as many as fit, at least one. The whole run then stays under 1.5 GB.
    static constexpr qint64 sampleBudgetBytes = qint64(1) << 30;
    static int samplesWithin(int asked, int width, int height, qint64 budgetBytes);

    // The per-pixel median (for an even count, the upper of the two middle values) of
    // planes of one size (CV_8UC1). Empty when there are none.
    static cv::Mat median(const std::vector<cv::Mat> &planes);

    // The per-pixel value of rank `rank` (0: the lowest, clamped to the planes) of planes of
    // one size. Empty when there are none.
    static cv::Mat ranked(const std::vector<cv::Mat> &planes, int rank);
    // The rank of a high (for dark animals) or low (bright animals) percentile among `count`
    // samples: an animal is out of it once it has left a pixel in a tenth of the samples,
    // and the few brightest (darkest) noisy samples are out of it too.
    static int extremeRank(int count, bool darkAnimals);

    // Per pixel, the median of the planes in which the pixel is not darker (dark animals) or
    // brighter (bright animals) than `reference` by more than `threshold`: the samples in
    // which no animal covered it. Where every plane does, `reference` itself.
    static cv::Mat masked(const std::vector<cv::Mat> &planes, const cv::Mat &reference,
        bool darkAnimals, int threshold);
};
