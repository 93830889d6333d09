#include "video/QVideoDecoder.h"

// Placeholder until the decoder lands: every operation reports failure.
QVideoDecoder::QVideoDecoder() {}
QVideoDecoder::QVideoDecoder(const QString &) {}
QVideoDecoder::~QVideoDecoder() {}
bool QVideoDecoder::registerCodecs() { return true; }
void QVideoDecoder::clearHandles() {}
void QVideoDecoder::printStreamInfo(AVFormatContext *, int, const char *, int) {}
void QVideoDecoder::writeFramePpm(const AVFrame *, int, int, int) {}
bool QVideoDecoder::decodeUpTo(qint64) { return false; }
bool QVideoDecoder::open(const QString &) { return false; }
void QVideoDecoder::close() {}
bool QVideoDecoder::copyFrame(QImage &, qint64 *, qint64 *, qint64 *, qint64 *) { return false; }
bool QVideoDecoder::seekNextFrame() { return false; }
bool QVideoDecoder::seekToMs(qint64) { return false; }
bool QVideoDecoder::seekToFrame(qint64) { return false; }
int QVideoDecoder::lengthMs() { return -1; }
qint64 QVideoDecoder::frameTime() { return 0; }
qint64 QVideoDecoder::frameNumber() { return 0; }
bool QVideoDecoder::isOpen() { return false; }
