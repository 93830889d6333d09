#pragma once
// Merges a left and a right GFAdata analysis file into one two-line table: the events that
// follow a marker line in either file, in the order of their start times, labelled with
// their side and position, with the zone time of their side. GUI-free; used by the
// GFABlender slot and by pondwatch-cli, from one thread at a time.

#include <QList>
#include <QString>

class QTextStream;

class StimulusEventBlender
{
public:
    enum class Error {
        None,
        LeftMissing, // "Can't load gfa (left) file."
        RightMissing, // "Can't load gfa (right) file."
        LeftUnreadable, // "Can't open gfa (left) file."
        RightUnreadable, // "Can't open gfa (right) file."
        OutputUnwritable, // "Can't open '<name>' for write."
        OutputNotWritten, // "Can't write '<name>'." (a full disk, a file-size limit...)
    };
    static QString message(Error error, const QString &outputName = QString());

    struct Entry
    {
        qint64 start = 0; // running start time within its own file (sums of many intervals)
        bool left = true; // side: first (left) or second (right) file
        float value = 0; // first-zone time (left) or second-zone time (right)
    };

    // Existence checks, made as soon as each file is chosen.
    Error setLeftFile(const QString &path);
    Error setRightFile(const QString &path);
    // Opens both files, then reads the left one and the right one into `entries`, in file
    // order (unsorted).
    Error read();

    // The table: entries sorted by start, labels on the first line, values on the second.
    QString blended() const;

    // Writes `text` unchanged, replacing an existing file only once the whole file is
    // written. *detail gets "NAME: reason" on failure.
    static Error write(const QString &name, const QString &text, QString *detail = nullptr);

    // The whole tool without dialogs; *detail gets the file and the reason behind an error.
    static Error run(const QString &leftPath, const QString &rightPath, const QString &outputName,
        QString *detail = nullptr);

    QList<Entry> entries;
    // The file and the reason behind the last error of setLeftFile, setRightFile or read
    // ("PATH: is not a text file"); empty after success.
    QString detail;

private:
    static void readEntries(QTextStream &stream, bool left, QList<Entry> *entries);

    QString leftPath;
    QString rightPath;
};
