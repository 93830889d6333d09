#pragma once
// Writes a sequence of QImages as a video file (container guessed from the name, MPEG
// when unknown). Used on one thread only: the export, from the GUI thread or the CLI.

#include "video/FfmpegHandles.h"

#include <QImage>
#include <QString>

class QVideoEncoder
{
public:
    QVideoEncoder();
    virtual ~QVideoEncoder();

    virtual bool Close();
    virtual int EncodeImage(const QImage &image);
    virtual bool IsOk() const;

    bool OpenOutput(const QString &fileName, int width, int height, int bitrate, int gop);

private:
    // (members: to be filled in with the encoder implementation)
};
