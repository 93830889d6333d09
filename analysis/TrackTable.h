#pragma once
// A tracking data file of either kind read for results: per fish and row the position as
// written (sub-pixel where the file has it), whether the fish was found, its heading and body
// length where the file names such columns (Fish<k>Heading, Fish<k>BodyLength, read by name),
// and whether it was in each of the user's zones. The arenas and each fish's arena come from
// the header and the detection line, not from zone columns; the file's scale from its "Scale:"
// line. Lean on memory: no text is kept per row. GUI-free; any thread.

#include "model/OverlayShapes.h"
#include "model/Scale.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

class TrackTable
{
public:
    struct Fish
    {
        QVector<float> x, y; // pixels, one per row
        QVector<bool> found;
        QVector<float> heading; // degrees; NaN where unknown (or empty without the column)
        QVector<float> bodyLength; // pixels; NaN where unknown (or empty without the column)
        QVector<quint8> zones; // row * zoneNames.size() + zone: 1 inside, 0 outside
    };

    // False with the file and the reason in *error.
    bool read(const QString &path, QString *error);

    bool multiFish = false;
    // The Tracking Area, the user's zones, rulers, point distances, and the arenas (their
    // "ArenaN" zones of older files taken out of the zones).
    OverlaySet overlays;
    QString detection;
    Scale scale;
    QStringList zoneNames; // the user's zones, in file order
    QList<int> arenaOfFish; // per fish, from 0; empty when the file has no arenas
    QVector<float> times; // seconds, one per row
    QVector<Fish> fish;
    bool hasHeading = false;
    bool hasBodyLength = false;
    int rowsLeftOut = 0; // rows cut short (a file still being written) or unreadable

    // The time between two pictures: the median step between rows (0 with fewer than two).
    double framePeriod() const { return period; }
    // The 0-based index of a row's picture in the video: its Frame field when the file has
    // one in every row, else its time over the frame period, counted from the video's start.
    qint64 frameOf(int row) const;
    // A grid's arenas as a plate names its wells ("A1" ... row letter and column number, row
    // by row from the top left); empty names when the arenas are not laid out as a grid.
    QStringList wellNames() const;

private:
    double period = 0.0;
    QVector<qint64> frames; // each row's Frame field; empty when the file has none
};
