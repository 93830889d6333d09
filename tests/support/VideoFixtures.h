#pragma once
// Test videos made on the fly by the ffmpeg command-line tool: frames come from a callback and
// are piped to ffmpeg as raw RGB24. Also synthetic scenes (fish as ellipses on a textured
// background) with known positions, frames that carry their own index, damaged and non-video
// files, and ffprobe queries that give the reference for frame counts and order.
//
// Keep fixture videos small (160x120 to 320x240, a few seconds): every test program makes its
// own in its scratch folder.

#include <QImage>
#include <QPair>
#include <QPointF>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <QVector>

#include <functional>
#include <limits>

namespace fixtures {

enum class VideoFormat {
    AviMpeg4, // AVI, MPEG-4 part 2, no B-frames; time base = frame period (0, 1, 2, ...)
    AviMjpeg, // AVI, Motion JPEG (every picture a key frame); time base = frame period
    Mp4H264, // MP4, H.264 with B-frames; fine time base (1/12800 at 25 fps), negative DTS
    MkvH264, // Matroska, H.264 with B-frames; time base 1/1000
    MpegTsH264, // MPEG transport stream, H.264 with B-frames; time base 1/90000, start offset
    LosslessAvi, // AVI, FFV1 in RGB: decoded pictures equal the source images exactly
    LosslessMkv, // Matroska, FFV1 in RGB: as above with a 1/1000 time base
};

// The usual file suffix for a format (".avi", ".mp4", ...), including the dot.
QString suffixFor(VideoFormat format);

enum class AudioTrack {
    None,
    BeforeVideo, // an audio stream with index 0, the video stream second
    AfterVideo,
};

struct VideoOptions
{
    VideoFormat format = VideoFormat::AviMpeg4;
    QSize size { 160, 120 };
    int fps = 25;
    int frameCount = 50;
    int keyInterval = 12; // distance between key frames (GOP size) for the inter-frame codecs
    AudioTrack audio = AudioTrack::None;
    double startSeconds = 0.0; // timestamps of the first picture (ffmpeg's -output_ts_offset)
};

using FrameGenerator = std::function<QImage(int index)>;

// Writes a video of options.frameCount pictures, picture i being generator(i) (scaled to
// options.size if it differs). Returns false and fills *error when ffmpeg fails.
bool writeVideo(const QString &path, const VideoOptions &options, const FrameGenerator &generator,
    QString *error = nullptr);

// A file holding only an audio stream (format from the suffix: ".wav", ".mka", ".mp2", ...).
bool writeAudioOnly(const QString &path, double seconds, QString *error = nullptr);

// Copies the first keepBytes bytes of source to target (a file cut off mid-stream).
bool writeTruncatedCopy(const QString &source, const QString &target, qint64 keepBytes);

// A plain text file that no demuxer should take for a video.
bool writeTextFile(const QString &path);

// ---- Pictures that carry their index -------------------------------------------------------

// A picture whose index (0..65535) is written as 16 black/white blocks on a grey gradient, bold
// enough to survive lossy codecs; frameIndexOf reads it back (-1 when it cannot).
QImage numberedFrame(QSize size, int index);
int frameIndexOf(const QImage &image);

// ---- Synthetic scenes ------------------------------------------------------------------------

struct FishSpec
{
    QPointF center; // frame pixel coordinates
    QSizeF size { 14.0, 6.0 }; // full length and width of the ellipse
    qreal angleDegrees = 0.0; // rotation of the long axis, clockwise from the x axis
    bool dark = true; // dark (grey 20) or bright (grey 235) fish
};

// Deterministic low-contrast texture (grey values roughly 100..156) for a seed.
QImage texturedBackground(QSize size, quint32 seed);
// The background of seed with each fish drawn as a filled ellipse. Format_RGB888.
QImage drawScene(QSize size, const QVector<FishSpec> &fish, quint32 seed);

// ---- ffprobe as the reference ----------------------------------------------------------------

struct ProbedFrame
{
    qint64 pktDts = 0; // DTS of the packet that completed the picture; noPts when none
    qint64 bestEffort = 0; // the frame's best-effort timestamp
    bool keyFrame = false;
};
constexpr qint64 noPts = std::numeric_limits<qint64>::min();

// Number of pictures ffprobe decodes from the first video stream; -1 on failure.
qint64 ffprobeFrameCount(const QString &path);
// The pictures of the first video stream in the order the decoder delivers them, decoded
// single-threaded (so the packet that completes each picture is the same as in our decoder).
QVector<ProbedFrame> ffprobeFrames(const QString &path);
// Time base of the first video stream as {num, den}; {0, 0} on failure.
QPair<int, int> ffprobeTimeBase(const QString &path);

} // namespace fixtures
