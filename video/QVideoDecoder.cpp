#include "video/QVideoDecoder.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/mathematics.h>
}

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

namespace {
constexpr qint64 noNumber = std::numeric_limits<qint64>::min();
constexpr AVRational milliseconds { 1, 1000 };
// How far back a frame-exact seek may go looking for a safe starting key frame: the step
// doubles with each attempt, so this covers gaps of thousands of frames.
constexpr int maxSeekAttempts = 24;
} // namespace

QVideoDecoder::QVideoDecoder()
{
    clearHandles();
    previousTime = previousNumber = noNumber;
    currentTime = currentNumber = 0;
    targetNumber = targetTime = 0;
    frameValid = false;
    registerCodecs();
}

QVideoDecoder::QVideoDecoder(const QString &fileName)
    : QVideoDecoder()
{
    opened = open(fileName);
}

QVideoDecoder::~QVideoDecoder()
{
    setReadAhead(false);
    close();
}

bool QVideoDecoder::registerCodecs()
{
    // Since FFmpeg 4 codecs and formats register themselves; what is left is the diagnostic.
    printf("License: %s\n", avformat_license());
    printf("AVCodec version %d\n", int(avcodec_version()));
    printf("AVFormat configuration: %s\n", avformat_configuration());
    return true;
}

void QVideoDecoder::clearHandles()
{
    // Releases in the reverse order of acquisition: the codec context belongs to a stream of the
    // format context. A picture read ahead goes too.
    discardReadAhead();
    opened = false;
    conversionContext.reset();
    conversionKey = ConversionKey();
    rgbFrame.reset();
    rgbPictures.clear();
    decodedFrame.reset();
    packet.reset();
    codecContext.reset();
    codec = nullptr;
    pendingPackets.clear();
    formatContext.reset();
    videoStream = -1;
    firstKeyDts = noNumber;
    draining = false;
    skipToKeyFrame = false;
    picturesSinceSeek = 0;
    seekKeyDts = noNumber;
    nothingDecodedSinceOpen = false;
}

void QVideoDecoder::printStreamInfo(
    AVFormatContext *context, int index, const char *url, int isOutput)
{
    if (!context)
        return;
    std::vector<uint8_t> printed(context->nb_streams, 0); // scratch: one byte per stream
    printf("AV_TIME_BASE: %d\n", AV_TIME_BASE);
    if (isOutput)
        printf("%s #%d, %s,\n %s '%s':\n", "Output", index,
            context->oformat ? context->oformat->name : "", "to", url ? url : "");
    else
        printf("%s #%d, %s,\n %s '%s':\n", "Input", index,
            context->iformat ? context->iformat->name : "", "from", url ? url : "");

    printf("  Duration: ");
    if (context->duration != AV_NOPTS_VALUE) {
        const int64_t duration = context->duration;
        int64_t secs = duration / AV_TIME_BASE;
        const int64_t hundredths = (duration % AV_TIME_BASE) * 100 / AV_TIME_BASE;
        int64_t mins = secs / 60;
        secs %= 60;
        const int64_t hours = mins / 60;
        mins %= 60;
        printf("%02d:%02d:%02d.%02d\n", int(hours), int(mins), int(secs), int(hundredths));
    } else {
        printf("N/A\n");
    }
    if (context->start_time != AV_NOPTS_VALUE) {
        const int64_t start = context->start_time;
        printf(", start: ");
        printf("%d.%06d\n", int(start / AV_TIME_BASE), int(std::llabs(start % AV_TIME_BASE)));
    }
    printf(", bitrate: ");
    if (context->bit_rate)
        printf("%d kb/s\n", int(context->bit_rate / 1000));
    else
        printf("N/A");
    printf("\n");

    if (context->nb_programs) {
        unsigned int total = 0;
        for (unsigned int i = 0; i < context->nb_programs; ++i) {
            const AVProgram *program = context->programs[i];
            const AVDictionaryEntry *name = av_dict_get(program->metadata, "name", nullptr, 0);
            printf("  Program %d %s\n", program->id, name ? name->value : "");
            total += program->nb_stream_indexes;
        }
        if (total < context->nb_streams)
            printf("  No Program\n");
    }
    if (context->metadata) {
        printf("  Metadata\n");
        const AVDictionaryEntry *entry = nullptr;
        while ((entry = av_dict_get(context->metadata, "", entry, AV_DICT_IGNORE_SUFFIX)))
            printf("    %-16s: %s\n", entry->key, entry->value);
    }
}

