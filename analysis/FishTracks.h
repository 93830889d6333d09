#pragma once
// The rows of a tracking data file of either kind, fish by fish: each fish's position and
// found flag per row, and its own overlay columns as written. The trajectory, the heat map and
// the per-fish results read files through it. GUI-free; any thread.

#include "model/OverlayShapes.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

struct FishTrack
{
    QVector<int> xs; // pixels, one entry per data row
    QVector<int> ys;
    QVector<bool> found; // single-fish files: the threshold flag; multi-fish: "Conf?"
    QVector<float> confidences;
    QVector<QStringList> overlayFields; // per row: the fish's zone, ruler, point-distance fields
};

class FishTracks
{
public:
    // False with a reason naming the file in *error when it cannot be read or is not a
    // tracking data file.
    bool read(const QString &path, QString *error = nullptr);

    bool multiFish = false;
    // The Tracking Area, zones, rulers and point distances of the header; the arenas of a
    // whole-video background run are both zones ("ArenaN", with their columns) and arenas.
    OverlaySet overlays;
    QStringList overlayNames; // zones, rulers, point distances: the columns' names
    QVector<float> times; // seconds, one per data row
    QVector<FishTrack> fish;

    // Fish `index` as a single-fish data file, so the single-fish variable rules read it.
    QByteArray singleFishText(int index) const;

    // Per row, the mean distance in pixels between every two fish. Only rows where every fish
    // was found count, unless `takeAll` (the window's "Confident in ALL data values").
    void shoalDistances(bool takeAll, QVector<float> *times, QVector<float> *pixels) const;
};
