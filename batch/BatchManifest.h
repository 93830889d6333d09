#pragma once
// The manifest of a batch: a CSV file with a header row, one video per row. The column
// `video` is required; every other column is a `pondwatch-cli track` option named without its
// dashes, and an empty cell leaves that option at its default. A column may appear more than
// once for the repeatable options (zone, ruler, pointdist, arena, arena-circle). Relative paths
// (the video, the setup file, an overlays file, a background picture) are taken from the
// manifest's folder. GUI-free; any thread.

#include <QString>
#include <QStringList>
#include <QVector>

struct BatchJob
{
    int line = 0; // the row's line in the manifest (the header is line 1)
    QString video; // absolute path
    QString setup; // absolute path, or empty
    QString overlaysFrom; // absolute path, or empty
    // From the fish and arena columns, to name the data file as track names it (with the
    // setup or overlays file, which may say more).
    int fishCount = 1;
    bool fishGiven = false;
    bool arenas = false;
    QStringList trackArguments; // "--area=...", "--fish=3", ... (without the video)
};

class BatchManifest
{
public:
    // options: the track options a row may set (named without dashes), besides video.
    explicit BatchManifest(const QStringList &options)
        : trackOptions(options)
    {
    }

    // Reads the manifest at path; on failure returns false and sets *error to "FILE:LINE:
    // reason" (or "FILE: reason").
    bool read(const QString &path, QString *error);
    // Parses manifest text; baseFolder resolves relative paths; name appears in errors.
    bool parse(
        const QByteArray &text, const QString &baseFolder, const QString &name, QString *error);

    const QVector<BatchJob> &jobs() const { return rows; }

    // The cells of one CSV text (RFC 4180: quoted cells may hold commas, quotes as "" and line
    // breaks; CRLF or LF line ends). Each record keeps the line it started on.
    struct Record
    {
        int line = 0;
        QStringList cells;
    };
    static bool splitCsv(const QString &text, QVector<Record> *records, QString *error);

private:
    QStringList trackOptions;
    QVector<BatchJob> rows;
};