void QVideoDecoder::writeFramePpm(const AVFrame *picture, int width, int height, int index)
{
    if (!picture || width <= 0 || height <= 0)
        return;
    char name[32];
    snprintf(name, sizeof name, "frame%d.ppm", index);
    FILE *file = fopen(name, "wb");
    if (!file)
        return;
    fprintf(file, "P6\n%d %d\n255\n", width, height);
    for (int y = 0; y < height; ++y)
        fwrite(picture->data[0] + qint64(y) * picture->linesize[0], 1, size_t(width) * 3, file);
    fclose(file);
}

qint64 QVideoDecoder::toMs(qint64 number) const
{
    return av_rescale_q(number, formatContext->streams[videoStream]->time_base, milliseconds);
}

qint64 QVideoDecoder::frameDuration() const
{
    const AVStream *stream = formatContext->streams[videoStream];
    AVRational rate = stream->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        rate = stream->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        return 1;
    return std::max<qint64>(1, av_rescale_q(1, av_inv_q(rate), stream->time_base));
}

int QVideoDecoder::readPacket()
{
    if (pendingPackets.empty())
        return av_read_frame(formatContext.get(), packet.get());
    av_packet_move_ref(packet.get(), pendingPackets.front().get());
    pendingPackets.pop_front();
    return 0;
}

bool QVideoDecoder::findFirstKeyFrame()
{
    // Reads up to the stream's first video key frame and keeps the packets read for decoding,
    // so the file need not be rewound. A frame-exact seek that restarts there is known to be
    // at the start of the stream.
    constexpr int maxPackets = 2000;
    for (int i = 0; i < maxPackets; ++i) {
        ff::PacketPtr read(av_packet_alloc());
        if (!read || av_read_frame(formatContext.get(), read.get()) < 0)
            break;
        if (read->stream_index != videoStream)
            continue;
        const qint64 dts = read->dts != AV_NOPTS_VALUE ? read->dts : read->pts;
        const bool key = read->flags & AV_PKT_FLAG_KEY;
        pendingPackets.push_back(std::move(read));
        if (key) {
            firstKeyDts = dts;
            return true;
        }
    }
    if (!pendingPackets.empty()) {
        const AVPacket *first = pendingPackets.front().get();
        firstKeyDts = first->dts != AV_NOPTS_VALUE ? first->dts : first->pts;
    }
    return !pendingPackets.empty();
}

QVideoDecoder::Fetch QVideoDecoder::receivePicture()
{
    AVCodecContext *codecCtx = codecContext.get();
    int decodeErrors = 0;
    for (;;) {
        int result = avcodec_receive_frame(codecCtx, decodedFrame.get());
        if (result == 0)
            return Fetch::Picture;
        if (result == AVERROR_EOF || draining) {
            // Every picture, including those the codec held back, has been handed out.
            return Fetch::End;
        }
        if (result != AVERROR(EAGAIN)) {
            // A damaged packet: its picture is lost, the stream goes on. A codec that keeps
            // failing is given up rather than looped on.
            if (++decodeErrors > 1000)
                return Fetch::End;
            continue;
        }

        result = readPacket();
        noteLength();
        if (result < 0) {
            // End of file, or a rest that cannot be read: the null packet makes the codec
            // hand out the pictures it still holds before the end is reported.
            draining = true;
            avcodec_send_packet(codecCtx, nullptr);
            continue;
        }
        const bool wanted = packet->stream_index == videoStream
            && (!skipToKeyFrame || (packet->flags & AV_PKT_FLAG_KEY));
        if (wanted && skipToKeyFrame) {
            skipToKeyFrame = false;
            seekKeyDts = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
        }
        // A packet the codec refuses (damaged data) is dropped; the stream goes on.
        if (wanted) {
            setSkipping(skipsUnseenPicture(*packet));
            avcodec_send_packet(codecCtx, packet.get());
        }
        av_packet_unref(packet.get());
    }
}

