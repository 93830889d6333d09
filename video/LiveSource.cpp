#include "video/LiveSource.h"

extern "C" {
#include <libavdevice/avdevice.h>
#include <libavutil/dict.h>
}

#include <chrono>
#include <cmath>

namespace {

struct DictionaryDeleter
{
    void operator()(AVDictionary **dictionary) const { av_dict_free(dictionary); }
};

} // namespace

LiveSource::~LiveSource()
{
    stop();
}

int64_t LiveSource::nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int LiveSource::interruptCallback(void *opaque)
{
    const LiveSource *self = static_cast<const LiveSource *>(opaque);
    return self->stopWanted || (self->cancelled && self->cancelled()) ? 1 : 0;
}

bool LiveSource::open(const Options &options, QString *error)
{
    static std::once_flag devicesRegistered;
    std::call_once(devicesRegistered, [] { avdevice_register_all(); });
    auto fail = [&](const QString &what, int code) {
        *error = QStringLiteral("%1 '%2': %3")
                     .arg(what, options.url, QString::fromStdString(ff::errorString(code)));
        input.reset();
        codec.reset();
        return false;
    };
    cancelled = options.cancelled;

    AVDictionary *settings = nullptr;
    std::unique_ptr<AVDictionary *, DictionaryDeleter> settingsOwner(&settings);
    const AVInputFormat *format = nullptr;
    const QByteArray url = options.url.toUtf8();
    if (options.url.startsWith(QLatin1String("/dev/"))) {
        format = av_find_input_format("v4l2");
        if (!format)
            return fail(QStringLiteral("No camera input (v4l2) in this FFmpeg to open"),
                AVERROR_DEMUXER_NOT_FOUND);
    }
    if (!options.inputFormat.isEmpty())
        av_dict_set(&settings, "input_format", options.inputFormat.toUtf8().constData(), 0);
    if (!options.videoSize.isEmpty())
        av_dict_set(&settings, "video_size", options.videoSize.toUtf8().constData(), 0);
    if (!options.frameRate.isEmpty())
        av_dict_set(&settings, "framerate", options.frameRate.toUtf8().constData(), 0);
    if (options.url.startsWith(QLatin1String("udp://"))) {
        // A burst the reader is slow to take must not overrun the socket: a larger kernel
        // buffer, and an overrun of the library's own one that loses packets, not the session.
        av_dict_set(&settings, "buffer_size", "8388608", 0);
        av_dict_set(&settings, "overrun_nonfatal", "1", 0);
    }
    // No more than a second read to learn the stream. (Those packets are kept: "nobuffer"
    // would throw the stream's first second away.)
    av_dict_set(&settings, "analyzeduration", "1000000", 0);

    AVFormatContext *context = avformat_alloc_context();
    if (!context)
        return fail(QStringLiteral("Cannot open"), AVERROR(ENOMEM));
    context->interrupt_callback = { &LiveSource::interruptCallback, this };
    int code = avformat_open_input(&context, url.constData(), format, &settings);
    if (code < 0) // the context is freed on failure
        return fail(QStringLiteral("Cannot open"), code);
    input.reset(context);
    if ((code = avformat_find_stream_info(context, nullptr)) < 0)
        return fail(QStringLiteral("Cannot read the streams of"), code);
    const AVCodec *decoder = nullptr;
    streamIndex = av_find_best_stream(context, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (streamIndex < 0)
        return fail(QStringLiteral("No video stream in"), streamIndex);
    const AVStream *stream = context->streams[streamIndex];
    timeBase = stream->time_base;
    const AVRational rate = stream->avg_frame_rate.num > 0 && stream->avg_frame_rate.den > 0
        ? stream->avg_frame_rate
        : stream->r_frame_rate;
    if (rate.num > 0 && rate.den > 0)
        frameStep = av_q2d(av_inv_q(rate));
    codec.reset(avcodec_alloc_context3(decoder));
    if (!codec)
        return fail(QStringLiteral("Cannot decode"), AVERROR(ENOMEM));
    if ((code = avcodec_parameters_to_context(codec.get(), stream->codecpar)) < 0)
        return fail(QStringLiteral("Cannot decode"), code);
    // Slices in parallel add no delay; frames in parallel would hold pictures back.
    codec->thread_count = 2;
    codec->thread_type = FF_THREAD_SLICE;
    codec->flags |= AV_CODEC_FLAG_LOW_DELAY;
    if ((code = avcodec_open2(codec.get(), decoder, nullptr)) < 0)
        return fail(QStringLiteral("Cannot decode"), code);
    size = QSize(codec->width, codec->height);
    if (size.isEmpty())
        return fail(QStringLiteral("No picture size in"), AVERROR_INVALIDDATA);
    openedNs = nowNs();
    reader = std::thread([this] { readLoop(); });
    return true;
}

void LiveSource::readLoop()
{
    ff::PacketPtr packet(av_packet_alloc());
    ff::FramePtr frame(av_frame_alloc());
    QString why;
    bool first = true;
    int64_t firstTimestamp = 0;
    int64_t firstWallNs = 0;
    double lastSeconds = 0.0;
    auto publish = [&](int64_t arrivalNs) {
        const int64_t ts = frame->best_effort_timestamp;
        if (first) {
            streamClock = ts != AV_NOPTS_VALUE;
            firstTimestamp = ts;
            firstWallNs = arrivalNs;
            first = false;
        }
        double seconds = lastSeconds;
        if (!streamClock)
            seconds = double(arrivalNs - firstWallNs) / 1e9;
        else if (ts != AV_NOPTS_VALUE)
            seconds = double(ts - firstTimestamp) * av_q2d(timeBase);
        // Pictures lost before decoding (a datagram the network or a full buffer lost) leave a
        // gap in the timestamps: counted as dropped, so that the indices and rows keep time.
        // A jump of more than a minute is a discontinuity of the stream, not a loss.
        qint64 lost = 0;
        const double gap = seconds - lastSeconds;
        if (streamClock && frameStep > 0 && decodedCount > 0 && gap > 1.5 * frameStep && gap < 60.0)
            lost = qint64(std::llround(gap / frameStep)) - 1;
        lastSeconds = seconds;
        ff::FramePtr kept(av_frame_alloc());
        if (!kept)
            return;
        av_frame_move_ref(kept.get(), frame.get());
        {
            std::lock_guard<std::mutex> locker(slotLock);
            if (pending.size() >= queueLength) {
                pending.pop_front();
                ++droppedCount;
            }
            decodedCount += lost;
            droppedCount += lost;
            pending.push_back({ std::move(kept), decodedCount++, seconds, arrivalNs });
        }
        slotFilled.notify_one();
    };
    auto receive = [&](int64_t arrivalNs) {
        while (avcodec_receive_frame(codec.get(), frame.get()) == 0)
            publish(arrivalNs);
    };
    while (!stopWanted) {
        const int code = av_read_frame(input.get(), packet.get());
        const int64_t arrivalNs = nowNs();
        if (code == AVERROR(EAGAIN))
            continue;
        if (code < 0) {
            if (code != AVERROR_EOF && code != AVERROR_EXIT)
                why = QString::fromStdString(ff::errorString(code));
            avcodec_send_packet(codec.get(), nullptr);
            receive(arrivalNs);
            break;
        }
        if (packet->stream_index == streamIndex
            && avcodec_send_packet(codec.get(), packet.get()) >= 0)
            receive(arrivalNs);
        av_packet_unref(packet.get());
    }
    {
        std::lock_guard<std::mutex> locker(slotLock);
        failure = why;
        finished = true;
    }
    slotFilled.notify_all();
}

bool LiveSource::take(Frame *out, int timeoutMs)
{
    ff::FramePtr picture;
    {
        std::unique_lock<std::mutex> locker(slotLock);
        slotFilled.wait_for(locker, std::chrono::milliseconds(timeoutMs),
            [this] { return !pending.empty() || finished; });
        if (pending.empty())
            return false;
        Pending &oldest = pending.front();
        picture = std::move(oldest.frame);
        out->index = oldest.index;
        out->seconds = oldest.seconds;
        out->arrivalNs = oldest.arrivalNs;
        pending.pop_front();
    }
    return convert(picture.get(), &out->image);
}

QString LiveSource::endReason() const
{
    std::lock_guard<std::mutex> locker(slotLock);
    return failure;
}

bool LiveSource::convert(const AVFrame *frame, QImage *image)
{
    // The full-range "yuvj" formats as their plain twins and the range, so that the scaler
    // is made once, not for every picture.
    AVPixelFormat source = AVPixelFormat(frame->format);
    bool fullRange = frame->color_range == AVCOL_RANGE_JPEG;
    const AVPixelFormat plain[][2] = { { AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUV420P },
        { AV_PIX_FMT_YUVJ422P, AV_PIX_FMT_YUV422P }, { AV_PIX_FMT_YUVJ444P, AV_PIX_FMT_YUV444P },
        { AV_PIX_FMT_YUVJ440P, AV_PIX_FMT_YUV440P }, { AV_PIX_FMT_YUVJ411P, AV_PIX_FMT_YUV411P } };
    for (const auto &pair : plain)
        if (source == pair[0]) {
            source = pair[1];
            fullRange = true;
        }
    // The size the session opened with: a stream that changes its size mid-way is scaled to it.
    const int key[4] = { frame->width, frame->height, int(source), fullRange ? 1 : 0 };
    if (!scaler || !std::equal(key, key + 4, scalerKey)) {
        scaler.reset(sws_getContext(frame->width, frame->height, source, size.width(),
            size.height(), AV_PIX_FMT_RGB24, SWS_BICUBIC, nullptr, nullptr, nullptr));
        if (!scaler)
            return false;
        int *inverseTable = nullptr, *table = nullptr;
        int sourceRange = 0, destinationRange = 0, brightness = 0, contrast = 0, saturation = 0;
        if (sws_getColorspaceDetails(scaler.get(), &inverseTable, &sourceRange, &table,
                &destinationRange, &brightness, &contrast, &saturation)
            >= 0)
            sws_setColorspaceDetails(scaler.get(), inverseTable, fullRange ? 1 : 0, table,
                destinationRange, brightness, contrast, saturation);
        std::copy(key, key + 4, scalerKey);
    }
    const ff::FramePtr rgb = ff::allocatePicture(size.width(), size.height(), AV_PIX_FMT_RGB24);
    if (!rgb)
        return false;
    sws_scale(
        scaler.get(), frame->data, frame->linesize, 0, frame->height, rgb->data, rgb->linesize);
    *image
        = QImage(rgb->data[0], size.width(), size.height(), rgb->linesize[0], QImage::Format_RGB888)
              .copy();
    return !image->isNull();
}

void LiveSource::stop()
{
    stopWanted = true;
    slotFilled.notify_all();
    if (reader.joinable())
        reader.join();
}
