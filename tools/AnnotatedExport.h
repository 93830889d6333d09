#pragma once
// Writes a copy of a video with the tracking result drawn on every frame, as the video view
// would show it: the overlays, the fish marker at the recorded position and the trail.
// The output is the video's full path followed by ".out.mpeg" (MPEG-1 at a low bit rate, 30
// frames per second), or by ".out.mp4" for Format::Mp4 (H.264 at constant quality and the
// video's own frame rate, for showing). GUI-free, so the ExportVideo
// slot and pondwatch-cli draw and encode the same pictures. One thread; it decodes with a
// decoder of its own, so a video open elsewhere (the main window's) is left alone.
//
// Rows are applied one per decoded frame: the first frame only gives the size and is not
// written; the row counter starts when a frame's time reaches the first row's time, and the
// first row is drawn on the frame after that. Frames after the last row keep its marker.
// The trail behind the marker is drawn from the rows up to the one shown on that picture, so
// it follows the fish through the video (the tracker's records, or the file's last rows,
// would draw the end of the run on every picture).
//
// The video is encoded to a temporary file beside the output, which replaces the output only
// once complete: a failed or stopped export leaves an earlier output as it was. The MPEG
// encoder takes sides that are multiples of 8 only, H.264 in yuv420p even sides only; other
// frames are padded with black at the right and bottom (Result::warning says so).
//
// The MP4 also holds the first frame, drawn with the initial state, so that it has as many
// frames as the video and stays in step with it.

#include "tools/AnnotationRows.h"
#include "view/ViewRenderer.h"

#include <QString>

#include <functional>

class AnnotatedExport
{
public:
    enum class Error {
        None,
        VideoNotLoaded, // "Error loading the video"
        SeekFailed, // "seekNextFrame failed"
        DecodeFailed, // "Error decoding the frame"
        OutputNotWritten, // "Error writing the video"; Result::detail says why
        Stopped, // "The export was stopped"; nothing written
    };
    // The text of the "Error" message box for `error`.
    static QString message(Error error);

    enum class Format { Mpeg, Mp4 };
    static QString outputFileName(const QString &videoPath, Format format = Format::Mpeg)
    {
        return videoPath
            + (format == Format::Mp4 ? QStringLiteral(".out.mp4") : QStringLiteral(".out.mpeg"));
    }

    // Encoder settings of the annotated video.
    static constexpr int bitRate = 25000;
    static constexpr int gopSize = 10;
    // libx264's constant rate factor for the MP4: close to what the eye cannot tell apart.
    static constexpr int mp4Quality = 18;

    // Called after every frame written (or refused by a closed encoder): frames decoded so far
    // (the first, size-only frame included), the frame's time and the video's length in ms.
    using ProgressCallback
        = std::function<void(int framesDecoded, qint64 frameMs, qint64 lengthMs)>;

    // What every picture is drawn with besides the frame and the row applied.
    OverlaySet overlays;
    // The view state before the first row is applied. Its meanFilterSize holds for every
    // picture; the rows set showResults, fishFound and fishPosition. The row shown is always
    // the newest of its trail, so reviewIndex is taken as 0.
    ViewState initialState;
    // Draw the trail of the rows up to the one shown (the window's view always does).
    bool drawTrail = true;
    ProgressCallback progress;
    // Asked between frames; true stops the export, which then writes nothing. May be empty.
    std::function<bool()> stopRequested;
    Format format = Format::Mpeg;
    // Where the video goes; empty: outputFileName(videoPath, format). Never the video itself.
    QString outputPath;
    // The FFmpeg encoder of the MP4 (tests name one that is missing).
    const char *h264Encoder = "libx264";

    struct Result
    {
        Error error = Error::None;
        bool outputOpened = false; // the encoder accepted the size and created the file
        int framesDecoded = 0; // the first, size-only frame included
        int framesEncoded = 0; // pictures the encoder accepted
        int rowsApplied = 0;
        ViewState finalState; // the state after the last picture
        QString detail; // the output and the reason, with OutputNotWritten
        // What the user should know of the video written (the frames padded, the video
        // ended early), or empty.
        QString warning;
        // The video's frames stopped before the end it announces (a file cut short).
        bool endedEarly = false;
    };
    Result run(const AnnotationRows &rows, const QString &videoPath) const;

    // The history of a picture that shows row `shown`: index 0 is that row, 1 the one before,
    // and so on; nothing before the first row or after `shown`.
    static RecordLookup rowHistory(const AnnotationRows &rows, int shown);

    // A position read from the file as the view's integer pixel: truncated toward zero, and
    // kept within the int range (a value that is not a number gives 0).
    static int toPixel(float value);

    // The frame size the encoder takes for frames of `size`: each side rounded up to a
    // multiple of 8 (MPEG) or 2 (MP4).
    static QSize encodableSize(QSize size, Format format = Format::Mpeg);
};
