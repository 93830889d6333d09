#include "video/QVideoEncoder.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

#include <cstdio>
#include <cstring>

namespace {

// Frame rate of every file written: the codec time base is 1/30 s.
constexpr AVRational kTimeBase = { 1, 30 };
constexpr int kEncoderThreads = 10;
} // namespace

QVideoEncoder::QVideoEncoder()
{
    // Formats and codecs register themselves in the current libraries.
    std::printf("License: %s\n", avformat_license());
    std::printf("AVCodec version %d\n", avcodec_version());
    std::printf("AVFormat configuration: %s\n", avformat_configuration());
}

QVideoEncoder::~QVideoEncoder()
{
    Close();
}

bool QVideoEncoder::IsOk() const
{
    return ok;
}

void QVideoEncoder::release()
{
    // Order: the stream goes with the format context; the converter and the frame are free
    // of the others.
    conversionContext.reset();
    packet.reset();
    picture.reset();
    sourcePicture.reset();
    codecContext.reset();
    videoStream = nullptr;
    formatContext.reset();
    outputFormat = nullptr;
    codec = nullptr;
    nextPts = 0;
    ok = false;
}

// The parameters are copied into the members of the same names, which the rest reads.
bool QVideoEncoder::OpenOutput(
    const QString &fileName, int newWidth, int newHeight, int newBitrate, int newGop)
{
    Close();
    lastOpenError.clear();
    width = newWidth;
    height = newHeight;
    bitrate = newBitrate;
    gop = newGop;

    if (width % 8 != 0 || height % 8 != 0 || width <= 0 || height <= 0) {
        std::printf("Invalid size\n");
        return false;
    }
    Settings settings;
    settings.timeBase = kTimeBase;
    settings.bitRate = bitrate;
    settings.gop = gop;
    return open(fileName, settings);
}

bool QVideoEncoder::OpenH264Output(const QString &fileName, int newWidth, int newHeight,
    AVRational frameRate, int crf, const char *encoderName)
{
    Close();
    lastOpenError.clear();
    width = newWidth;
    height = newHeight;
    bitrate = 0;
    gop = -1;

    if (width % 2 != 0 || height % 2 != 0 || width <= 0 || height <= 0) {
        lastOpenError = QStringLiteral("%1x%2 is not a size H.264 in yuv420p takes (even sides)")
                            .arg(width)
                            .arg(height);
        return false;
    }
    if (frameRate.num <= 0 || frameRate.den <= 0) {
        lastOpenError = QStringLiteral("no frame rate to write the video at");
        return false;
    }
    Settings settings;
    settings.codec = avcodec_find_encoder_by_name(encoderName);
    if (!settings.codec) {
        lastOpenError = QStringLiteral("this FFmpeg has no %1 encoder, which the H.264 (MP4) "
                                       "export needs; the MPEG export works without it")
                            .arg(QString::fromUtf8(encoderName));
        return false;
    }
    settings.format = av_guess_format("mp4", nullptr, nullptr);
    if (!settings.format) {
        lastOpenError = QStringLiteral("this FFmpeg cannot write MP4 files");
        return false;
    }
    settings.timeBase = av_inv_q(frameRate);
    settings.crf = crf;
    settings.fastStart = true;
    return open(fileName, settings);
}

