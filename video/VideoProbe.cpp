#include "video/VideoProbe.h"

#include "files/InputFile.h"
#include "video/FfmpegHandles.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/error.h>
}

#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace {

QString ffmpegReason(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

} // namespace

QString VideoProbe::fileProblem(const QString &path)
{
    const QString problem = InputFile::problem(path);
    if (!problem.isEmpty())
        return problem;
    if (QFileInfo(path).size() == 0)
        return QStringLiteral("is empty");
    return QString();
}

VideoProbe::VideoProbe(const QString &path)
{
    problem = fileProblem(path);
    if (!problem.isEmpty())
        return;
    const QByteArray name = path.toUtf8();
    AVFormatContext *raw = nullptr;
    const int opened = avformat_open_input(&raw, name.constData(), nullptr, nullptr);
    if (opened != 0) {
        problem = ffmpegReason(opened);
        return;
    }
    ff::InputContextPtr format(raw);
    const int found = avformat_find_stream_info(format.get(), nullptr);
    if (found < 0) {
        problem = ffmpegReason(found);
        return;
    }
    describe(*format);
}

VideoProbe VideoProbe::ofOpenedVideo(const AVFormatContext &format)
{
    VideoProbe probe;
    probe.describe(format);
    return probe;
}

void VideoProbe::describe(const AVFormatContext &format)
{
    const AVStream *video = nullptr;
    for (unsigned int i = 0; i < format.nb_streams; ++i) {
        const AVStream *stream = format.streams[i];
        if (stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO
            || (stream->disposition & AV_DISPOSITION_ATTACHED_PIC))
            continue;
        ++videoStreams;
        if (!video)
            video = stream;
    }
    if (!video) {
        problem = QStringLiteral("no video stream");
        return;
    }
    const AVCodecParameters *codec = video->codecpar;
    size = QSize(codec->width, codec->height);
    if (!avcodec_find_decoder(codec->codec_id)) {
        problem = QStringLiteral("no decoder for its %1 video")
                      .arg(QString::fromUtf8(avcodec_get_name(codec->codec_id)));
        return;
    }
    if (codec->width <= 0 || codec->height <= 0) {
        problem = QStringLiteral("the video stream has no picture size");
        return;
    }
    const AVRational rate = video->avg_frame_rate.den > 0 && video->avg_frame_rate.num > 0
        ? video->avg_frame_rate
        : video->r_frame_rate;
    if (rate.num > 0 && rate.den > 0) {
        framesPerSecond = av_q2d(rate);
        frameRateNumerator = rate.num;
        frameRateDenominator = rate.den;
    }
    double seconds = -1.0;
    if (video->duration > 0 && video->time_base.num > 0 && video->time_base.den > 0) {
        seconds = double(video->duration) * av_q2d(video->time_base);
        if (video->start_time != AV_NOPTS_VALUE)
            startSeconds = double(video->start_time) * av_q2d(video->time_base);
    } else if (format.duration > 0) {
        seconds = double(format.duration) / AV_TIME_BASE;
        if (format.start_time != AV_NOPTS_VALUE)
            startSeconds = double(format.start_time) / AV_TIME_BASE;
    }
    if (seconds > 0)
        endSeconds = startSeconds + seconds;
    if (video->nb_frames > 0) {
        expectedFrames = video->nb_frames;
        frameCountAnnounced = true;
    } else if (framesPerSecond > 0 && seconds > 0) {
        expectedFrames = qint64(std::llround(seconds * framesPerSecond));
    }
    size_t matrixSize = 0;
    const uint8_t *matrix = av_stream_get_side_data(video, AV_PKT_DATA_DISPLAYMATRIX, &matrixSize);
    if (matrix && matrixSize >= 9 * sizeof(int32_t)) {
        const double degrees = av_display_rotation_get(reinterpret_cast<const int32_t *>(matrix));
        if (std::isfinite(degrees))
            rotation = int(std::lround(-degrees)) % 360;
        if (rotation < 0)
            rotation += 360;
    }
}

double VideoProbe::announcedEndSeconds() const
{
    if (framesPerSecond <= 0)
        return -1.0;
    if (frameCountAnnounced)
        return startSeconds + double(expectedFrames) / framesPerSecond;
    return endSeconds;
}

bool VideoProbe::stopsShortOfEnd(double lastSeconds) const
{
    const double end = announcedEndSeconds();
    if (end < 0)
        return false;
    const double slack = std::max(4.0 / framesPerSecond, 0.01 * (end - startSeconds));
    return lastSeconds + slack < end;
}

QString VideoProbe::describeFailure(const QString &path)
{
    const VideoProbe probe(path);
    return path + QStringLiteral(": ")
        + (probe.problem.isEmpty() ? QStringLiteral("no picture could be decoded") : probe.problem);
}
