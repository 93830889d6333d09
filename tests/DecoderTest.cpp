// QVideoDecoder against small videos made by the fixtures, with ffprobe as the reference for
// the number and order of pictures.

#include "support/TestUtils.h"
#include "support/VideoFixtures.h"
#include "video/QVideoDecoder.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QtTest>

#include <algorithm>
#include <cstring>

using namespace fixtures;

namespace {

struct Picture
{
    qint64 number = 0;
    qint64 time = 0;
    QImage image;
};

// The number ffprobe gives a picture: the DTS of the packet that completed it, else its
// best-effort timestamp.
qint64 probedNumber(const ProbedFrame &frame)
{
    return frame.pktDts != noPts ? frame.pktDts : frame.bestEffort;
}

qint64 msOf(qint64 number, QPair<int, int> timeBase)
{
    return qRound64(double(number) * 1000.0 * timeBase.first / timeBase.second);
}

// Steps from the current position to the end, keeping every picture.
QVector<Picture> stepToEnd(QVideoDecoder &decoder)
{
    QVector<Picture> pictures;
    while (decoder.seekNextFrame()) {
        Picture picture;
        if (!decoder.copyFrame(picture.image, &picture.number, &picture.time))
            break;
        pictures.append(picture);
    }
    return pictures;
}

// What stepping from open delivers, after ffprobe: every picture but the first, whatever the
// number the container gives it, by their position in the stream (which the numbered frames
// carry as their index).
struct Expected
{
    QVector<qint64> numbers;
    QVector<int> indices;
};
Expected expectedAfterOpen(const QVector<ProbedFrame> &probed)
{
    Expected expected;
    for (int i = 1; i < probed.size(); ++i) {
        expected.numbers.append(probedNumber(probed[i]));
        expected.indices.append(i);
    }
    return expected;
}

int openFileCount()
{
    return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size();
}

} // namespace

class DecoderTest : public QObject
{
    Q_OBJECT

private:
    QString makeVideo(const QString &name, VideoOptions options)
    {
        const QString path = testutils::scratchPath(name + suffixFor(options.format));
        if (!QFile::exists(path)) {
            QString error;
            const QSize size = options.size;
            if (!writeVideo(
                    path, options, [size](int i) { return numberedFrame(size, i); }, &error))
                qWarning("%s", qPrintable(error));
        }
        return path;
    }

    // The containers every ordering and seeking check runs on.
    void containerRows()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("avi-mpeg4") << int(VideoFormat::AviMpeg4);
        QTest::newRow("avi-mjpeg") << int(VideoFormat::AviMjpeg);
        QTest::newRow("mp4-h264-bframes") << int(VideoFormat::Mp4H264);
        QTest::newRow("mkv-h264") << int(VideoFormat::MkvH264);
        QTest::newRow("mpegts-h264") << int(VideoFormat::MpegTsH264);
        QTest::newRow("mkv-ffv1-lossless") << int(VideoFormat::LosslessMkv);
    }

    QString containerVideo(int format)
    {
        VideoOptions options;
        options.format = VideoFormat(format);
        options.frameCount = 40;
        options.keyInterval = 12;
        return makeVideo(QStringLiteral("order-%1").arg(format), options);
    }