bool QVideoDecoder::skipsExactly(AVCodecID id)
{
    switch (id) {
    case AV_CODEC_ID_H264:
    case AV_CODEC_ID_MPEG4:
    case AV_CODEC_ID_MPEG2VIDEO:
    case AV_CODEC_ID_MPEG1VIDEO:
        return true;
    default:
        return false;
    }
}

bool QVideoDecoder::skipsUnseenPicture(const AVPacket &read) const
{
    // Only packets well before the target, and only with both timestamps, so that every
    // picture handed out is still numbered by its packet's DTS.
    return skipBelowPts != noNumber && read.pts != AV_NOPTS_VALUE && read.dts != AV_NOPTS_VALUE
        && read.pts < skipBelowPts;
}

void QVideoDecoder::setSkipping(bool skip)
{
    // The codec reads the setting for each packet it is sent (slice threads only: with frame
    // threads a worker would take it over at its own time).
    const AVDiscard wanted = skip ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
    if (codecContext->skip_frame != wanted)
        codecContext->skip_frame = wanted;
}

bool QVideoDecoder::decodeUpTo(qint64 target)
{
    if (!opened)
        return false;
    nothingDecodedSinceOpen = false;

    // The held picture answers for every number in its span (previousNumber, currentNumber].
    if (target != -1 && frameValid && previousNumber <= target && target <= currentNumber) {
        targetTime = toMs(target);
        return true;
    }

    QImage image;
    bool converted = false;
    for (;;) {
        // The pictures read ahead, if any, come first: they are the codec's next ones.
        AheadPicture ahead;
        const bool readAhead = takeAheadPicture(&ahead);
        Fetch fetch;
        qint64 dts = AV_NOPTS_VALUE, bestEffort = AV_NOPTS_VALUE;
        if (readAhead) {
            fetch = ahead.fetch;
            dts = ahead.numberDts;
            bestEffort = ahead.bestEffort;
        } else {
            fetch = receivePicture();
            if (fetch == Fetch::Picture) {
                dts = decodedFrame->pkt_dts;
                bestEffort = decodedFrame->best_effort_timestamp;
            }
        }
        if (fetch == Fetch::End) {
            frameValid = false;
            return false;
        }
        // The number is the DTS of the packet that completed the picture. Pictures handed
        // out while draining, and packets that came without a DTS, fall back to the
        // picture's best-effort timestamp.
        qint64 number = dts;
        if (number == AV_NOPTS_VALUE)
            number = bestEffort;
        if (number == AV_NOPTS_VALUE)
            number
                = frameValid ? currentNumber + (readAhead ? ahead.duration : frameDuration()) : 0;
        const qint64 time = toMs(number);
        ++picturesSinceSeek;
        if (!frameValid) {
            frameValid = true;
            previousTime = time;
            previousNumber = number;
        } else {
            previousTime = currentTime;
            previousNumber = currentNumber;
        }
        currentTime = time;
        currentNumber = number;
        if (target == -1 || number >= target) {
            if (readAhead) {
                image = std::move(ahead.image);
                converted = ahead.converted;
            } else {
                converted = convertPicture(&image);
            }
            break;
        }
        // A picture read ahead and passed over is released here, as one decoded here would be.
    }

    if (!converted) {
        frameValid = false;
        return false;
    }
    lastFrame = image;
    targetTime = toMs(target);
    frameValid = true;
    return true;
}

