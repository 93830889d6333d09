#pragma once
// The tracking data file: a header repeating the Tracking Area and every overlay, then one
// row per record. ".data.txt" for one fish, ".datamulti.txt" for several. Every real number
// is written in fixed notation with 8 decimals; rectangles as x1 y1 x2+1 y2+1. Positions are
// whole pixels, or reals when the records carry sub-pixel positions. The same
// functions serve the window's run and pondwatch-cli, so both write identical files.
//
// Files are written through AtomicFile: a write that fails leaves an earlier file untouched.

#include "model/ArenaLayout.h"
#include "model/OverlayShapes.h"
#include "model/TrackRecord.h"

#include <QString>
#include <QVector>

class QTextStream;

class TrackingDataFile
{
public:
    // What a file is made of; kept by the tracker so the same file can be saved elsewhere.
    struct Content
    {
        bool multiFish = false;
        int fishCount = 1; // line 2 of the multi-fish file
        float confidenceThreshold = 0.0f; // column header and flag of the single-fish file
        OverlaySet overlays;
        // The method and parameters that made the records, written as a header line of its
        // own ("Detection: ...") after the overlays; empty for the classic method, whose
        // files carry no such line.
        QString detection;
        QVector<TrackRecord> records;
    };

    static QString singleFishPath(const QString &videoPath) { return videoPath + ".data.txt"; }
    static QString multiFishPath(const QString &videoPath) { return videoPath + ".datamulti.txt"; }

    static void writeSingleFish(QTextStream &out, const Content &content);
    static void writeMultiFish(QTextStream &out, const Content &content);
    // The columns after the overlays' that a file's rows end with: each fish's heading, body
    // length and area (the whole-video background method's records carry them), then the
    // picture's index in a column named "Frame" (when the method could count them).
    struct TrailingColumns
    {
        bool bodies = false;
        bool frames = false;
    };
    static TrailingColumns trailingColumnsOf(const Content &content);
    // A file written a row at a time as the records are made (a live session): the header of
    // content's kind (its records are not written), then one row per record.
    static void writeHeader(QTextStream &out, const Content &content, TrailingColumns trailing);
    static void writeRow(QTextStream &out, const Content &content,
        const ArenaLayout::ZoneMembership &zones, const TrackRecord &record,
        TrailingColumns trailing);

    // Writes the file atomically; false with a one-line reason in *error on failure.
    static bool save(const QString &path, const Content &content, QString *error = nullptr);

    // The Tracking Area, zones, rulers and point distances with their labels, read back from
    // the header of a data file of either kind (rectangles as inclusive corners again), and
    // its detection line (empty when it has none) into *detection when asked for. Arenas
    // are on the detection line, or in older files "ArenaN" zones with a column per fish
    // (ArenaLayout::takeArenas reads either).
    static bool readOverlays(const QString &path, OverlaySet *overlays, QString *error = nullptr,
        QString *detection = nullptr);

    // Whether the file at `path` is laid out as a data file with rows to read: text, a column
    // header line ("Seconds ..." or, after "NumFish:", "Time ..."), then at least one row
    // with a field for every column. False with the reason ("is not a text file", "no column
    // header line...", "no rows after the column header", "row 3 has 4 fields, the column
    // header names 9") otherwise.
    static bool hasRows(const QString &path, QString *reason);
    // A row's time and positions (the fields at `columns`) are numbers a float holds. Empty
    // when they are (a field that is no number reads as 0, as it always has), else "line N:
    // 'inf' is not a finite number": a time or position of inf or nan ("inf", "nan", "1e300")
    // would be measured, drawn or made a pixel as if it were a place, so every reader refuses
    // the file. (Other columns may say nan for a value not known.)
    static QString nonFiniteField(
        const QStringList &fields, const QList<int> &columns, qint64 lineNumber);

    // A real number as the file writes it: fixed notation, 8 decimals.
    static QString real(float value);

private:
    static void writeSingleFishRow(QTextStream &out, const Content &content,
        const ArenaLayout::ZoneMembership &zones, const TrackRecord &record,
        TrailingColumns trailing);
    static void writeMultiFishRow(QTextStream &out, const Content &content,
        const ArenaLayout::ZoneMembership &zones, const TrackRecord &record,
        TrailingColumns trailing);
};
