// QVideoEncoder: the checks and their lines on standard output, the MPEG fallback, reopening,
// and that every image handed over ends up in the file (counted back with ffprobe).

#include "support/TestUtils.h"
#include "video/QVideoEncoder.h"

#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QTest>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Redirects the process's standard output into a file while alive; text() stops the
// redirection and returns what was printed.
class StdoutCapture
{
public:
    StdoutCapture()
        : path(testutils::scratchPath(QStringLiteral("stdout-%1.txt").arg(counter++)))
    {
        std::fflush(stdout);
        saved = dup(STDOUT_FILENO);
        const int fd
            = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, STDOUT_FILENO);
        ::close(fd);
    }
    ~StdoutCapture() { restore(); }

    QString text()
    {
        restore();
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        return QString::fromUtf8(file.readAll());
    }

private:
    void restore()
    {
        if (saved < 0)
            return;
        std::fflush(stdout);
        dup2(saved, STDOUT_FILENO);
        ::close(saved);
        saved = -1;
    }

    static inline int counter = 0;
    QString path;
    int saved = -1;
};

QString probe(const QStringList &args)
{
    QProcess process;
    process.start(QStringLiteral("ffprobe"), QStringList { "-v", "error" } + args);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return "ffprobe failed: " + QString::fromUtf8(process.readAllStandardError());
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// Pictures of the first video stream, decoded and counted by ffprobe.
int countFrames(const QString &file)
{
    return probe({ "-count_frames", "-select_streams", "v:0", "-show_entries",
                     "stream=nb_read_frames", "-of", "default=nokey=1:noprint_wrappers=1", file })
        .toInt();
}

QString formatName(const QString &file)
{
    return probe({ "-show_entries", "format=format_name", "-of",
        "default=nokey=1:noprint_wrappers=1", file });
}

// A test picture: a flat colour with a moving square, so that frames differ.
QImage picture(
    int width, int height, QColor colour, int index, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(width, height, format);
    image.fill(colour);
    QPainter painter(&image);
    painter.fillRect((index * 4) % (width - 8), height / 2 - 4, 8, 8, Qt::white);
    return image;
}

// Encodes `count` frames; the number accepted (non-negative results).
int encodeFrames(QVideoEncoder &encoder, int count, int width, int height, QColor colour)
{
    int accepted = 0;
    for (int i = 0; i < count; ++i)
        if (encoder.EncodeImage(picture(width, height, colour, i)) >= 0)
            ++accepted;
    return accepted;
}

// The RGB bytes of every decoded picture of a file, converted by ffmpeg.
QList<QByteArray> decodeRgb(const QString &file, int width, int height)
{
    QProcess process;
    process.start(QStringLiteral("ffmpeg"),
        { "-v", "error", "-i", file, "-f", "rawvideo", "-pix_fmt", "rgb24", "-" });
    process.waitForFinished(60000);
    const QByteArray all = process.readAllStandardOutput();
    QList<QByteArray> frames;
    const int size = width * height * 3;
    for (int offset = 0; offset + size <= all.size(); offset += size)
        frames << all.mid(offset, size);
    return frames;
}

} // namespace

class EncoderTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void constructorPrintsLibraryLines()
    {
        StdoutCapture capture;
        {
            QVideoEncoder encoder;
        }
        const QStringList lines = capture.text().split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines[0].startsWith("License: "));
        QCOMPARE(lines[1], QString("AVCodec version %1").arg(avcodec_version()));
        QVERIFY(lines[2].startsWith("AVFormat configuration: "));
    }

    // Sizes that are not multiples of 8 are refused before anything is created.
    void invalidSizeIsRefused()
    {
        QVideoEncoder encoder;
        const QString file = testutils::scratchPath("invalid.mpeg");
        for (QSize size : { QSize(642, 480), QSize(640, 484) }) {
            StdoutCapture capture;
            QVERIFY(!encoder.OpenOutput(file, size.width(), size.height(), 400000, 12));
            QCOMPARE(capture.text(), QString("Invalid size\n"));
            QVERIFY(!encoder.IsOk());
            QVERIFY(!QFile::exists(file));
        }
    }

    // A closed encoder, fresh or after a refused open, does nothing and says nothing.
    void closedEncoderIsSilent()
    {
        QVideoEncoder encoder;
        {
            StdoutCapture capture;
            QCOMPARE(encoder.EncodeImage(picture(64, 48, Qt::red, 0)), -1);
            QCOMPARE(encoder.Close(), false);
            QCOMPARE(capture.text(), QString());
        }
        QVERIFY(!encoder.OpenOutput(testutils::scratchPath("refused.mpeg"), 642, 480, 400000, 12));
        StdoutCapture capture;
        QCOMPARE(encoder.EncodeImage(picture(642, 480, Qt::red, 0)), -1);
        QCOMPARE(encoder.Close(), false);
        QCOMPARE(capture.text(), QString());
    }

    void unknownExtensionFallsBackToMpeg()
    {
        const QString file = testutils::scratchPath("clip.notaformat");
        QVideoEncoder encoder;
        {
            StdoutCapture capture;
            QVERIFY(encoder.OpenOutput(file, 64, 48, 400000, 12));
            QCOMPARE(capture.text(),
                QString("Could not deduce output format from file extension: using MPEG.\n"));
        }
        QVERIFY(encoder.IsOk());
        QCOMPARE(encodeFrames(encoder, 10, 64, 48, Qt::darkGreen), 10);
        QVERIFY(encoder.Close());
        QVERIFY(!encoder.IsOk());
        QCOMPARE(formatName(file), QString("mpeg"));
        QCOMPARE(countFrames(file), 10);
    }

    // Refused images print their line and are not encoded; the encoder stays usable.
    void wrongImagesAreRefused()
    {
        const QString file = testutils::scratchPath("wrong.mpeg");
        QVideoEncoder encoder;
        QVERIFY(encoder.OpenOutput(file, 64, 48, 400000, 12));
        {
            StdoutCapture capture;
            QCOMPARE(encoder.EncodeImage(picture(72, 48, Qt::red, 0)), -1);
            QCOMPARE(capture.text(), QString("Wrong image size!\n"));
        }
        for (QImage::Format format : { QImage::Format_Indexed8, QImage::Format_Grayscale8,
                 QImage::Format_RGB888, QImage::Format_ARGB32_Premultiplied }) {
            StdoutCapture capture;
            const QImage image = picture(64, 48, Qt::red, 0).convertToFormat(format);
            QCOMPARE(encoder.EncodeImage(image), -1);
            QCOMPARE(capture.text(), QString("Wrong image format\n"));
        }
        // Both accepted formats.
        QVERIFY(encoder.EncodeImage(picture(64, 48, Qt::red, 0)) >= 0);
        QVERIFY(encoder.EncodeImage(picture(64, 48, Qt::red, 1, QImage::Format_ARGB32)) >= 0);
        QVERIFY(encoder.Close());
        QCOMPARE(countFrames(file), 2);
    }

    // Reopening finishes the first file completely (codec drained, trailer written) before
    // starting the second. Matroska with H.264 needs both to be complete.
    void secondOpenFinishesTheFirstFile()
    {
        const QString first = testutils::scratchPath("first.mkv");
        const QString second = testutils::scratchPath("second.mpeg");
        QVideoEncoder encoder;
        QVERIFY(encoder.OpenOutput(first, 64, 48, 400000, 12));
        QCOMPARE(encodeFrames(encoder, 12, 64, 48, Qt::blue), 12);
        QVERIFY(encoder.OpenOutput(second, 80, 64, 400000, 12));
        QCOMPARE(encodeFrames(encoder, 7, 80, 64, Qt::yellow), 7);
        QVERIFY(encoder.Close());

        QCOMPARE(countFrames(first), 12);
        QCOMPARE(countFrames(second), 7);
        // Matroska's trailer writes the duration: 12 frames at 1/30 s.
        const double duration
            = probe({ "-show_entries", "format=duration", "-of", "default=nk=1:nw=1", first })
                  .toDouble();
        QVERIFY2(qAbs(duration - 0.4) < 0.05, qPrintable(QString::number(duration)));
    }

    // Every image is in the file, also with a codec that holds frames back (H.264 in
    // Matroska), and the pictures follow each other at 1/30 s.
    void everyFrameIsWritten_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("mpeg") << "all.mpeg";
        QTest::newRow("mkv") << "all.mkv";
        QTest::newRow("mp4") << "all.mp4";
    }
    void everyFrameIsWritten()
    {
        QFETCH(QString, name);
        const QString file = testutils::scratchPath(name);
        QVideoEncoder encoder;
        QVERIFY(encoder.OpenOutput(file, 96, 64, 800000, 12));
        QCOMPARE(encodeFrames(encoder, 37, 96, 64, Qt::gray), 37);
        QVERIFY(encoder.Close());
        QCOMPARE(countFrames(file), 37);
        if (name.endsWith(".mpeg"))
            return; // a program stream does not stamp every picture

        const QStringList times
            = probe({ "-select_streams", "v:0", "-show_entries", "frame=best_effort_timestamp_time",
                        "-of", "default=nk=1:nw=1", file })
                  .split('\n', Qt::SkipEmptyParts);
        QCOMPARE(times.size(), 37);
        for (int i = 1; i < times.size(); ++i)
            QVERIFY2(qAbs(times[i].toDouble() - times[i - 1].toDouble() - 1.0 / 30) < 0.002,
                qPrintable(times[i - 1] + " -> " + times[i]));
    }

    // The colours survive the conversion (R and B not swapped) and frames stay in order.
    void picturesKeepTheirColours()
    {
        const QString file = testutils::scratchPath("colours.mpeg");
        QVideoEncoder encoder;
        QVERIFY(encoder.OpenOutput(file, 64, 48, 2000000, 12));
        for (int i = 0; i < 10; ++i)
            QVERIFY(encoder.EncodeImage(
                        picture(64, 48, i < 5 ? QColor(220, 30, 30) : QColor(30, 30, 220), i))
                >= 0);
        QVERIFY(encoder.Close());
        const QList<QByteArray> frames = decodeRgb(file, 64, 48);
        QCOMPARE(frames.size(), 10);
        const auto pixel = [](const QByteArray &frame, int x, int y) {
            const int at = (y * 64 + x) * 3;
            return QColor(uchar(frame[at]), uchar(frame[at + 1]), uchar(frame[at + 2]));
        };
        const QColor early = pixel(frames[1], 4, 4);
        const QColor late = pixel(frames[8], 4, 4);
        QVERIFY2(early.red() > 160 && early.blue() < 80, qPrintable(early.name()));
        QVERIFY2(late.blue() > 160 && late.red() < 80, qPrintable(late.name()));
    }

    // A failed open (no such folder) reports the file and leaves the encoder reusable.
    void failedOpenThenSuccess()
    {
        const QString bad = testutils::scratchPath("no-such-folder/clip.mpeg");
        QVideoEncoder encoder;
        {
            StdoutCapture capture;
            QVERIFY(!encoder.OpenOutput(bad, 64, 48, 400000, 12));
            QCOMPARE(capture.text(), "Could not open '" + bad + "'\n");
        }
        QVERIFY(!encoder.IsOk());
        QCOMPARE(encoder.EncodeImage(picture(64, 48, Qt::red, 0)), -1);

        // Non-ASCII names reach the file system intact.
        const QString good = testutils::scratchPath(QString::fromUtf8("vidéo-ø.mpeg"));
        QVERIFY(encoder.OpenOutput(good, 64, 48, 400000, 12));
        QCOMPARE(encodeFrames(encoder, 3, 64, 48, Qt::red), 3);
        QVERIFY(encoder.Close());
        QVERIFY(QFile::exists(good));
        QCOMPARE(countFrames(good), 3);
    }
};

QTEST_GUILESS_MAIN(EncoderTest)
#include "EncoderTest.moc"