void QVideoDecoder::setReadAhead(bool on)
{
    readAheadOn = on;
    if (on && !readAheadThread.joinable()) {
        {
            std::lock_guard<std::mutex> lock(readAheadMutex);
            aheadQuit = false;
            aheadRunning = true;
            // Small pictures: the caller's planes of one picture stay in its core's cache
            // while it works through two in a row. Larger ones gain nothing from that, and
            // more pictures in flight only add memory traffic.
            const bool small = rgbFrame
                && size_t(rgbFrame->width) * size_t(rgbFrame->height) * 3 <= smallPictureBytes;
            aheadDepth = small ? 3 : 2;
            aheadRefill = small ? 1 : 0;
            aheadBatch = small ? 2 : 1;
        }
        readAheadThread = std::thread([this] { readAheadLoop(); });
    } else if (!on && readAheadThread.joinable()) {
        {
            std::lock_guard<std::mutex> lock(readAheadMutex);
            aheadQuit = true;
        }
        readAheadWake.notify_all();
        // The helper finishes a picture it has started; the pictures stay for the next steps.
        readAheadThread.join();
    }
}

void QVideoDecoder::readAheadLoop()
{
    std::unique_lock<std::mutex> lock(readAheadMutex);
    bool filling = true; // false once full, until the owner has taken all but aheadRefill
    for (;;) {
        const auto room = [this, &filling] {
            return aheadPictures.size() < (filling ? aheadDepth : aheadRefill + 1);
        };
        if (!aheadQuit && !(aheadRequested && room())) {
            helperResting = true;
            readAheadWake.wait(lock, [&] { return aheadQuit || (aheadRequested && room()); });
            helperResting = false;
        }
        if (aheadQuit)
            break;
        aheadBusy = true;
        lock.unlock();
        // The owner stops the helper before it touches any of this.
        AheadPicture picture;
        picture.fetch = receivePicture();
        if (picture.fetch == Fetch::Picture) {
            picture.numberDts = decodedFrame->pkt_dts;
            picture.bestEffort = decodedFrame->best_effort_timestamp;
            picture.duration = frameDuration();
            picture.converted = convertPicture(&picture.image);
        }
        lock.lock();
        aheadBusy = false;
        const bool end = picture.fetch == Fetch::End;
        aheadPictures.push_back(std::move(picture));
        if (end)
            aheadRequested = false; // nothing follows
        filling = aheadPictures.size() < aheadDepth;
        if (ownersWaiting > 0 && (end || aheadPictures.size() >= aheadBatch || !aheadRequested))
            readAheadWake.notify_all();
    }
    aheadRunning = false;
    readAheadWake.notify_all();
}

void QVideoDecoder::startReadAhead()
{
    if (!readAheadOn || !readAheadThread.joinable() || !opened)
        return;
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(readAheadMutex);
        if (!aheadPictures.empty() && aheadPictures.back().fetch == Fetch::End)
            return; // the end is queued already
        wake = helperResting && (!aheadRequested || aheadPictures.size() <= aheadRefill);
        aheadRequested = true;
    }
    if (wake)
        readAheadWake.notify_all();
}

void QVideoDecoder::finishReadAhead()
{
    std::unique_lock<std::mutex> lock(readAheadMutex);
    const bool wasRequested = aheadRequested;
    aheadRequested = false;
    // A step waiting for pictures learns that no more are coming.
    if (wasRequested && ownersWaiting > 0)
        readAheadWake.notify_all();
    if (aheadBusy) {
        ++ownersWaiting;
        readAheadWake.wait(lock, [this] { return !aheadBusy; });
        --ownersWaiting;
    }
}

void QVideoDecoder::discardReadAhead()
{
    finishReadAhead();
    std::lock_guard<std::mutex> lock(readAheadMutex);
    aheadPictures.clear();
}

