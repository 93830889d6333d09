#pragma once
// The rows of a tracking data file that the annotated export applies, one per frame: time,
// fish position and found flag; for a multi-fish file also every fish's position and flag.
// GUI-free; used by the ExportVideo slot and by pondwatch-cli, on one thread at a time.

#include <QPointF>
#include <QString>
#include <QVector>

class AnnotationRows
{
public:
    enum class Error {
        None,
        Missing, // "Can't load video file."
        Unreadable, // "Can't open video file."
    };
    // The file and the reason behind the last error of read ("PATH: not found"), or why a
    // file gave no row at all ("PATH: no column header line"); empty otherwise.
    QString detail;
    // The title of the message box for `error` (its text is "Sorry.").
    static QString message(Error error);

    // Skips the header up to and including the column header line (the first line whose
    // first field is "Seconds"), then reads one row per line. Fields are the parts of a line
    // between single spaces, empty parts dropped. A multi-fish file ("NumFish: " first, the
    // column header line starting with "Time") gives every fish's position and flag, and
    // its first fish as the row's position. A file without either line gives no rows.
    Error read(const QString &path);

    int size() const { return int(times.size()); }
    bool isEmpty() const { return times.isEmpty(); }

    // Parallel lists, one entry per row in file order.
    QVector<float> times; // field 0, seconds
    QVector<float> xs; // field 1, frame pixels
    QVector<float> ys; // field 2, frame pixels
    QVector<bool> found; // field 5 reads as the integer 1
    // Multi-fish files only (empty otherwise): per row, each fish's position and found flag.
    QVector<QVector<QPointF>> fishPositions;
    QVector<QVector<bool>> fishFound;
};
