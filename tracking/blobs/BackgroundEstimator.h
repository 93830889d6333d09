#pragma once
// The whole-video background: K grey frames spread evenly over the part of the video to be
// tracked, each reached by seeking, and their per-pixel median. A fish that rests for a
// while is in a few samples only, so the median holds the empty tank under it. Memory holds
// the K samples whatever the video's length. Tracker thread (it drives the decoder).

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

    // The per-pixel median (for an even count, the upper of the two middle values) of
    // planes of one size (CV_8UC1). Empty when there are none.
    static cv::Mat median(const std::vector<cv::Mat> &planes);
};