bool QVideoDecoder::takeAheadPicture(AheadPicture *picture)
{
    std::unique_lock<std::mutex> lock(readAheadMutex);
    // A helper that reads ahead is the only one to decode: wait for a few of its pictures
    // (or its end) when it has none ready.
    const auto producing = [this] { return aheadRequested && aheadRunning; };
    if (aheadPictures.empty() && (producing() || aheadBusy)) {
        ++ownersWaiting;
        readAheadWake.wait(lock, [&] {
            return aheadPictures.size() >= aheadBatch
                || (!aheadPictures.empty() && aheadPictures.back().fetch == Fetch::End)
                || (!producing() && !aheadBusy);
        });
        --ownersWaiting;
    }
    if (aheadPictures.empty())
        return false; // the helper is idle and stays so: the caller decodes
    *picture = std::move(aheadPictures.front());
    aheadPictures.pop_front();
    return true;
}

bool QVideoDecoder::convertPicture(QImage *converted)
{
    const AVFrame *frame = decodedFrame.get();
    // The size the RGB picture was made for at open: the codec context's may change with the
    // stream, and the scaler must never write a larger picture than the buffer holds.
    const int width = rgbFrame->width;
    const int height = rgbFrame->height;
    // The source is described by the picture itself, so a stream that changes its size or
    // pixel format mid-way is still converted (scaled to the size the RGB buffer was made for).
    // The deprecated full-range "yuvj" formats are given as their plain counterparts plus the
    // range: otherwise swscale substitutes them internally, the cache never matches and the
    // context would be rebuilt for every picture.
    AVPixelFormat source = AVPixelFormat(frame->format);
    bool fullRange = frame->color_range == AVCOL_RANGE_JPEG;
    switch (source) {
    case AV_PIX_FMT_YUVJ420P:
        source = AV_PIX_FMT_YUV420P;
        fullRange = true;
        break;
    case AV_PIX_FMT_YUVJ422P:
        source = AV_PIX_FMT_YUV422P;
        fullRange = true;
        break;
    case AV_PIX_FMT_YUVJ444P:
        source = AV_PIX_FMT_YUV444P;
        fullRange = true;
        break;
    case AV_PIX_FMT_YUVJ440P:
        source = AV_PIX_FMT_YUV440P;
        fullRange = true;
        break;
    case AV_PIX_FMT_YUVJ411P:
        source = AV_PIX_FMT_YUV411P;
        fullRange = true;
        break;
    default:
        break;
    }
    // A context is made only when the source changes, and its colour range set then. (The
    // library's cached contexts cannot be used: they are made anew for every picture whose
    // settings the library adjusts, such as full chroma for unsubsampled sources and odd
    // widths, and a new context at the old one's address would keep the default range.)
    const ConversionKey key { frame->width, frame->height, int(source), fullRange };
    if (!conversionContext || !(key == conversionKey)) {
        conversionKey = ConversionKey();
        conversionContext.reset(sws_getContext(frame->width, frame->height, source, width, height,
            AV_PIX_FMT_RGB24, SWS_BICUBIC, nullptr, nullptr, nullptr));
        if (!conversionContext) {
            printf("Cannot initialize the conversion context!\n");
            return false;
        }
        SwsContext *made = conversionContext.get();
        int *inverseTable = nullptr, *table = nullptr;
        int sourceRange = 0, destinationRange = 0, brightness = 0, contrast = 0, saturation = 0;
        if (sws_getColorspaceDetails(made, &inverseTable, &sourceRange, &table, &destinationRange,
                &brightness, &contrast, &saturation)
            >= 0)
            sws_setColorspaceDetails(made, inverseTable, fullRange ? 1 : 0, table, destinationRange,
                brightness, contrast, saturation);
        conversionKey = key;
    }

    // The scaler writes into a picture of its own, whose rows are padded for its vector code
    // (it writes past a row's end and past the last row on many widths), and the image is
    // made over that picture's rows, without a copy. The image holds a reference to the
    // picture's buffer; a picture is written again only once no image holds it, so copies
    // handed out earlier stay unchanged.
    AVFrame *picture = freeRgbPicture();
    AVBufferRef *reference = picture ? av_buffer_ref(picture->buf[0]) : nullptr;
    if (!reference)
        return false;
    sws_scale(conversionContext.get(), frame->data, frame->linesize, 0, frame->height,
        picture->data, picture->linesize);
    QImage image(
        picture->data[0], width, height, picture->linesize[0], QImage::Format_RGB888,
        [](void *info) {
            AVBufferRef *held = static_cast<AVBufferRef *>(info);
            av_buffer_unref(&held);
        },
        reference);
    if (image.isNull()) {
        av_buffer_unref(&reference);
        return false;
    }
    *converted = image;
    av_frame_unref(decodedFrame.get());
    return true;
}