bool QVideoEncoder::open(const QString &fileName, const Settings &settings)
{
    // UTF-8 is what the libraries expect, so paths with non-ASCII characters work.
    const QByteArray name = fileName.toUtf8();

    outputFormat = settings.format;
    if (!outputFormat)
        outputFormat = av_guess_format(nullptr, name.constData(), nullptr);
    if (!outputFormat) {
        std::printf("Could not deduce output format from file extension: using MPEG.\n");
        outputFormat = av_guess_format("mpeg", nullptr, nullptr);
    }

    AVFormatContext *ctx = nullptr;
    avformat_alloc_output_context2(&ctx, outputFormat, nullptr, name.constData());
    if (!ctx) {
        std::printf("Error allocating format context\n");
        release();
        return false;
    }
    formatContext.reset(ctx);
    outputFormat = ctx->oformat;

    videoStream = avformat_new_stream(formatContext.get(), nullptr);
    if (!videoStream) {
        std::printf("Could not allocate stream\n");
        release();
        return false;
    }
    videoStream->id = 0;
    // The context starts from the encoder's own defaults (libx264 refuses the generic ones);
    // a missing encoder is reported below, where the codec is opened.
    codec = settings.codec ? settings.codec : avcodec_find_encoder(outputFormat->video_codec);
    codecContext.reset(avcodec_alloc_context3(codec));
    if (!codecContext) {
        std::printf("Could not allocate stream\n");
        release();
        return false;
    }
    AVCodecContext *c = codecContext.get();
    c->codec_id = codec ? codec->id : outputFormat->video_codec;
    c->codec_type = AVMEDIA_TYPE_VIDEO;
    if (settings.bitRate > 0)
        c->bit_rate = settings.bitRate;
    c->width = width;
    c->height = height;
    c->time_base = settings.timeBase;
    c->framerate = av_inv_q(settings.timeBase);
    if (settings.gop >= 0)
        c->gop_size = settings.gop;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->thread_count = kEncoderThreads;
    if (outputFormat->flags & AVFMT_GLOBALHEADER)
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (settings.crf >= 0 && c->priv_data
        && av_opt_set_int(c->priv_data, "crf", settings.crf, 0) < 0) {
        lastOpenError = QStringLiteral("the %1 encoder takes no constant rate factor")
                            .arg(QString::fromUtf8(codec->name));
        release();
        return false;
    }
    if (settings.fastStart && formatContext->priv_data)
        av_opt_set(formatContext->priv_data, "movflags", "+faststart", 0);
    videoStream->time_base = settings.timeBase;
    avcodec_parameters_from_context(videoStream->codecpar, c);

    av_dump_format(formatContext.get(), 0, name.constData(), 1);

    if (!codec) {
        std::printf("codec not found\n");
        release();
        return false;
    }
    if (const int opened = avcodec_open2(c, codec, nullptr); opened < 0) {
        std::printf("could not open codec\n");
        if (settings.codec)
            lastOpenError = QStringLiteral("the %1 encoder refused the settings: %2")
                                .arg(QString::fromUtf8(codec->name),
                                    QString::fromStdString(ff::errorString(opened)));
        release();
        return false;
    }
    // Again after opening: the codec may have produced its global header (extradata).
    avcodec_parameters_from_context(videoStream->codecpar, c);
    // The codec's buffer and rate limits go to the stream for the muxer. Without them the
    // MPEG muxer paces its packs at the bit rate asked for, which MPEG-1 cannot come down to
    // for these pictures (even at its coarsest quantiser a frame takes several times the
    // bits), so its clock overtook the pictures and it logged "buffer underflow" on every
    // few frames. With them it knows the rate is not capped, as when ffmpeg writes the file.
    for (int i = 0; i < c->nb_coded_side_data; ++i) {
        const AVPacketSideData &data = c->coded_side_data[i];
        if (uint8_t *copy = av_stream_new_side_data(videoStream, data.type, data.size))
            std::memcpy(copy, data.data, data.size);
    }

    packet.reset(av_packet_alloc());
    if (!packet) {
        std::printf("Can't allocate memory for output bitstream\n");
        release();
        return false;
    }

    picture = ff::allocatePicture(width, height, AV_PIX_FMT_YUV420P);
    sourcePicture = ff::allocatePicture(width, height, AV_PIX_FMT_RGB32);
    if (!picture || !sourcePicture) {
        std::printf("Can't init frame\n");
        release();
        return false;
    }

    if (!(outputFormat->flags & AVFMT_NOFILE)
        && avio_open(&formatContext->pb, name.constData(), AVIO_FLAG_WRITE) < 0) {
        std::printf("Could not open '%s'\n", name.constData());
        release();
        return false;
    }

    if (avformat_write_header(formatContext.get(), nullptr) < 0) {
        std::printf("Could not write the header of '%s'\n", name.constData());
        release();
        return false;
    }
    ok = true;
    return true;
}

