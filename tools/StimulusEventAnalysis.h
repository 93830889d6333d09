#pragma once
// Relates a list of stimulus events (a ".gfa" file) to a single-fish tracking data file:
// for each event, the time the fish spent in the first and in the second zone during a
// window after the event, one output line per event (a ".gfadata" file). GUI-free; used by
// the DoDataProcessing slot and by pondwatch-cli, from one thread at a time.

#include <QString>
#include <QStringList>
#include <QVector>

class StimulusEventAnalysis
{
public:
    enum class Error {
        None,
        DataFileMissing, // "Can't load video file."
        GfaFileMissing, // "Can't load gfa file."
        DataFileUnreadable, // "Can't open video file."
        GfaFileUnreadable, // "Can't open gfa file."
        OutputUnwritable, // "Can't open '<name>' for write."
        OutputNotWritten, // "Can't write '<name>'." (a full disk, a file-size limit...)
    };
    // The text shown for `error`; `outputName` is used by OutputUnwritable.
    static QString message(Error error, const QString &outputName = QString());

    // Existence checks, made as soon as each file is chosen.
    Error setDataFile(const QString &path);
    Error setGfaFile(const QString &path);
    // Reads the data rows of the data file, then the event lines of the GFA file.
    Error read();

    // One output line per event, without its line end. The first event's window starts at
    // `offset` seconds; each next event starts its full interval after the previous one.
    QStringList analyse(int offset, int longestWindow) const;

    // `chosen` with ".gfadata" appended unless it already ends with it.
    static QString outputFileName(const QString &chosen);
    // Writes each line followed by "\n", replacing an existing file only once the whole
    // file is written. *detail gets "NAME: reason" on failure.
    static Error write(const QString &name, const QStringList &lines, QString *detail = nullptr);

    // The whole tool without dialogs: both checks, reading, analysis and writing to
    // outputFileName(chosenOutput), which `writtenName` receives; *detail gets the file and
    // the reason behind an error ("PATH: not found").
    static Error run(const QString &dataPath, const QString &gfaPath, int offset, int longestWindow,
        const QString &chosenOutput, QString *writtenName, QString *detail = nullptr);

    // The per-row series of the data file, all of equal length.
    QVector<float> times;
    QVector<int> firstZone;
    QVector<int> secondZone;
    QVector<float> intervals; // time since the previous row; 0 for the first row
    // The event lines after the GFA file's 4 header lines.
    QStringList events;
    // The file and the reason behind the last error of setDataFile, setGfaFile or read
    // ("PATH: is not a text file"); empty after success.
    QString detail;

private:
    QString dataPath;
    QString gfaPath;
};
