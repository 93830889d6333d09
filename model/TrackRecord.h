#pragma once
// One processed frame's result. Copied by value; the per-fish lists are implicitly shared.

#include <QPoint>
#include <QPointF>
#include <QVector>

struct TrackRecord
{
    qint64 frameNumber = 0; // the decoder's number of the picture (a container timestamp)
    float seconds = 0.0f;
    // The picture's 0-based index in the video (its first picture is 0), when the method knows
    // it: written as the row's Frame column. -1 when not known (the classic method).
    qint64 pictureIndex = -1;
    int x = 0, y = 0; // single fish; the Tracking Area centre in multi-fish records
    float movement = 0.0f; // single fish: pixels moved since the previous record
    float confidence = 0.0f; // single fish: box mean at the chosen pixel
    bool found = false; // single fish detection flag
    QVector<QPoint> fishPositions; // multi-fish, fish index order
    QVector<float> fishConfidences;
    QVector<bool> fishFoundFlags;
    // Sub-pixel positions (fish index order, one entry for a single fish), written to the file
    // in their place when present; the classic method leaves it empty.
    QVector<QPointF> exactPositions;
    // The body of each fish (fish index order, one entry for a single fish), written after
    // every other column when present; the classic method leaves them empty. Heading: tail to
    // head in degrees, [0, 360), atan2(dy, dx) with y down. Area: pixels of the fish's blob,
    // the whole region when it shares one, 0 when not found.
    QVector<float> headings;
    QVector<float> bodyLengths;
    QVector<float> areas;
};
