#pragma once
// Pictures of where the fish went, drawn over a frame of their video: the path of every fish
// (or of one) in its palette colour, or the occupancy heat map over the Tracking Area, with the
// zones outlined (round arenas round). Small frames are drawn enlarged by a whole factor so labels
// stay readable. GUI-free (QPainter on any paint device); any thread.

#include "analysis/FishTracks.h"
#include "analysis/OccupancyGrid.h"

#include <QImage>
#include <QSize>
#include <QString>

class QPainter;

class TrackPicture
{
public:
    enum class Kind { Trajectory, HeatMap };

    // Draws the picture of `kind` of fish `fishIndex` (0-based, or every fish when negative):
    // its path, or the heat map counting it in bins of `binPixels`.
    static void draw(QPainter &painter, Kind kind, const QImage &frame, const FishTracks &tracks,
        int binPixels = 10, int fishIndex = -1);

    // The first frame of a video; a null image with the reason naming the file in *error.
    static QImage firstFrame(const QString &videoPath, QString *error);
    // The video a data file was written for: its name without ".data.txt" or ".datamulti.txt".
    static QString videoPathFor(const QString &dataPath);

    // The size of a picture drawn over a frame of `frameSize`.
    static QSize pictureSize(const QSize &frameSize);
    static int scaleFor(const QSize &frameSize);

    static void drawTrajectory(
        QPainter &painter, const QImage &frame, const FishTracks &tracks, int fishIndex = -1);
    static void drawHeatMap(QPainter &painter, const QImage &frame, const FishTracks &tracks,
        const OccupancyGrid &grid);

    // The heat colour of a share from 0 (dark blue) to 1 (light yellow).
    static QColor heatColour(double t);
};
