#pragma once
// Writes a sequence of QImages as a video file: MPEG-1 at a set bit rate and 30 frames per
// second (container guessed from the name, MPEG when unknown), or H.264 in MP4 at a constant
// quality and the frame rate asked for. Used on one thread only: the export, from the GUI
// thread or the CLI.
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
    // Creates an MP4 file of H.264 pictures in yuv420p from the FFmpeg encoder `encoderName`
    // (libx264) at constant rate factor `crf`, one picture per frame at `frameRate` frames per
    // second, with the index at the front so that players start before the whole file is read.
    // Width and height must be even. On failure openError() says why.
    bool OpenH264Output(const QString &fileName, int width, int height, AVRational frameRate,
        int crf, const char *encoderName = "libx264");
    // Why the last OpenOutput or OpenH264Output failed, when it was not the file ("this FFmpeg
    // has no libx264 encoder..."); empty otherwise.
    QString openError() const { return lastOpenError; }
    // The system's reason for the last failed write to the file ("File too large", "No
    // space left on device"), as FFmpeg words it; empty when none failed.
    QString writeError() const { return lastWriteError; }

private:
    // What OpenOutput and OpenH264Output differ in.
    struct Settings
    {
        const AVOutputFormat *format = nullptr; // null: guessed from the name, else MPEG
        const AVCodec *codec = nullptr; // null: the format's default encoder
        AVRational timeBase = { 1, 30 }; // one picture
        int64_t bitRate = 0; // 0: the codec's own rate control
        int gop = -1; // -1: the codec's default
        int crf = -1; // libx264's constant rate factor; -1: none
        bool fastStart = false; // MP4: index before the pictures
    };
    bool open(const QString &fileName, const Settings &settings);
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
    // Presentation time of the next picture, in the codec time base (one picture).
    int64_t nextPts = 0;
    QString lastWriteError; // set by Close() when the file's writes failed
    QString lastOpenError; // set when opening failed for a reason other than the file
};