bool QVideoEncoder::convertImage(const QImage &image)
{
    if (image.width() != width || image.height() != height) {
        std::printf("Wrong image size!\n");
        return false;
    }
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32) {
        std::printf("Wrong image format\n");
        return false;
    }
    // AV_PIX_FMT_RGB32 is a native-endian 0xAARRGGBB word, which is QImage's layout for
    // both formats (B, G, R, A bytes on little-endian machines).
    conversionContext.reset(
        sws_getCachedContext(conversionContext.release(), width, height, AV_PIX_FMT_RGB32, width,
            height, AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!conversionContext) {
        std::printf("Cannot initialize the conversion context\n");
        return false;
    }
    // The codec may still hold a reference to the last picture sent (frame threads): then
    // this one gets planes of its own.
    if (!av_frame_is_writable(picture.get())) {
        ff::FramePtr fresh = ff::allocatePicture(width, height, AV_PIX_FMT_YUV420P);
        if (!fresh) {
            std::printf("Can't init frame\n");
            return false;
        }
        picture = std::move(fresh);
    }
    // The scaler reads and writes padded pictures only: its vector code goes past a row's
    // end, which an image's rows do not allow for. The image's rows are copied in first.
    const size_t rowBytes = size_t(width) * 4;
    for (int y = 0; y < height; ++y)
        std::memcpy(sourcePicture->data[0] + qint64(y) * sourcePicture->linesize[0],
            image.constScanLine(y), rowBytes);
    sws_scale(conversionContext.get(), sourcePicture->data, sourcePicture->linesize, 0, height,
        picture->data, picture->linesize);
    return true;
}

int QVideoEncoder::writePendingPackets()
{
    int written = 0;
    for (;;) {
        const int received = avcodec_receive_packet(codecContext.get(), packet.get());
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF)
            return written;
        if (received < 0)
            return received;
        // Codecs that hold frames back leave the duration unset; every picture lasts one
        // frame, and without it MP4's edit list would cut off the last picture.
        if (packet->duration <= 0)
            packet->duration = 1;
        av_packet_rescale_ts(packet.get(), codecContext->time_base, videoStream->time_base);
        packet->stream_index = videoStream->index;
        const int size = packet->size;
        // Takes the packet's data and leaves the packet blank for the next one.
        if (av_interleaved_write_frame(formatContext.get(), packet.get()) < 0)
            return -1;
        written += size;
    }
}

int QVideoEncoder::EncodeImage(const QImage &image)
{
    if (!IsOk())
        return -1;
    // A refused image is not encoded: the picture would still hold the previous image (or
    // nothing, for the first one).
    if (!convertImage(image))
        return -1;
    // Each picture gets the next timestamp, so the muxer sees a steady frame rate.
    picture->pts = nextPts++;
    const int sent = avcodec_send_frame(codecContext.get(), picture.get());
    if (sent < 0)
        return sent;
    return writePendingPackets();
}

bool QVideoEncoder::Close()
{
    if (!IsOk())
        return false;
    // The codec may hold pictures back (reordering, frame threads): drain them so that every
    // image handed to EncodeImage is in the file.
    bool written = true;
    if (avcodec_send_frame(codecContext.get(), nullptr) >= 0)
        written = writePendingPackets() >= 0;
    written = av_write_trailer(formatContext.get()) >= 0 && written;
    // The muxer's writes are buffered: a full disk or a file-size limit shows up when the
    // buffer is flushed, as the I/O context's error.
    lastWriteError.clear();
    if (formatContext->pb) {
        avio_flush(formatContext->pb);
        if (formatContext->pb->error < 0) {
            char reason[AV_ERROR_MAX_STRING_SIZE] = {};
            av_strerror(formatContext->pb->error, reason, sizeof reason);
            lastWriteError = QString::fromUtf8(reason);
            written = false;
        }
    }
    release();
    return written;
}
