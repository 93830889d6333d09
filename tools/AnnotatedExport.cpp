#include "tools/AnnotatedExport.h"

#include "files/AtomicFile.h"
#include "video/QVideoDecoder.h"
#include "video/QVideoEncoder.h"
#include "video/VideoProbe.h"

#include <QFileInfo>
#include <QPainter>

#include <cmath>
#include <limits>

QString AnnotatedExport::message(Error error)
{
    switch (error) {
    case Error::None:
        break;
    case Error::VideoNotLoaded:
        return QStringLiteral("Error loading the video");
    case Error::SeekFailed:
        return QStringLiteral("seekNextFrame failed");
    case Error::DecodeFailed:
        return QStringLiteral("Error decoding the frame");
    case Error::OutputNotWritten:
        return QStringLiteral("Error writing the video");
    case Error::Stopped:
        return QStringLiteral("The export was stopped");
    }
    return QString();
}

int AnnotatedExport::toPixel(float value)
{
    // Converting a float outside the int range is undefined; data files are hand-edited now
    // and then, so clamp before truncating.
    if (std::isnan(value))
        return 0;
    constexpr double lowest = std::numeric_limits<int>::min();
    constexpr double highest = std::numeric_limits<int>::max();
    const double v = std::trunc(double(value));
    if (v <= lowest)
        return std::numeric_limits<int>::min();
    if (v >= highest)
        return std::numeric_limits<int>::max();
    return int(v);
}

QSize AnnotatedExport::encodableSize(QSize size, Format format)
{
    const int side = format == Format::Mp4 ? 2 : 8;
    return QSize((size.width() + side - 1) / side * side, (size.height() + side - 1) / side * side);
}

