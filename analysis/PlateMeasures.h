#pragma once
// What plate assays report per fish (per well) and time bin: distance moved, mean speed, time
// mobile and immobile, time in each of the user's zones with the entries and the latency to
// the first, and for round arenas the time near the wall against the time in the centre.
// Lengths are in the data file's unit when it has a scale, else in pixels, and say so.
//
// Rows where a fish was not found are left out of every sum; each row of the table says how
// many found rows it rests on and how many were left out.
//
// Distance ignores jitter (EthoVision's "minimal distance moved"): the path runs from one
// kept position to the next found position at least `minMovePixels` away from it, so a
// resting larva whose detected centre wanders by a pixel or two gains no distance. A fish is
// mobile in a row when the distance so counted over the second before it (from the row one
// second earlier) reaches `immobileBelow` per second. GUI-free; any thread.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

class TrackTable;

struct MeasureSettings
{
    double binSeconds = 0.0; // 0: one bin for the whole file
    double minMovePixels = 4.0; // the minimal distance moved, in pixels
    double immobileBelow = -1.0; // in the length unit per second; below 0: the minimal
                                 // distance moved per second
    double wallBand = 0.25; // the outer share of a round arena's radius that is "wall"
};

struct MeasureRow
{
    int fish = 0; // from 1
    int arena = 0; // from 1; 0 without arenas
    QString well; // "A1"; empty when the arenas are no grid
    double start = 0.0, end = 0.0; // seconds
    double distance = 0.0; // in the unit
    double meanSpeed = 0.0; // unit per second over the time found; NaN when never found
    double mobile = 0.0, immobile = 0.0; // seconds
    QVector<double> zoneSeconds; // per user zone
    QVector<int> zoneEntries;
    QVector<double> zoneLatency; // seconds from the bin's start; NaN when never entered
    bool round = false; // wall and centre apply
    double wall = 0.0, centre = 0.0; // seconds
    int rows = 0; // found rows the values rest on
    int rowsNotFound = 0; // rows of the bin left out
};

namespace PlateMeasures {

// The most rows a table may have (fish times bins).
constexpr qint64 maxRows = 1000000;
// How many rows the table of `table` in bins of `settings` has.
qint64 rowCount(const TrackTable &table, const MeasureSettings &settings);

// One row per fish per bin, fish by fish; nothing when there would be more than maxRows.
QVector<MeasureRow> compute(const TrackTable &table, const MeasureSettings &settings);

// The table as CSV: fish,arena,well,start_s,end_s,distance,unit,mean_speed,mobile_s,
// immobile_s, then per zone <zone>_s,<zone>_entries,<zone>_latency_s, then wall_s,centre_s
// when an arena is round, then rows,rows_not_found.
QByteArray csv(const TrackTable &table, const QVector<MeasureRow> &rows);
QStringList columnNames(const TrackTable &table);

} // namespace PlateMeasures
