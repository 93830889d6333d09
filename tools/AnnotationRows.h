#pragma once
// The rows of a single-fish tracking data file that the annotated export applies, one per
// frame: time, fish position and found flag. GUI-free; used by the ExportVideo slot and by
// pondwatch-cli, on one thread at a time.

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
    // The title of the message box for `error` (its text is "Sorry.").
    static QString message(Error error);

    // Skips the header up to and including the column header line (the first line whose
    // first field is "Seconds"), then reads one row per line. Fields are the parts of a line
    // between single spaces, empty parts dropped. A file without that line gives no rows.
    Error read(const QString &path);

    int size() const { return int(times.size()); }
    bool isEmpty() const { return times.isEmpty(); }

    // Parallel lists, one entry per row in file order.
    QVector<float> times; // field 0, seconds
    QVector<float> xs; // field 1, frame pixels
    QVector<float> ys; // field 2, frame pixels
    QVector<bool> found; // field 5 reads as the integer 1
};
