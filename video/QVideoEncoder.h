#pragma once
// Writes a sequence of QImages as a video file (container guessed from the name, MPEG
// when unknown). Used on one thread only: the export, from the GUI thread or the CLI.
// Status and error lines go to standard output, as the decoder's do.

#include "video/FfmpegHandles.h"

#include <QImage>
#include <QString>

#include <cstdint>
#include <memory>

class QVideoEncoder
{
public:
    // Initialises the libraries and prints their licence, version and configuration.
    QVideoEncoder();
    // Finishes the open file, if any.
    virtual ~QVideoEncoder();

    // Drains the codec, writes the trailer and releases everything. False when nothing
    // was open, or when a write failed (the file is then incomplete).
    virtual bool Close();
    // Encodes one image of the opened size, in Format_RGB32 or Format_ARGB32. Returns the
    // bytes written for it, 0 when the codec kept it back, -1 when the encoder is not open,
    // the image was refused or writing failed, or the codec's negative error code.
    virtual int EncodeImage(const QImage &image);
    virtual bool IsOk() const;

    // Creates the file (closing an open one first). Width and height must be multiples of 8.
    bool OpenOutput(const QString &fileName, int width, int height, int bitrate, int gop);
    // The system's reason for the last failed write to the file ("File too large", "No
    // space left on device"), as FFmpeg words it; empty when none failed.
    QString writeError() const { return lastWriteError; }

private:
    bool convertImage(const QImage &image);
    // Writes every packet the codec has ready; returns the bytes written or -1.
    int writePendingPackets();
    // Drops everything allocated for a file, without writing to it.
    void release();

    int32_t width = 0;
    int32_t height = 0;
    int32_t bitrate = 0;
    int32_t gop = 0;
    bool ok = false;
    ff::OutputContextPtr formatContext;
    const AVOutputFormat *outputFormat = nullptr; // library table, not owned
    ff::CodecContextPtr codecContext; // ours to free with the current API
    AVStream *videoStream = nullptr; // owned through formatContext
    const AVCodec *codec = nullptr; // library table, not owned
    ff::FramePtr picture; // YUV 4:2:0 scaler destination sent to the codec, rows padded
    ff::FramePtr sourcePicture; // the image's rows copied for the scaler, rows padded
    ff::SwsContextPtr conversionContext;
    // Reused for every packet received; the codec owns the encoded bytes now, so the
    // separate output buffer of the old encoding call is not needed.
    ff::PacketPtr packet;
    // Presentation time of the next picture, in the codec time base (1/30 s).
    int64_t nextPts = 0;
    QString lastWriteError; // set by Close() when the file's writes failed
};
