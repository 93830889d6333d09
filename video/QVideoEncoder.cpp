#include "video/QVideoEncoder.h"

// Placeholder until the encoder lands: the encoder never opens.
QVideoEncoder::QVideoEncoder() {}
QVideoEncoder::~QVideoEncoder() {}
bool QVideoEncoder::Close() { return false; }
int QVideoEncoder::EncodeImage(const QImage &) { return -1; }
bool QVideoEncoder::IsOk() const { return false; }
bool QVideoEncoder::OpenOutput(const QString &, int, int, int, int) { return false; }