AVFrame *QVideoDecoder::freeRgbPicture()
{
    for (const ff::FramePtr &picture : rgbPictures)
        if (av_buffer_is_writable(picture->buf[0]))
            return picture.get();
    // All held by images: a new picture. Pictures still held when the pool is full leave it
    // (their images keep them alive), so a caller that keeps many images never makes the pool
    // keep their memory after it lets them go.
    constexpr size_t poolSize = 6;
    if (rgbPictures.size() >= poolSize)
        rgbPictures.clear();
    ff::FramePtr fresh = ff::allocatePicture(rgbFrame->width, rgbFrame->height, AV_PIX_FMT_RGB24);
    if (!fresh)
        return nullptr;
    rgbPictures.push_back(std::move(fresh));
    return rgbPictures.back().get();
}

bool QVideoDecoder::open(const QString &fileName)
{
    close();
    previousTime = previousNumber = noNumber;
    currentTime = currentNumber = 0;
    targetNumber = targetTime = 0;
    frameValid = false;

    // Everything is acquired into locals and handed to the members only when the whole open
    // succeeded, so a failure part-way releases what it took.
    const QByteArray path = fileName.toUtf8(); // FFmpeg takes UTF-8 file names
    AVFormatContext *rawFormat = nullptr;
    if (fileName.isEmpty()
        || avformat_open_input(&rawFormat, path.constData(), nullptr, nullptr) != 0)
        return false;
    ff::InputContextPtr format(rawFormat);
    if (avformat_find_stream_info(format.get(), nullptr) < 0)
        return false;
    av_dump_format(format.get(), 0, path.constData(), 0);

    // The first video stream in stream order (not the library's "best" stream).
    int streamIndex = -1;
    for (unsigned int i = 0; i < format->nb_streams; ++i) {
        if (format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            streamIndex = int(i);
            break;
        }
    }
    if (streamIndex < 0)
        return false;
    AVStream *stream = format->streams[streamIndex];

    const AVCodec *decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!decoder)
        return false;
    ff::CodecContextPtr context(avcodec_alloc_context3(decoder));
    if (!context || avcodec_parameters_to_context(context.get(), stream->codecpar) < 0)
        return false;
    context->pkt_timebase = stream->time_base;
    // Slice threads only. Frame threads give the same pictures, numbers and times (tried on
    // AVI MPEG-4 and MJPEG, MP4, MKV and TS H.264, MP4 HEVC, MPEG-2, WebM VP9 and FFV1), but
    // with the read-ahead thread already decoding beside the tracker they made runs both
    // slower and costlier on two cores (1920x1080: 7% more wall time, 8% more CPU time).
    context->thread_type = FF_THREAD_SLICE;
    context->thread_count = 0;
    if (avcodec_open2(context.get(), decoder, nullptr) < 0)
        return false;
    if (context->width <= 0 || context->height <= 0)
        return false;

    ff::FramePtr decoded(av_frame_alloc());
    ff::FramePtr rgb = ff::allocatePicture(context->width, context->height, AV_PIX_FMT_RGB24);
    ff::PacketPtr readPacket(av_packet_alloc());
    if (!decoded || !rgb || !readPacket)
        return false;

    formatContext = std::move(format);
    videoStream = streamIndex;
    codecContext = std::move(context);
    codec = decoder;
    decodedFrame = std::move(decoded);
    rgbFrame = std::move(rgb);
    packet = std::move(readPacket);
    opened = true;
    findFirstKeyFrame();
    noteLength();
    nothingDecodedSinceOpen = true;
    return true;
}