namespace {

// The picture on a black canvas of `size`, at the top left.
QImage padded(const QImage &picture, QSize size)
{
    if (picture.size() == size)
        return picture;
    QImage canvas(size, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    QPainter painter(&canvas);
    painter.drawImage(0, 0, picture);
    painter.end();
    return canvas;
}

// The row's markers: every fish's position in a multi-fish file.
QList<QPoint> fishMarkers(const AnnotationRows &rows, int row)
{
    QList<QPoint> markers;
    if (row < rows.fishPositions.size())
        for (const QPointF &p : rows.fishPositions[row])
            markers << QPoint(
                AnnotatedExport::toPixel(float(p.x())), AnnotatedExport::toPixel(float(p.y())));
    return markers;
}

// The video's frame rate as FFmpeg gives it; from the decoder's frame period when the
// container does not say, and 30 frames per second (as the MPEG) when neither does.
AVRational sourceFrameRate(const QString &videoPath, QVideoDecoder &decoder)
{
    const VideoProbe probe(videoPath);
    if (probe.frameRateNumerator > 0 && probe.frameRateDenominator > 0)
        return AVRational { probe.frameRateNumerator, probe.frameRateDenominator };
    const double period = decoder.framePeriodMs();
    if (period > 0)
        return av_d2q(1000.0 / period, 1001000);
    return AVRational { 30, 1 };
}

} // namespace

RecordLookup AnnotatedExport::rowHistory(const AnnotationRows &rows, int shown)
{
    return [&rows, shown](int index, TrackRecord &record) {
        if (index < 0 || shown < 0 || index > shown || shown >= rows.size())
            return false;
        const int row = shown - index;
        record = TrackRecord();
        record.seconds = rows.times[row];
        record.x = toPixel(rows.xs[row]);
        record.y = toPixel(rows.ys[row]);
        record.found = rows.found[row];
        if (row < rows.fishPositions.size()) {
            record.fishPositions = fishMarkers(rows, row);
            record.fishFoundFlags = rows.fishFound[row];
        }
        return true;
    };
}

AnnotatedExport::Result AnnotatedExport::run(
    const AnnotationRows &rows, const QString &videoPath) const
{
    Result result;
    result.finalState = initialState;

    QVideoDecoder decoder;
    decoder.open(videoPath);
    if (!decoder.isOpen()) {
        result.error = Error::VideoNotLoaded;
        return result;
    }
    // Stepping after opening passes over the video's first picture; the MP4 starts with it,
    // so that it holds every frame of the video.
    const bool mp4 = format == Format::Mp4;
    if (!(mp4 ? decoder.seekToFrame(0) : decoder.seekNextFrame())) {
        result.error = Error::SeekFailed;
        return result;
    }
    QImage frame;
    if (!decoder.copyFrame(frame)) {
        result.error = Error::DecodeFailed;
        return result;
    }
    result.framesDecoded = 1;
    qint64 lastFrameMs = decoder.frameTime();
    const qint64 lengthMs = decoder.lengthMs();

    const QSize size = encodableSize(frame.size(), format);
    if (size != frame.size())
        result.warning = QStringLiteral("the %1x%2 frames are written as %3x%4, padded with black "
                                        "at the right and bottom: the encoder takes sides that "
                                        "are %5")
                             .arg(frame.width())
                             .arg(frame.height())
                             .arg(size.width())
                             .arg(size.height())
                             .arg(mp4 ? QStringLiteral("even (H.264 in yuv420p)")
                                      : QStringLiteral("multiples of 8"));
    const QString output = outputPath.isEmpty() ? outputFileName(videoPath, format) : outputPath;
    QString reason;
    // Replacing the video being read would lose it: a Save As onto it is refused.
    if (QFileInfo(output).canonicalFilePath() == QFileInfo(videoPath).canonicalFilePath()) {
        result.error = Error::OutputNotWritten;
        result.detail = output + QStringLiteral(": this is the video being exported");
        return result;
    }
    const QString temporary = AtomicFile::temporarySibling(output, &reason);
    QVideoEncoder encoder;
    result.outputOpened = !temporary.isEmpty()
        && (mp4 ? encoder.OpenH264Output(temporary, size.width(), size.height(),
                sourceFrameRate(videoPath, decoder), mp4Quality, h264Encoder)
                : encoder.OpenOutput(temporary, size.width(), size.height(), bitRate, gopSize));
    if (!result.outputOpened) {
        AtomicFile::discard(temporary);
        result.error = Error::OutputNotWritten;
        if (reason.isEmpty())
            reason = encoder.openError();
        result.detail = output + QStringLiteral(": ")
            + (reason.isEmpty() ? QStringLiteral("the encoder cannot write it") : reason);
        return result;
    }
    bool encodeFailed = false;

    ViewState &state = result.finalState;
    // The renderer hands back Format_RGB32 today; the encoder takes nothing else (a
    // premultiplied picture would be refused frame after frame), so make sure of it.
    state.reviewIndex = 0;
    int counter = -1; // the row applied next; -1 until a frame reaches the first row's time
    const auto draw = [&] {
        const RecordLookup history
            = drawTrail && counter > 0 ? rowHistory(rows, counter - 1) : RecordLookup();
        return padded(ViewRenderer::render(frame, overlays, state, history)
                          .convertToFormat(QImage::Format_RGB32),
            size);
    };
    if (mp4) {
        if (encoder.EncodeImage(draw()) < 0)
            encodeFailed = true;
        else
            ++result.framesEncoded;
    }
    while (!encodeFailed && decoder.seekNextFrame()) {
        if (stopRequested && stopRequested()) {
            result.error = Error::Stopped;
            break;
        }
        decoder.copyFrame(frame);
        ++result.framesDecoded;
        lastFrameMs = decoder.frameTime();
        if (counter == -1) {
            // Without rows there is no first time to reach: nothing is annotated. The frame's
            // time is taken in seconds as a float, as the tracker writes it into the rows:
            // compared as a double, the frame at 200 ms would not reach a row at 0.2f
            // (0.2000000030) and every row would be drawn one frame late.
            if (!rows.isEmpty() && float(decoder.frameTime() / 1000.0) >= rows.times[0])
                counter = 0;
        } else if (counter < rows.size()) {
            state.showResults = true;
            state.fishFound = rows.found[counter];
            state.fishPosition = QPoint(toPixel(rows.xs[counter]), toPixel(rows.ys[counter]));
            state.fishPositions = fishMarkers(rows, counter);
            ++counter;
            ++result.rowsApplied;
        }

        // A file that cannot take a frame will not take the rest.
        if (encoder.EncodeImage(draw()) < 0) {
            encodeFailed = true;
            break;
        }
        ++result.framesEncoded;
        if (progress)
            progress(result.framesDecoded, decoder.frameTime(), lengthMs);
    }

    const bool closed = encoder.Close();
    const VideoProbe probe = decoder.probe();
    decoder.close();
    if (result.error == Error::None && probe.stopsShortOfEnd(double(lastFrameMs) / 1000.0)) {
        result.endedEarly = true;
        if (!result.warning.isEmpty())
            result.warning += QStringLiteral("; ");
        result.warning += QStringLiteral("the video ended early: it runs to %1 s, but the frames "
                                         "decoded from it stop at %2 s")
                              .arg(QString::number(probe.announcedEndSeconds(), 'f', 3),
                                  QString::number(double(lastFrameMs) / 1000.0, 'f', 3));
    }
    if (result.error == Error::None && (encodeFailed || !closed)) {
        result.error = Error::OutputNotWritten;
        const QString why = encoder.writeError();
        result.detail = output + QStringLiteral(": ")
            + (why.isEmpty() ? QStringLiteral("the encoder could not write every frame") : why);
    }
    if (result.error != Error::None) {
        AtomicFile::discard(temporary);
        return result;
    }
    if (!AtomicFile::commit(temporary, output, &reason)) {
        result.error = Error::OutputNotWritten;
        result.detail = output + QStringLiteral(": ") + reason;
    }
    return result;
}
