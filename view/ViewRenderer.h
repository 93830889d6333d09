#pragma once
// Paints what the video view shows: the frame with the areas, rulers, point distances and,
// once results exist, the fish marker and its trail. GUI-free, so the view, the annotated
// export and the command line all produce the same picture from the same inputs.
// Works on copies only; safe on any thread.

#include "model/OverlayShapes.h"
#include "model/TrackRecord.h"

#include <QImage>
#include <QList>
#include <QPoint>

#include <functional>

class QPainter;

// Everything the picture depends on besides the frame, the overlays and the history.
struct ViewState
{
    QPoint fishPosition; // the single-fish marker, also used for area highlighting
    QList<QPoint> fishPositions; // multi-fish marker positions; empty in single-fish runs
    bool fishFound = false;
    bool showResults = false; // marker, trails and measured values are drawn
    int reviewIndex = 0; // record shown, counted back from the newest
    int meanFilterSize = 3; // sizes the marker
    // Each fish's number beside its marker. The view scaled below 100 % draws the numbers
    // itself at screen size, where those of the picture would shrink past reading.
    bool fishNumbers = true;
};

// Fills `record` with the record `index` places before the newest (0 = newest) and returns
// true, or returns false when there is no such record. Must hand out copies.
using RecordLookup = std::function<bool(int index, TrackRecord &record)>;

class ViewRenderer
{
public:
    // The frame converted to Format_RGB32 (what a pixmap holds for an opaque frame) with
    // everything painted over it. A null frame gives a null image.
    static QImage render(const QImage &frame, const OverlaySet &overlays, const ViewState &state,
        const RecordLookup &history);

    // Paints the overlays, marker and trail with a painter already open on the frame.
    static void paint(QPainter &painter, const OverlaySet &overlays, const ViewState &state,
        const RecordLookup &history);

    // How many steps of trail are drawn behind the shown record.
    static constexpr int trailLength = 30;
};