VideoProbe QVideoDecoder::probe() const
{
    if (!formatContext)
        return VideoProbe(QString());
    return VideoProbe::ofOpenedVideo(*formatContext);
}

void QVideoDecoder::close()
{
    // Releases whatever is held, also after an open that failed part-way.
    clearHandles();
    frameValid = false;
}

bool QVideoDecoder::copyFrame(QImage &image, qint64 *frameNumber, qint64 *frameTime,
    qint64 *targetNumberOut, qint64 *targetTimeOut)
{
    image = lastFrame;
    if (frameNumber)
        *frameNumber = currentNumber;
    if (frameTime)
        *frameTime = currentTime;
    if (targetNumberOut)
        *targetNumberOut = targetNumber;
    if (targetTimeOut)
        *targetTimeOut = targetTime;
    return frameValid;
}

bool QVideoDecoder::seekNextFrame()
{
    // The helper reading ahead is not stopped: the step takes its pictures.
    // Ask for the first picture numbered above both the target and the held picture. For a
    // stream numbered 0, 1, 2, ... this is target + 1 (after open: picture 1, passing over
    // picture 0); for a finer time base, where one picture spans several numbers, it is the
    // next picture rather than the held one again.
    // Straight after opening, the first picture counts as held whatever its number: a
    // container whose times start after 0 (or before it) numbers it above 0 (or below), and
    // the first step must still deliver the video's second picture.
    if (nothingDecodedSinceOpen) {
        if (!decodeUpTo(-1)) {
            frameValid = false;
            return false;
        }
        targetNumber = currentNumber;
    }
    qint64 above = targetNumber;
    if (frameValid)
        above = std::max<qint64>(above, currentNumber);
    const qint64 request = above + 1;
    if (decodeUpTo(request)) {
        targetNumber = request;
        // The next step's picture is decoded while the caller works on this one.
        startReadAhead();
        return true;
    }
    frameValid = false;
    return false;
}

qint64 QVideoDecoder::numberAtMs(qint64 ms) const
{
    const AVRational base = formatContext->streams[videoStream]->time_base;
    return av_rescale(ms, base.den, base.num) / 1000;
}

bool QVideoDecoder::seekToMs(qint64 ms)
{
    if (!opened)
        return false;
    finishReadAhead();
    const qint64 number = numberAtMs(ms);
    targetNumber = number;
    return seekToFrame(number);
}

bool QVideoDecoder::seekToKeyFrameBefore(qint64 ms)
{
    if (!opened)
        return false;
    finishReadAhead();
    if (!seekContainer(numberAtMs(ms)) || !decodeUpTo(-1))
        return false;
    targetNumber = currentNumber;
    return true;
}

bool QVideoDecoder::decodeForwardToMs(qint64 ms)
{
    if (!opened)
        return false;
    finishReadAhead();
    const qint64 number = numberAtMs(ms);
    if (frameValid && number <= currentNumber)
        return true;
    // Pictures no other picture refers to are not decoded while far from the target: the
    // reference pictures, and so the picture reached, come out bit for bit as without. The
    // codec hands out its pictures in display order, at most has_b_frames behind; the held
    // ones are those of the highest display times decoded so far. Every packet from the margin
    // on is decoded whole, and it holds more than that many pictures whose display times lie
    // above those of any skipped one, so the pictures held, handed out and numbered from the
    // target on are the same as without skipping.
    // Only for codecs whose non-reference pictures no picture refers to: an HEVC sub-layer
    // non-reference picture may be referred to by a picture of a higher temporal sub-layer.
    const qint64 margin
        = (2 * qint64(std::max(codecContext->has_b_frames, 0)) + 4) * frameDuration();
    if (skipsExactly(codecContext->codec_id))
        skipBelowPts = number - margin;
    const bool reached = decodeUpTo(number);
    skipBelowPts = noNumber;
    setSkipping(false);
    if (!reached)
        return false;
    targetNumber = number;
    return true;
}