private slots:
    void closedDecoderRefusesEverything()
    {
        QVideoDecoder decoder;
        QVERIFY(!decoder.isOpen());
        QCOMPARE(decoder.lengthMs(), -1);
        // Seeking a decoder without a file must not touch a container that is not there.
        QVERIFY(!decoder.seekToFrame(10));
        QVERIFY(!decoder.seekToMs(1000));
        QVERIFY(!decoder.seekNextFrame());
        QImage image;
        QVERIFY(!decoder.copyFrame(image));
        QCOMPARE(decoder.frameNumber(), 0);
        QCOMPARE(decoder.frameTime(), 0);
    }

    // Every picture once and in order, numbered as ffprobe numbers them. After open the first
    // step delivers the second picture, whatever the container's start time; a seek to the
    // first number then gives all of them.
    void steppingDeliversEveryPictureOnce_data() { containerRows(); }
    void steppingDeliversEveryPictureOnce()
    {
        QFETCH(int, format);
        const QString path = containerVideo(format);
        const QVector<ProbedFrame> probed = ffprobeFrames(path);
        QCOMPARE(ffprobeFrameCount(path), qint64(40));
        QCOMPARE(probed.size(), 40);
        const QPair<int, int> timeBase = ffprobeTimeBase(path);

        const Expected expected = expectedAfterOpen(probed);

        QVideoDecoder decoder;
        QVERIFY(decoder.open(path));
        const QVector<Picture> pictures = stepToEnd(decoder);
        QVector<qint64> numbers;
        QVector<int> indices;
        for (const Picture &p : pictures) {
            numbers.append(p.number);
            indices.append(frameIndexOf(p.image));
            QCOMPARE(p.time, msOf(p.number, timeBase));
        }
        QCOMPARE(numbers, expected.numbers);
        QCOMPARE(indices, expected.indices);

        // From the very first picture: all 40.
        QVERIFY(decoder.seekToFrame(probedNumber(probed.first())));
        QImage first;
        QVERIFY(decoder.copyFrame(first));
        QCOMPARE(frameIndexOf(first), 0);
        const QVector<Picture> rest = stepToEnd(decoder);
        QCOMPARE(rest.size() + 1, 40);
        for (int i = 0; i < rest.size(); ++i)
            QCOMPARE(frameIndexOf(rest[i].image), i + 1);
    }

    // The picture reached by seeking is pixel-identical to the one reached by stepping, on key
    // frames and between them, jumping backwards (a real seek every time) and forwards, and
    // for numbers that fall between two pictures.
    void seekToFrameMatchesStepping_data() { containerRows(); }
    void seekToFrameMatchesStepping()
    {
        QFETCH(int, format);
        const QString path = containerVideo(format);
        const QVector<ProbedFrame> probed = ffprobeFrames(path);
        QCOMPARE(probed.size(), 40);

        QVideoDecoder decoder;
        QVERIFY(decoder.open(path));
        QVERIFY(decoder.seekToFrame(probedNumber(probed.first())));
        QVector<Picture> stepped(1);
        QVERIFY(decoder.copyFrame(stepped[0].image, &stepped[0].number, &stepped[0].time));
        stepped += stepToEnd(decoder);
        QCOMPARE(stepped.size(), 40);

        QVector<int> order;
        for (int i = stepped.size() - 1; i >= 0; --i)
            order.append(i);
        for (int i = 0; i < stepped.size(); i += 7)
            order.append(i);
        int keyFrames = 0, otherFrames = 0;
        for (int i : order) {
            (probed[i].keyFrame ? keyFrames : otherFrames)++;
            QVERIFY2(decoder.seekToFrame(stepped[i].number), qPrintable(QString::number(i)));
            Picture reached;
            QVERIFY(decoder.copyFrame(reached.image, &reached.number, &reached.time));
            QCOMPARE(reached.number, stepped[i].number);
            QCOMPARE(reached.time, stepped[i].time);
            QCOMPARE(decoder.frameNumber(), stepped[i].number);
            QVERIFY2(
                reached.image == stepped[i].image, qPrintable(QStringLiteral("picture %1").arg(i)));
        }
        QVERIFY(keyFrames > 0);
        QVERIFY(otherFrames > 0 || VideoFormat(format) == VideoFormat::AviMjpeg);

        // A number between two pictures (fine time bases) reaches the later one, as stepping does.
        for (int i = 30; i >= 1; i -= 6) {
            const qint64 between = stepped[i - 1].number + 1;
            QVERIFY(decoder.seekToFrame(between));
            QImage image;
            QVERIFY(decoder.copyFrame(image));
            QVERIFY(image == stepped[i].image);
        }

        // Stepping on after a seek continues with the next picture.
        QVERIFY(decoder.seekToFrame(stepped[17].number));
        QVERIFY(decoder.seekNextFrame());
        QCOMPARE(decoder.frameNumber(), stepped[18].number);

        // Decoding forward to a time, which leaves out pictures no other refers to while far
        // from it, reaches the picture stepping reaches, bit for bit and under its number.
        QVideoDecoder forward;
        QVERIFY(forward.open(path));
        for (int i : { 0, 13, 26, 39 }) {
            QVERIFY2(forward.decodeForwardToMs(stepped[i].time), qPrintable(QString::number(i)));
            QImage image;
            QVERIFY(forward.copyFrame(image));
            QCOMPARE(forward.frameNumber(), stepped[i].number);
            QVERIFY2(image == stepped[i].image, qPrintable(QStringLiteral("forward %1").arg(i)));
        }
    }

    // Reading ahead moves the decoding to a helper thread and changes nothing else: the same
    // pictures with the same numbers, the held picture's number not advanced by the picture
    // read ahead, seeks and a switch-off between steps, the end of the file, and closing or
    // reopening with a picture read ahead.
    void readAheadDeliversWhatSteppingDelivers_data() { containerRows(); }
    void readAheadDeliversWhatSteppingDelivers()
    {
        QFETCH(int, format);
        const QString path = containerVideo(format);
        QVector<Picture> plain;
        {
            QVideoDecoder decoder;
            QVERIFY(decoder.open(path));
            plain = stepToEnd(decoder);
        }
        QVERIFY(plain.size() > 20);

        QVideoDecoder decoder;
        QVERIFY(decoder.open(path));
        decoder.setReadAhead(true);
        QVector<Picture> ahead;
        while (decoder.seekNextFrame()) {
            Picture picture;
            QVERIFY(decoder.copyFrame(picture.image, &picture.number, &picture.time));
            // The picture after it is being read meanwhile; what is reported stays put.
            QCOMPARE(decoder.frameNumber(), picture.number);
            QCOMPARE(decoder.frameTime(), picture.time);
            ahead.append(picture);
        }
        QCOMPARE(ahead.size(), plain.size());
        for (int i = 0; i < plain.size(); ++i) {
            QCOMPARE(ahead[i].number, plain[i].number);
            QCOMPARE(ahead[i].time, plain[i].time);
            QVERIFY2(ahead[i].image == plain[i].image, qPrintable(QString::number(i)));
        }
        QVERIFY(!decoder.seekNextFrame()); // the end stays the end

        // A seek backwards and forwards with a picture read ahead, then stepping on.
        QVERIFY(decoder.seekToFrame(plain[5].number));
        QVERIFY(decoder.seekNextFrame()); // reads plain[7] ahead
        QCOMPARE(decoder.frameNumber(), plain[6].number);
        QVERIFY(decoder.seekToFrame(plain[15].number));
        QImage image;
        QVERIFY(decoder.copyFrame(image));
        QVERIFY(image == plain[15].image);
        QVERIFY(decoder.seekNextFrame());
        QCOMPARE(decoder.frameNumber(), plain[16].number);
        // A seek within the held picture keeps the picture read ahead for the next step.
        QVERIFY(decoder.seekToFrame(plain[16].number));
        // Switched off between steps: the picture read ahead is the next one all the same.
        decoder.setReadAhead(false);
        QVERIFY(decoder.seekNextFrame());
        QCOMPARE(decoder.frameNumber(), plain[17].number);
        QVERIFY(decoder.copyFrame(image));
        QVERIFY(image == plain[17].image);
        QVERIFY(decoder.seekNextFrame());
        QCOMPARE(decoder.frameNumber(), plain[18].number);

        // Reopening and closing with a picture read ahead start afresh.
        decoder.setReadAhead(true);
        QVERIFY(decoder.seekNextFrame());
        QVERIFY(decoder.open(path));
        const QVector<Picture> again = stepToEnd(decoder);
        QCOMPARE(again.size(), plain.size());
        QCOMPARE(again.last().number, plain.last().number);
        QVERIFY(decoder.seekToFrame(plain[3].number));
        QVERIFY(decoder.seekNextFrame());
        decoder.close();
        QVERIFY(!decoder.seekNextFrame());
    }

    void seekToMsReachesTheFrameAtThatTime_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<qint64>("expectedNumber");
        QTest::newRow("avi time base 1/25") << int(VideoFormat::AviMpeg4) << qint64(125);
        QTest::newRow("mp4 time base 1/12800") << int(VideoFormat::Mp4H264) << qint64(64000);
    }
    void seekToMsReachesTheFrameAtThatTime()
    {
        QFETCH(int, format);
        QFETCH(qint64, expectedNumber);
        VideoOptions options;
        options.format = VideoFormat(format);
        options.frameCount = 150;
        options.keyInterval = 50;
        options.size = QSize(96, 64);
        const QString path = makeVideo(QStringLiteral("six-seconds"), options);
        QVideoDecoder decoder;
        QVERIFY(decoder.open(path));
        QVERIFY(decoder.seekToMs(5000));
        QImage image;
        QVERIFY(decoder.copyFrame(image));
        QCOMPARE(decoder.frameNumber(), expectedNumber);
        QCOMPARE(decoder.frameTime(), qint64(5000));
        QCOMPARE(frameIndexOf(image), 125);
        QCOMPARE(decoder.lengthMs(), 6000);
    }

    void lengthOfNinetySecondFile()
    {
        VideoOptions options;
        options.format = VideoFormat::AviMjpeg;
        options.size = QSize(16, 16);
        options.fps = 2;
        options.frameCount = 181; // 90.5 s
        const QString path = makeVideo(QStringLiteral("ninety-and-a-half"), options);
        QVideoDecoder decoder;
        QVERIFY(decoder.open(path));
        QCOMPARE(decoder.lengthMs(), 90500);
    }

    void stateRightAfterOpenAndFirstStep()
    {
        VideoOptions options;
        options.frameCount = 10;
        const QString path = makeVideo(QStringLiteral("ten"), options);
        QVideoDecoder decoder;
        QVERIFY(decoder.open(path));
        QVERIFY(decoder.isOpen());
        QCOMPARE(decoder.frameTime(), qint64(0));
        QCOMPARE(decoder.frameNumber(), qint64(0));
        QImage image;
        QVERIFY(!decoder.copyFrame(image)); // nothing decoded yet

        // Time base 1/25, numbered 0, 1, 2, ...: the first step passes over picture 0.
        QVERIFY(decoder.seekNextFrame());
        qint64 number = -1, time = -1, target = -1, targetTime = -1;
        QVERIFY(decoder.copyFrame(image, &number, &time, &target, &targetTime));
        QCOMPARE(number, qint64(1));
        QCOMPARE(time, qint64(40));
        QCOMPARE(target, qint64(1));
        QCOMPARE(targetTime, qint64(40));
        QCOMPARE(image.format(), QImage::Format_RGB888);
        QCOMPARE(image.size(), QSize(160, 120));
        QCOMPARE(frameIndexOf(image), 1);

        // A copy handed out earlier stays as it was when the decoder moves on.
        QVERIFY(decoder.seekNextFrame());
        QImage second;
        QVERIFY(decoder.copyFrame(second));
        QCOMPARE(frameIndexOf(image), 1);
        QCOMPARE(frameIndexOf(second), 2);

        // Whatever time the container starts at, the first step shows the second picture,
        // so a run (which starts after the picture shown) starts at the third.
        for (const double start : { 0.033, 0.04, 2.5 }) {
            options.format = VideoFormat::Mp4H264;
            options.startSeconds = start;
            QVideoDecoder late;
            QVERIFY(late.open(makeVideo(QStringLiteral("starting at %1").arg(start), options)));
            QVERIFY(late.seekNextFrame());
            QVERIFY(late.copyFrame(image));
            QCOMPARE(frameIndexOf(image), 1);
            QVERIFY(late.seekNextFrame());
            QVERIFY(late.copyFrame(image));
            QCOMPARE(frameIndexOf(image), 2);
        }
    }

    // The pictures the codec holds back (B-frames) come out before the end is reported; after
    // the end nothing is valid, and a seek brings the decoder back.
    void endOfFile_data() { containerRows(); }
    void endOfFile()
    {
        QFETCH(int, format);
        const QString path = containerVideo(format);
        QVideoDecoder decoder;
        QVERIFY(decoder.open(path));
        const QVector<Picture> pictures = stepToEnd(decoder);
        QVERIFY(!pictures.isEmpty());
        QCOMPARE(frameIndexOf(pictures.last().image), 39);
        QVERIFY(!decoder.seekNextFrame());
        QImage image;
        QVERIFY(!decoder.copyFrame(image));
        QVERIFY(!decoder.seekNextFrame());
        QVERIFY(!decoder.seekToFrame(pictures.last().number + 1000000));
        QVERIFY(decoder.seekToFrame(pictures[5].number));
        QVERIFY(decoder.copyFrame(image));
        QVERIFY(image == pictures[5].image);
    }

    void audioStreamFirstDecodesTheVideo_data()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("avi") << int(VideoFormat::AviMpeg4);
        QTest::newRow("mp4") << int(VideoFormat::Mp4H264);
        QTest::newRow("mkv") << int(VideoFormat::MkvH264);
    }
    void audioStreamFirstDecodesTheVideo()
    {
        QFETCH(int, format);
        VideoOptions options;
        options.format = VideoFormat(format);
        options.frameCount = 20;
        options.audio = AudioTrack::BeforeVideo;
        const QString path = makeVideo(QStringLiteral("audio-first-%1").arg(format), options);
        QVideoDecoder decoder;
        QVERIFY(decoder.open(path));
        const QVector<Picture> pictures = stepToEnd(decoder);
        // The audio stream may start the clock, moving the first video picture above 0.
        const Expected expected = expectedAfterOpen(ffprobeFrames(path));
        QVERIFY(expected.indices.size() >= 19);
        QCOMPARE(pictures.size(), expected.indices.size());
        for (int i = 0; i < pictures.size(); ++i) {
            QCOMPARE(pictures[i].number, expected.numbers[i]);
            QCOMPARE(frameIndexOf(pictures[i].image), expected.indices[i]);
        }
    }

    // Files without a video stream fail to open and leave nothing open behind them.
    void filesWithoutVideoFailToOpen()
    {
        const QString audio = testutils::scratchPath(QStringLiteral("audio-only.wav"));
        const QString audioMka = testutils::scratchPath(QStringLiteral("audio-only.mka"));
        const QString text = testutils::scratchPath(QStringLiteral("notes.txt"));
        const QString missing = testutils::scratchPath(QStringLiteral("does-not-exist.avi"));
        QVERIFY(writeAudioOnly(audio, 1.0));
        QVERIFY(writeAudioOnly(audioMka, 1.0));
        QVERIFY(writeTextFile(text));

        QVideoDecoder decoder;
        const int filesBefore = openFileCount();
        for (const QString &path : { audio, audioMka, text, missing, QString() }) {
            QVERIFY2(!decoder.open(path), qPrintable(path));
            QVERIFY(!decoder.isOpen());
            QCOMPARE(decoder.lengthMs(), -1);
            QVERIFY(!decoder.seekNextFrame());
            QVERIFY(!decoder.seekToFrame(0));
            QCOMPARE(openFileCount(), filesBefore);
        }
    }

    void truncatedFileDeliversWhatItHolds_data()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("avi") << int(VideoFormat::AviMpeg4);
        QTest::newRow("mkv") << int(VideoFormat::MkvH264);
        QTest::newRow("mpegts") << int(VideoFormat::MpegTsH264);
    }
    void truncatedFileDeliversWhatItHolds()
    {
        QFETCH(int, format);
        VideoOptions options;
        options.format = VideoFormat(format);
        options.frameCount = 60;
        const QString whole = makeVideo(QStringLiteral("whole-%1").arg(format), options);
        const QString cut = testutils::scratchPath(
            QStringLiteral("cut-%1%2").arg(format).arg(suffixFor(options.format)));
        QVERIFY(writeTruncatedCopy(whole, cut, QFileInfo(whole).size() / 2));

        QVideoDecoder decoder;
        QVERIFY(decoder.open(cut));
        const QVector<Picture> pictures = stepToEnd(decoder);
        QVERIFY2(pictures.size() > 10 && pictures.size() < 59,
            qPrintable(QString::number(pictures.size())));
        // The pictures before the cut come in order (a transport stream, numbered from its
        // clock's start, keeps its picture 0); the last may be damaged by the cut.
        const int first = frameIndexOf(pictures.first().image);
        QVERIFY(first == 0 || first == 1);
        for (int i = 0; i + 1 < pictures.size(); ++i)
            QCOMPARE(frameIndexOf(pictures[i].image), first + i);
        QVERIFY(!decoder.seekNextFrame());
        QImage image;
        QVERIFY(!decoder.copyFrame(image));
    }

    // Opening again releases the first file (and a failed open what it took).
    void openingTwiceReleasesTheFirstFile()
    {
        VideoOptions options;
        options.frameCount = 10;
        const QString first = makeVideo(QStringLiteral("ten"), options);
        options.format = VideoFormat::MkvH264;
        const QString second = makeVideo(QStringLiteral("ten"), options);
        const QString text = testutils::scratchPath(QStringLiteral("again.txt"));
        QVERIFY(writeTextFile(text));

        const int filesBefore = openFileCount();
        {
            QVideoDecoder decoder;
            QVERIFY(decoder.open(first));
            QVERIFY(decoder.seekNextFrame());
            const int filesOpen = openFileCount();
            QCOMPARE(filesOpen, filesBefore + 1);
            QVERIFY(decoder.open(second));
            QCOMPARE(openFileCount(), filesOpen);
            QCOMPARE(decoder.frameNumber(), qint64(0));
            QVERIFY(decoder.seekNextFrame());
            QImage image;
            QVERIFY(decoder.copyFrame(image));
            QCOMPARE(frameIndexOf(image), 1);
            QVERIFY(decoder.open(first));
            QVERIFY(!decoder.open(text));
            QCOMPARE(openFileCount(), filesBefore);
            QVERIFY(decoder.open(second));
            decoder.close();
            QVERIFY(!decoder.isOpen());
            QVERIFY(!decoder.copyFrame(image));
            QCOMPARE(openFileCount(), filesBefore);
            QVERIFY(decoder.open(first)); // closed by the destructor
        }
        QCOMPARE(openFileCount(), filesBefore);
    }

    void nonAsciiFolderOpens()
    {
        const QString folder
            = testutils::scratchPath(QStringLiteral("Teich \u00e4\u00f6\u00fc \u9b5a"));
        QVERIFY(QDir().mkpath(folder));
        const QString path = QDir(folder).filePath(QStringLiteral("Fisch \u00df.avi"));
        VideoOptions options;
        options.frameCount = 5;
        QVERIFY(writeVideo(path, options, [&](int i) { return numberedFrame(options.size, i); }));
        QVideoDecoder decoder;
        QVERIFY(decoder.open(path));
        QVERIFY(decoder.seekNextFrame());
        QImage image;
        QVERIFY(decoder.copyFrame(image));
        QCOMPARE(frameIndexOf(image), 1);
    }

    // A transport stream whose clock starts 7 hours in: numbers pass 2^31 and must keep all
    // their bits, in stepping, in times and in seeking.
    void numbersAndTimesKeep64Bits()
    {
        VideoOptions options;
        options.format = VideoFormat::MpegTsH264;
        options.frameCount = 30;
        options.startSeconds = 7 * 3600;
        const QString path = makeVideo(QStringLiteral("seven-hours"), options);
        const QVector<ProbedFrame> probed = ffprobeFrames(path);
        QCOMPARE(probed.size(), 30);
        QVERIFY(probedNumber(probed.first()) > (qint64(1) << 31));

        QVideoDecoder decoder;
        QVERIFY(decoder.open(path));
        // From the second picture, as every video steps from open.
        const QVector<Picture> pictures = stepToEnd(decoder);
        QCOMPARE(pictures.size(), 29);
        for (int i = 0; i < pictures.size(); ++i) {
            QCOMPARE(pictures[i].number, probedNumber(probed[i + 1]));
            QCOMPARE(pictures[i].time, msOf(pictures[i].number, { 1, 90000 }));
        }
        QVERIFY(pictures.first().time >= qint64(7 * 3600 * 1000));
        QVERIFY(decoder.seekToFrame(pictures[20].number));
        QCOMPARE(decoder.frameNumber(), pictures[20].number);
        QImage image;
        QVERIFY(decoder.copyFrame(image));
        QVERIFY(image == pictures[20].image);
        QVERIFY(decoder.seekToMs(pictures[10].time));
        QCOMPARE(decoder.frameNumber(), pictures[10].number);
    }

    // The lossless fixture gives back the source pictures exactly, so tracking tests can
    // compare with ground truth.
    void losslessFixtureIsExact_data()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("avi-ffv1") << int(VideoFormat::LosslessAvi);
        QTest::newRow("mkv-ffv1") << int(VideoFormat::LosslessMkv);
    }
    void losslessFixtureIsExact()
    {
        QFETCH(int, format);
        VideoOptions options;
        options.format = VideoFormat(format);
        options.frameCount = 4;
        const QSize size = options.size;
        auto scene = [size](int i) {
            return drawScene(size,
                { FishSpec { QPointF(30 + 10 * i, 40) },
                    FishSpec { QPointF(100, 80), { 20, 8 }, 45, false } },
                7);
        };
        const QString path = testutils::scratchPath(
            QStringLiteral("scene-%1%2").arg(format).arg(suffixFor(options.format)));
        QVERIFY(writeVideo(path, options, scene));
        QVideoDecoder decoder;
        QVERIFY(decoder.open(path));
        QVERIFY(decoder.seekToFrame(0));
        for (int i = 0; i < 4; ++i) {
            if (i > 0)
                QVERIFY(decoder.seekNextFrame());
            QImage image;
            QVERIFY(decoder.copyFrame(image));
            QVERIFY2(image == scene(i), qPrintable(QString::number(i)));
        }
        // Same seed, same background; another seed, another one.
        QVERIFY(texturedBackground(size, 7) == texturedBackground(size, 7));
        QVERIFY(texturedBackground(size, 7) != texturedBackground(size, 8));
    }

    // Full-range (JPEG) pictures are converted as full range, every one of them, as FFmpeg's
    // own tool converts them; also where the scaler adjusts its settings for the source
    // (unsubsampled chroma, odd widths), which once made a new context per picture that now
    // and then kept the default, limited range.
    void fullRangePicturesMatchTheLibrarysConversion_data()
    {
        QTest::addColumn<QString>("pixelFormat");
        QTest::addColumn<QSize>("size");
        QTest::newRow("yuvj444p") << QStringLiteral("yuvj444p") << QSize(318, 240);
        QTest::newRow("yuvj420p, odd width") << QStringLiteral("yuvj420p") << QSize(317, 239);
    }
    void fullRangePicturesMatchTheLibrarysConversion()
    {
        QFETCH(QString, pixelFormat);
        QFETCH(QSize, size);
        const QString dimensions = QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
        const QString path = testutils::scratchPath(pixelFormat + dimensions + ".avi");
        const testutils::ProgramRun made = testutils::runProgram(QStringLiteral("ffmpeg"),
            { "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=s=" + dimensions + ":r=25:d=2",
                "-c:v", "mjpeg", "-pix_fmt", pixelFormat, path });
        QVERIFY2(made.exitCode == 0, qPrintable(made.err));
        const QString raw = testutils::scratchPath(pixelFormat + dimensions + ".rgb");
        const testutils::ProgramRun converted = testutils::runProgram(QStringLiteral("ffmpeg"),
            { "-v", "error", "-y", "-i", path, "-pix_fmt", "rgb24", "-sws_flags", "bicubic", "-f",
                "rawvideo", raw });
        QVERIFY2(converted.exitCode == 0, qPrintable(converted.err));
        QFile rawFile(raw);
        QVERIFY(rawFile.open(QIODevice::ReadOnly));
        const QByteArray reference = rawFile.readAll();
        const qsizetype rowBytes = qsizetype(size.width()) * 3;
        const qsizetype pictureBytes = rowBytes * size.height();
        QCOMPARE(reference.size(), 50 * pictureBytes);

        // Read ahead, as a run reads: the conversions then run on the helper thread.
        QVideoDecoder decoder;
        QVERIFY(decoder.open(path));
        decoder.setReadAhead(true);
        const QVector<Picture> pictures = stepToEnd(decoder);
        QCOMPARE(pictures.size(), 49); // picture 0 is passed over from open
        for (const Picture &picture : pictures) {
            QVERIFY(picture.number >= 0 && picture.number < 50);
            const char *expected = reference.constData() + picture.number * pictureBytes;
            for (int y = 0; y < size.height(); ++y)
                if (std::memcmp(picture.image.constScanLine(y), expected + y * rowBytes, rowBytes))
                    QFAIL(qPrintable(
                        QStringLiteral("picture %1 differs in row %2").arg(picture.number).arg(y)));
        }
    }

    void writeFramePpmWritesTheFirstPlane()
    {
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(testutils::scratchDir()));
        QImage source = numberedFrame(QSize(8, 4), 3);
        AVFrame *frame = av_frame_alloc();
        frame->data[0] = source.bits();
        frame->linesize[0] = int(source.bytesPerLine());
        QVideoDecoder decoder;
        decoder.writeFramePpm(frame, 8, 4, 7);
        av_frame_free(&frame);
        QDir::setCurrent(previous);

        QFile file(testutils::scratchPath(QStringLiteral("frame7.ppm")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray header("P6\n8 4\n255\n");
        const QByteArray data = file.readAll();
        QCOMPARE(data.size(), header.size() + 8 * 4 * 3);
        QVERIFY(data.startsWith(header));
        for (int y = 0; y < 4; ++y)
            QCOMPARE(data.mid(header.size() + y * 24, 24),
                QByteArray(reinterpret_cast<const char *>(source.constScanLine(y)), 24));
    }
};

QTEST_MAIN(DecoderTest)
#include "DecoderTest.moc"
