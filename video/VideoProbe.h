#pragma once
// What a file holds as a video, read from its container without decoding: why it cannot be
// used as a video ("not found", "is a folder", FFmpeg's own reason, "no video stream"...),
// how many frames it announces, its size and rotation. The decoder opens what it can; this
// says why it could not, and what the user should know about what it could. Any thread; no
// shared state.

#include <QSize>
#include <QString>

class VideoProbe
{
public:
    explicit VideoProbe(const QString &path);

    // "PATH: reason" for a message's second line, when a video could not be opened or
    // decoded; the reason is "no picture could be decoded" when the container looks sound.
    static QString describeFailure(const QString &path);

    // Empty when the first video stream can be decoded; else the reason, as a message shows
    // it after the file's name.
    QString problem;
    // The frames the container announces (its frame count, else its duration times the frame
    // rate); -1 when it does not say.
    qint64 expectedFrames = -1;
    double framesPerSecond = 0.0; // the stream's average frame rate; 0 when unknown
    // The same rate as the fraction the container gives (30000/1001); 0/0 when unknown.
    int frameRateNumerator = 0;
    int frameRateDenominator = 0;
    int videoStreams = 0;
    QSize size; // the coded picture size
    int rotation = 0; // degrees the picture is meant to be turned for display (0, 90...)
};