bool QVideoDecoder::seekContainer(qint64 timestamp)
{
    AVFormatContext *format = formatContext.get();
    // The key frame at or before the timestamp; when there is none (a timestamp before the
    // first key frame), the first one after it.
    int result = avformat_seek_file(
        format, videoStream, std::numeric_limits<int64_t>::min(), timestamp, timestamp, 0);
    if (result < 0)
        result = avformat_seek_file(format, videoStream, std::numeric_limits<int64_t>::min(),
            timestamp, std::numeric_limits<int64_t>::max(), 0);
    if (result < 0)
        return false;
    noteLength();
    discardReadAhead();
    pendingPackets.clear();
    avcodec_flush_buffers(codecContext.get());
    setSkipping(false);
    draining = false;
    // Some containers (MPEG-TS) land on any packet: decoding restarts at the next key frame.
    skipToKeyFrame = true;
    seekKeyDts = noNumber;
    picturesSinceSeek = 0;
    frameValid = false;
    return true;
}

bool QVideoDecoder::seekToFrame(qint64 frame)
{
    if (!opened)
        return false;
    finishReadAhead();
    if (frameValid && previousNumber < frame && frame <= currentNumber)
        return decodeUpTo(frame);

    qint64 seekTarget = frame;
    qint64 step = frameDuration();
    for (int attempt = 0;; ++attempt) {
        if (!seekContainer(seekTarget))
            return false;
        targetNumber = frame;
        const bool reached = decodeUpTo(frame);
        const bool atStreamStart
            = firstKeyDts != noNumber && seekKeyDts != noNumber && seekKeyDts <= firstKeyDts;
        if (!reached) {
            // The end came before the target. When not a single picture was decoded, the seek
            // landed behind the last key frame (MPEG-TS): start further back. Otherwise the
            // target lies beyond the last picture.
            if (picturesSinceSeek > 0 || atStreamStart || attempt + 1 >= maxSeekAttempts)
                return false;
            seekTarget -= step;
            step *= 2;
            continue;
        }
        // The picture numbered frame in stepping is the first picture numbered at least frame.
        // That is certain only when another picture was decoded before it since the seek: a
        // container may land after the target (MPEG-TS lands on any packet, and decoding
        // restarts at the next key frame), and right after a restart the codec's reordering
        // may number its first picture differently. Otherwise start further back, unless
        // decoding restarted at the stream's first key frame, exactly as after open.
        if (picturesSinceSeek > 1 || atStreamStart || attempt + 1 >= maxSeekAttempts)
            return true;
        const qint64 restartedFrom = seekKeyDts != noNumber ? seekKeyDts : seekTarget;
        seekTarget = std::min(seekTarget, restartedFrom) - step;
        step *= 2;
    }
}

double QVideoDecoder::framePeriodMs()
{
    if (!isOpen())
        return 0.0;
    const AVStream *stream = formatContext->streams[videoStream];
    AVRational rate = stream->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        rate = stream->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        return 0.0;
    return 1000.0 * rate.den / rate.num;
}

int QVideoDecoder::lengthMs()
{
    if (!isOpen())
        return -1;
    return knownLengthMs.load(std::memory_order_relaxed);
}

void QVideoDecoder::noteLength()
{
    int64_t duration = formatContext->duration;
    if (duration == AV_NOPTS_VALUE) {
        // No container duration: take the stream's own, or report 0 rather than garbage.
        const AVStream *stream = formatContext->streams[videoStream];
        if (stream->duration == AV_NOPTS_VALUE) {
            knownLengthMs.store(0, std::memory_order_relaxed);
            return;
        }
        duration
            = av_rescale_q(stream->duration, stream->time_base, AVRational { 1, AV_TIME_BASE });
    }
    knownLengthMs.store(
        int((duration / 1000000) * 1000 + (duration % 1000000) / 1000), std::memory_order_relaxed);
}

qint64 QVideoDecoder::frameTime()
{
    return currentTime;
}

qint64 QVideoDecoder::frameNumber()
{
    return currentNumber;
}

bool QVideoDecoder::isOpen()
{
    return opened;
}
