#pragma once
// What a tracking data file offers for analysis: the names of its measurable overlays and,
// among them, its rulers, in file order. Read from the first field of every line, so both
// the single-fish and the multi-fish files list their overlays. GUI-free; any thread.

#include <QString>
#include <QStringList>

class DataFileHeader
{
public:
    // Reads the file at `path`. False when it cannot be opened for reading; the lists are
    // then left as they were.
    bool read(const QString &path);

    // Overlay names in file order; a name that occurs twice is listed twice.
    QStringList measurableNames;
    // The names among them that begin with "Ruler".
    QStringList rulerNames;
    // Whether the file is a multi-fish file (its first line is "NumFish: ").
    bool multiFish = false;

    // The variables the analysis offers for a file, in the window's order: speed and the turn
    // angles, each measurable overlay, and for several fish their shoal's mean distance.
    static QStringList variablesFor(const QStringList &measurableNames, bool multiFish);
    QStringList variables() const { return variablesFor(measurableNames, multiFish); }

    // Whether a line's first field names a measurable overlay (compared by prefix).
    static bool isMeasurableName(const QString &field);
    // A line of a data file split at every single space, empty fields kept.
    static QStringList splitLine(const QString &line);
};
