#pragma once
// Owning handles for FFmpeg objects, so that every early return releases what was acquired.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <string>

namespace ff {

struct InputContextDeleter
{
    void operator()(AVFormatContext *ctx) const { avformat_close_input(&ctx); }
};
struct OutputContextDeleter
{
    void operator()(AVFormatContext *ctx) const
    {
        if (ctx && ctx->pb && !(ctx->oformat->flags & AVFMT_NOFILE))
            avio_closep(&ctx->pb);
        avformat_free_context(ctx);
    }
};
struct CodecContextDeleter
{
    void operator()(AVCodecContext *ctx) const { avcodec_free_context(&ctx); }
};
struct FrameDeleter
{
    void operator()(AVFrame *frame) const { av_frame_free(&frame); }
};
struct PacketDeleter
{
    void operator()(AVPacket *packet) const { av_packet_free(&packet); }
};
struct SwsDeleter
{
    void operator()(SwsContext *ctx) const { sws_freeContext(ctx); }
};

using InputContextPtr = std::unique_ptr<AVFormatContext, InputContextDeleter>;
using OutputContextPtr = std::unique_ptr<AVFormatContext, OutputContextDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using SwsContextPtr = std::unique_ptr<SwsContext, SwsDeleter>;

// Scaler pictures: rows aligned to this many bytes, as libswscale's vector code expects.
constexpr int kPictureAlign = 64;

// A picture of the given size and format that owns its planes and is safe as a scaler
// destination or source: every row is aligned and padded to kPictureAlign bytes, and the
// allocation carries spare lines after the last row, so the scaler's vector code may write
// or read past a row's end without touching anything else. Null when allocation fails.
inline FramePtr allocatePicture(int width, int height, AVPixelFormat format)
{
    if (width <= 0 || height <= 0)
        return nullptr;
    FramePtr frame(av_frame_alloc());
    if (!frame)
        return nullptr;
    frame->width = width;
    frame->height = height;
    frame->format = format;
    if (av_frame_get_buffer(frame.get(), kPictureAlign) < 0)
        return nullptr;
    return frame;
}

// Text of an FFmpeg error code, for diagnostics.
inline std::string errorString(int code)
{
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buf, sizeof buf);
    return buf;
}

} // namespace ff
