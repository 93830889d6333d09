#include "tools/AnnotatedExport.h"

#include "video/QVideoDecoder.h"
#include "video/QVideoEncoder.h"

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
    if (!decoder.seekNextFrame()) {
        result.error = Error::SeekFailed;
        return result;
    }
    QImage frame;
    if (!decoder.copyFrame(frame)) {
        result.error = Error::DecodeFailed;
        return result;
    }
    result.framesDecoded = 1;
    const qint64 lengthMs = decoder.lengthMs();

    // A size the encoder refuses leaves it closed: every picture is still drawn, and each
    // EncodeImage returns -1 without writing anything.
    QVideoEncoder encoder;
    result.outputOpened = encoder.OpenOutput(
        outputFileName(videoPath), frame.width(), frame.height(), bitRate, gopSize);

    ViewState &state = result.finalState;
    int counter = -1; // the row applied next; -1 until a frame reaches the first row's time
    while (decoder.seekNextFrame()) {
        decoder.copyFrame(frame);
        ++result.framesDecoded;
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
            ++counter;
            ++result.rowsApplied;
        }

        // The renderer hands back Format_RGB32 today; the encoder takes nothing else (a
        // premultiplied picture would be refused frame after frame), so make sure of it.
        const QImage picture = ViewRenderer::render(frame, overlays, state, history)
                                   .convertToFormat(QImage::Format_RGB32);
        if (encoder.EncodeImage(picture) >= 0)
            ++result.framesEncoded;
        if (progress)
            progress(result.framesDecoded, decoder.frameTime(), lengthMs);
    }

    encoder.Close();
    decoder.close();
    return result;
}
