#pragma once
// Splits a multi-fish data file made with arenas into one data file per arena, for scripts
// that expect one animal per file: an arena's file has the arena as its Tracking Area, the
// other overlays (not the arenas' zones), and its own fish's rows; a single-fish file for an
// arena with one fish, a multi-fish file for one with several. The arenas and their fish
// counts come from the detection line (in older files the arenas are "ArenaN" zones); a file
// without one is refused. GUI-free; one thread at a time.

#include "formats/TrackingDataFile.h"

#include <QList>
#include <QString>

class ArenaSplitter
{
public:
    struct Part
    {
        QString label; // "Arena12"
        TrackingDataFile::Content content;
    };

    // Reads `path`; false with the file and the reason in *error.
    bool read(const QString &path, QString *error);
    const QList<Part> &parts() const { return arenaParts; }

    // Where part `label` of `path` goes: "X.datamulti.txt" gives "X.Arena12.data.txt" (or
    // ".datamulti.txt" for several fish).
    static QString partPath(const QString &path, const Part &part);

private:
    QList<Part> arenaParts;
};
