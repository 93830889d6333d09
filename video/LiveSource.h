#pragma once
// A camera or a stream, read as it comes. A reader thread of its own reads and decodes every
// picture (a decoder needs them all) into a queue of a few pictures: a burst of pictures (a
// network hands them over in bursts) waits there for the tracker, and when the tracker falls
// behind for longer, the oldest picture is dropped and counted, so nothing queues without
// bound and the tracker is never more than a few pictures late.
// Each picture carries its 0-based index among the pictures the source sent (a gap says how
// many were dropped: by the queue, or lost before decoding, as a gap in the stream's timestamps
// longer than a frame shows), its time from the first picture (the stream's timestamps, or the
// wall clock when the stream has none) and the moment it arrived.
//
// Cameras are opened through libavdevice (v4l2 for /dev/video*, with its input format, size and
// rate passed on), anything else as a URL libavformat opens (udp://, tcp://, rtsp://, srt://,
// a file). The reader thread and the caller share the slot (slotLock) and the counters and
// stop flag (atomics).

#include "video/FfmpegHandles.h"

#include <QImage>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class LiveSource
{
public:
    struct Options
    {
        QString url; // a device (/dev/video0) or a URL
        QString inputFormat; // v4l2's input_format (mjpeg, yuyv422...), empty: the camera's
        QString videoSize; // WxH, empty: the source's
        QString frameRate; // frames per second, empty: the source's
        // Polled while opening and reading, so that a stop ends a wait for a silent source.
        std::function<bool()> cancelled;
    };

    struct Frame
    {
        QImage image; // Format_RGB888
        qint64 index = 0; // among the pictures sent, from 0
        double seconds = 0.0; // from the first picture
        int64_t arrivalNs = 0; // steady clock: when its packet was read
    };

    LiveSource() = default;
    ~LiveSource();
    LiveSource(const LiveSource &) = delete;
    LiveSource &operator=(const LiveSource &) = delete;

    // Opens the source and starts reading; false with FFmpeg's reason in *error.
    bool open(const Options &options, QString *error);
    // The oldest picture not taken yet, waiting up to timeoutMs for one; false when none came
    // (ended() then says whether the source has ended).
    bool take(Frame *frame, int timeoutMs);
    bool ended() const { return finished; }
    QString endReason() const;
    // Pictures sent (decoded, or lost on the way) and pictures the tracker never took (lost
    // ones included).
    qint64 decoded() const { return decodedCount; }
    qint64 dropped() const { return droppedCount; }
    // Whether the times are the stream's (else the wall clock's).
    bool streamTime() const { return streamClock; }
    QSize frameSize() const { return size; }
    // Stops reading and waits for the reader thread.
    void stop();

    static int64_t nowNs();

private:
    void readLoop();
    bool convert(const AVFrame *frame, QImage *image);
    static int interruptCallback(void *opaque);

    ff::InputContextPtr input;
    ff::CodecContextPtr codec;
    int streamIndex = -1;
    AVRational timeBase { 0, 1 };
    double frameStep = 0.0; // seconds between pictures at the stream's rate; 0: not known
    QSize size;
    std::atomic<bool> streamClock { true }; // set by the reader at the first picture
    std::function<bool()> cancelled; // set before opening, read by the reader thread only
    int64_t openedNs = 0;

    // Consumer side only.
    ff::SwsContextPtr scaler;
    int scalerKey[4] = { 0, 0, -1, -1 };

    std::thread reader;
    std::atomic<bool> stopWanted { false };
    std::atomic<bool> finished { false };
    std::atomic<qint64> decodedCount { 0 };
    std::atomic<qint64> droppedCount { 0 };

    struct Pending
    {
        ff::FramePtr frame;
        qint64 index = 0;
        double seconds = 0.0;
        int64_t arrivalNs = 0;
    };
    // Pictures a burst may bring before the oldest is dropped: 4, 133 ms at 30 per second.
    static constexpr size_t queueLength = 4;
    mutable std::mutex slotLock;
    std::condition_variable slotFilled; // with slotLock
    std::deque<Pending> pending; // guarded by slotLock: the pictures not taken, oldest first
    QString failure; // guarded by slotLock: why reading ended, empty at the source's end
};
