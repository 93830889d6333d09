#pragma once
// What a file holds as a video, read from its container without decoding: why it cannot be
// used as a video ("not found", "is a folder", FFmpeg's own reason, "no video stream"...),
// how many frames it announces, its size and rotation. The decoder opens what it can; this
// says why it could not, and what the user should know about what it could. Any thread; no
// shared state.

#include <QSize>
#include <QString>

struct AVFormatContext;

class VideoProbe
{
public:
    explicit VideoProbe(const QString &path);
    // The same, from a container the decoder has opened and whose streams it has probed, so
    // that the file is not read and probed a second time. The checks of the file itself that
    // come before opening it (fileProblem()) are the caller's.
    static VideoProbe ofOpenedVideo(const AVFormatContext &format);
    // Why the file cannot be opened as a video at all, found without opening it (not found, a
    // folder, a device, empty...); empty when it can be tried.
    static QString fileProblem(const QString &path);

    // "PATH: reason" for a message's second line, when a video could not be opened or
    // decoded; the reason is "no picture could be decoded" when the container looks sound.
    static QString describeFailure(const QString &path);

    // Empty when the first video stream can be decoded; else the reason, as a message shows
    // it after the file's name.
    QString problem;
    // The frames the container announces (its frame count, else its duration times the frame
    // rate); -1 when it does not say.
    qint64 expectedFrames = -1;
    // Whether expectedFrames is the container's own count, not an estimate from its duration
    // (which overstates a video whose frame rate varies).
    bool frameCountAnnounced = false;
    // When the video stream starts and ends, in seconds on the clock of its frames' times;
    // endSeconds is -1 when the container gives no duration.
    double startSeconds = 0.0;
    double endSeconds = -1.0;

    // When the video should end, on the same clock: after its frame count at its average rate
    // when the container counts its frames (a duration can be a guess from the file's size),
    // else at endSeconds; -1 when the container does not say.
    double announcedEndSeconds() const;
    // Whether frames that stop at lastSeconds (a frame's time, as the decoder gives it) fall
    // short of that end: a file cut short, or pictures that could not be decoded. False when
    // the end is not known. A frame's time is its packet's decoding time, which may come a
    // few frames before its display time.
    bool stopsShortOfEnd(double lastSeconds) const;
    double framesPerSecond = 0.0; // the stream's average frame rate; 0 when unknown
    // The same rate as the fraction the container gives (30000/1001); 0/0 when unknown.
    int frameRateNumerator = 0;
    int frameRateDenominator = 0;
    int videoStreams = 0;
    QSize size; // the coded picture size
    int rotation = 0; // degrees the picture is meant to be turned for display (0, 90...)

private:
    VideoProbe() = default;
    // Everything but problem's file checks, from an opened and probed container.
    void describe(const AVFormatContext &format);
};
