#pragma once
// Decodes the first video stream of a file into RGB24 QImages, frame by frame, with
// frame-exact seeking. One instance lives in the main window; during a run the tracker
// thread steps it while the GUI thread reads frameTime()/frameNumber() (atomics).

#include "video/FfmpegHandles.h"

#include <QImage>
#include <QString>

#include <atomic>
#include <cstdint>

class QVideoDecoder
{
public:
    QVideoDecoder();
    explicit QVideoDecoder(const QString &fileName);

    virtual bool registerCodecs();
    virtual void clearHandles();
    virtual void printStreamInfo(AVFormatContext *context, int index, const char *url, int isOutput);
    virtual void writeFramePpm(const AVFrame *picture, int width, int height, int index);
    // Reads and decodes until the picture numbered at least target is held (-1: the next picture).
    virtual bool decodeUpTo(qint64 target);

    virtual ~QVideoDecoder();

    virtual bool open(const QString &fileName);
    virtual void close();
    // Copies the held picture and its number, time, target number and target time (each optional).
    virtual bool copyFrame(QImage &image, qint64 *frameNumber = nullptr, qint64 *frameTime = nullptr,
                           qint64 *targetNumber = nullptr, qint64 *targetTime = nullptr);
    virtual bool seekNextFrame();
    virtual bool seekToMs(qint64 ms);
    virtual bool seekToFrame(qint64 frame);
    virtual int lengthMs();
    virtual qint64 frameTime();
    virtual qint64 frameNumber();
    virtual bool isOpen();

private:
    // (members: to be filled in with the decoder implementation)
};
