#pragma once
// Decodes the first video stream of a file into RGB24 QImages, frame by frame, with
// frame-exact seeking. One instance lives in the main window; during a run the tracker
// thread steps it while the GUI thread reads frameTime()/frameNumber()/lengthMs() (atomics).
//
// Frame numbers are decoding timestamps in the stream's time base: the DTS of the packet that
// completed a picture (the picture's best-effort timestamp when that packet had none). For
// AVI-style streams, whose time base is one frame period, they count 0, 1, 2, ...; for finer
// time bases (MP4 1/12800, MPEG-TS 1/90000, ...) they advance by several units per picture.
// Frame times are those numbers in milliseconds.

#include "video/FfmpegHandles.h"
#include "video/VideoProbe.h"

#include <QImage>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class QVideoDecoder
{
public:
    QVideoDecoder();
    explicit QVideoDecoder(const QString &fileName);

    // Prints the libraries' licence, version and configuration (codecs register themselves).
    virtual bool registerCodecs();
    virtual void clearHandles();
    // Diagnostic: a short summary of a format context on standard output.
    virtual void printStreamInfo(
        AVFormatContext *context, int index, const char *url, int isOutput);
    // Diagnostic: writes the first plane of a packed RGB24 picture as "frame<index>.ppm".
    virtual void writeFramePpm(const AVFrame *picture, int width, int height, int index);
    // Reads and decodes until the picture numbered at least target is held (-1: the next picture).
    virtual bool decodeUpTo(qint64 target);

    virtual ~QVideoDecoder();

    virtual bool open(const QString &fileName);
    virtual void close();
    // Copies the held picture and its number, time, target number and target time (each optional).
    virtual bool copyFrame(QImage &image, qint64 *frameNumber = nullptr,
        qint64 *frameTime = nullptr, qint64 *targetNumber = nullptr, qint64 *targetTime = nullptr);
    // Steps to the first picture numbered above both the target and the picture held.
    virtual bool seekNextFrame();
    virtual bool seekToMs(qint64 ms);
    // Frame-exact: the picture reached is pixel-identical to the one reached by stepping.
    virtual bool seekToFrame(qint64 frame);
    // Fast and not frame-exact: the first picture decoded from the key frame at or before ms
    // (for sampling a video where the exact picture does not matter).
    virtual bool seekToKeyFrameBefore(qint64 ms);
    // Decodes forward, without seeking, to the first picture at or after ms; only that picture
    // is converted to RGB, and nothing is read ahead (for sampling a video whose key frames lie
    // further apart than the samples). Holds the current picture when it is already there.
    // Pictures that no other picture refers to are skipped while still far from ms: the picture
    // reached, its number and time are those stepping reaches.
    virtual bool decodeForwardToMs(qint64 ms);
    // The video's length in ms as the demuxer last gave it (-1 when closed); any thread may
    // ask during a run, and it never waits for the decoding.
    virtual int lengthMs();
    // The time of one picture in ms, from the stream's frame rate; 0 when closed or unknown.
    virtual double framePeriodMs();
    virtual qint64 frameTime();
    virtual qint64 frameNumber();
    virtual bool isOpen();
    // What the open video's container says of it (frame count, rate, size...), as
    // VideoProbe(path) would give, without reading the file again. Not during a run.
    VideoProbe probe() const;
    // Read-ahead: while on, a helper thread decodes and converts the pictures after the one
    // just reached, a few ahead, so that they are ready when the caller steps on. Only the
    // work moves: the numbers, times and pictures every call reports are the ones decoding on
    // the caller's thread gives, and a picture read ahead is never shown before the step that
    // reaches it. Every operation other than stepping on stops the helper first. Switching it
    // off waits for the helper and ends its thread.
    virtual void setReadAhead(bool on);

    QVideoDecoder(const QVideoDecoder &) = delete;
    QVideoDecoder &operator=(const QVideoDecoder &) = delete;

private:
    qint64 toMs(qint64 number) const;
    // One picture in the stream's time base (1 when the frame rate is unknown).
    qint64 frameDuration() const;
    // The stream timestamp (frame number) of a time in ms.
    qint64 numberAtMs(qint64 ms) const;
    // Container seek to the key frame at or before timestamp, then a clean codec.
    bool seekContainer(qint64 timestamp);
    // Reads the length from the demuxer, which may refine it as it reads, into knownLengthMs;
    // called by the thread that reads packets, after each read, so that lengthMs() needs no
    // access to the demuxer and never waits for the read-ahead helper.
    void noteLength();
    // Converts decodedFrame into a fresh RGB888 image and releases the decoded picture.
    bool convertPicture(QImage *image);
    // A picture of rgbPictures that no image holds any more, or a new one; null when out of
    // memory.
    AVFrame *freeRgbPicture();
    // The codec's next picture into decodedFrame, reading and sending packets as needed.
    enum class Fetch { Picture, End };
    Fetch receivePicture();
    // The helper's loop; startReadAhead sets it reading ahead, finishReadAhead stops it and
    // waits until it is idle (the pictures it produced stay for decodeUpTo to take).
    void readAheadLoop();
    void startReadAhead();
    void finishReadAhead();
    void discardReadAhead();
    struct AheadPicture;
    // The codec's next picture from the helper, waiting for it while the helper reads ahead;
    // false when the helper has none and is stopped (the caller then decodes).
    bool takeAheadPicture(AheadPicture *picture);
    // The next packet: one kept from findFirstKeyFrame, else one read from the file.
    int readPacket();
    bool findFirstKeyFrame();
    // Whether the codec leaves out the picture of a packet about to be sent when no other
    // picture refers to it (decodeForwardToMs, far from its target), and setting it so.
    bool skipsUnseenPicture(const AVPacket &read) const;
    // Whether a codec's non-reference pictures are referred to by no other picture at all.
    static bool skipsExactly(AVCodecID id);
    void setSkipping(bool skip);

    ff::InputContextPtr formatContext; // the open file; null when closed
    int videoStream = -1; // index of the chosen stream
    ff::CodecContextPtr codecContext; // the chosen stream's decoder context
    const AVCodec *codec = nullptr; // the decoder found for it
    ff::FramePtr decodedFrame; // receives decoded pictures
    ff::FramePtr rgbFrame; // RGB24 picture of the size converted to (set at open)
    // RGB24 scaler destinations, rows padded (ff::allocatePicture); the images handed out are
    // made over them and hold their buffers. Decoding state, as the members around.
    std::vector<ff::FramePtr> rgbPictures;
    ff::PacketPtr packet; // the packet being read
    ff::SwsContextPtr conversionContext; // cached, rebuilt only when the source changes
    struct ConversionKey
    {
        int width = 0, height = 0, format = -1;
        bool fullRange = false;
        bool operator==(const ConversionKey &o) const
        {
            return width == o.width && height == o.height && format == o.format
                && fullRange == o.fullRange;
        }
    };
    ConversionKey conversionKey; // the source conversionContext was made for
    bool opened = false;
    std::atomic<int> knownLengthMs { 0 }; // lengthMs() while open; written by noteLength()

    QImage lastFrame; // the last converted picture (Format_RGB888); a fresh image per picture

    // The tracker thread steps the decoder while the GUI thread reads the current time and
    // number for the slider and the time line: atomics, so a 64-bit value is never seen
    // half-written. Everything else is touched by one thread at a time (the GUI seeks only
    // while a run is paused).
    std::atomic<qint64> currentTime { 0 }; // ms, time of the held picture
    std::atomic<qint64> currentNumber { 0 }; // number of the held picture
    qint64 previousTime = 0; // ms, time of the picture before it
    qint64 previousNumber = 0; // number of the picture before it
    qint64 targetTime = 0; // ms, the last requested number rescaled
    qint64 targetNumber = 0; // the number the decoder is meant to be at
    bool frameValid = false; // lastFrame, currentNumber and currentTime hold a picture

    // Decoding state between calls.
    bool draining = false; // end of file seen, the codec was sent the null packet
    bool skipToKeyFrame = false; // after a container seek: drop packets until a key frame
    qint64 seekKeyDts = 0; // DTS of the key frame decoding restarted from
    int picturesSinceSeek = 0; // pictures decoded since the last container seek
    bool nothingDecodedSinceOpen = false; // the first step is still to come
    qint64 firstKeyDts = 0; // DTS of the stream's first key frame
    std::deque<ff::PacketPtr> pendingPackets; // read ahead at open, decoded before reading on
    // decodeForwardToMs: packets displayed before this are sent with non-reference pictures
    // skipped (noNumber: none is skipped).
    qint64 skipBelowPts = std::numeric_limits<qint64>::min();

    // Read-ahead. The helper touches the decoding state above (format and codec contexts,
    // packets, decodedFrame, conversion) only while it reads ahead; the thread that owns the
    // decoder stops it (finishReadAhead) before it touches that state itself, so the two never
    // use it at once. Stepping on only takes the pictures the helper queued, in order.
    //
    // The helper runs ahead until it holds aheadDepth pictures and then rests until the owner
    // has taken all but aheadRefill of them; an owner that finds none waits until the helper
    // holds aheadBatch (set when the helper starts, by the picture's size). So with small
    // pictures each thread sleeps and wakes once per two pictures rather than for each one,
    // and the owner works through two pictures while its caches are warm.
    static constexpr size_t smallPictureBytes = size_t(1) << 20; // RGB24, 640 x 480 and less
    struct AheadPicture
    {
        Fetch fetch = Fetch::End; // what the helper's receivePicture gave
        // The picture converted; its number is taken from numberDts and bestEffort when the
        // step reaches it, as for a picture decoded then.
        QImage image;
        bool converted = false;
        qint64 numberDts = 0;
        qint64 bestEffort = 0;
        qint64 duration = 1; // frameDuration() then (the demuxer may refine the rate)
    };
    std::atomic<bool> readAheadOn { false }; // set by setReadAhead, read by the stepping thread
    std::thread readAheadThread; // the helper; runs while readAheadOn
    std::mutex readAheadMutex; // guards the fields below
    size_t aheadDepth = 2, aheadRefill = 0, aheadBatch = 1;
    std::condition_variable readAheadWake; // signalled on a request, a result and quitting
    bool aheadRequested = false; // the helper is to read ahead
    bool aheadBusy = false; // the helper is decoding a picture
    bool aheadRunning = false; // the helper's loop has not returned
    bool aheadQuit = false; // the helper is to end
    int ownersWaiting = 0; // calls waiting in takeAheadPicture or finishReadAhead
    bool helperResting = false; // the helper waits for room
    std::deque<AheadPicture> aheadPictures; // the codec's next pictures, End last if reached
};
