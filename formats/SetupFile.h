#pragma once
// A tracking setup kept between sessions and shared between videos filmed the same way: the
// Tracking Area, zones, rulers and point distances with their labels, and the tracking
// parameters. A small text file, one item per line:
//
//   Pondwatch setup 1
//   area X1 Y1 X2 Y2 LABEL                (inclusive corners; the first is the Tracking Area)
//   arenas arena-round=0,1 arena-fish=1,2 arena-group=1,1
//                                         (the whole-video background method's arenas, when
//                                          there are any: each an "area" labelled ArenaN, as
//                                          in a data file, this line saying what the data
//                                          file's detection line says of them)
//   ruler X1 Y1 X2 Y2 LENGTH LABEL
//   pointdist CX CY RX RY LENGTH LABEL
//   fish N / average N / threshold T / variance V / filter N / signed 0|1 / bright 0|1
//   method classic|background / background-frames N / blob-threshold T / min-area N /
//   max-area N / max-speed S /
//   background auto|median|extreme|masked (the detection method and the whole-video background's
//                                      parameters; written only when that method is chosen or
//                                      one of them is not its default, so a classic setup
//                                      reads in versions before them; -1 and 0 mean "from
//                                      the sampled frames", as in the window)
//
// A file without an "arenas" line holds no arenas, and its "ArenaN" areas stay zones; setups
// without arenas are written as before arenas existed, so every version reads them (a version
// that knows no arenas refuses an "arenas" line, naming the file and the line). Reading
// also accepts a tracking data file, whose header holds the same overlays (no parameters) and
// the arenas of the whole-video background method (its "ArenaN" zones). GUI-free:
// the window, pondwatch-cli and batch work read the same files.

#include "model/OverlayShapes.h"

#include <QString>

struct TrackingSetup
{
    OverlaySet overlays;
    bool hasParameters = false; // false when read from a data file's header
    int fishCount = 1;
    int framesToAverage = 300;
    float confidenceThreshold = 30.0f;
    float gaussianVariance = 0.01f;
    int meanFilterSize = 3;
    bool signedDifference = false;
    bool brightObject = true;
    // The detection method (the classic one unless set) and the whole-video background's
    // parameters, as tracking/blobs/BlobControls.h holds them.
    bool wholeVideoBackground = false;
    int backgroundFrames = 50;
    // How the background is made of the samples: an index of backgroundModeNames, in the
    // order of tracking/blobs' BackgroundMode.
    int backgroundMode = 0;
    float blobThreshold = -1.0f; // below 0: chosen from the sampled frames
    int minArea = 0; // 0: from the sampled frames
    int maxArea = 0;
    float maxSpeed = 0.0f; // 0: from the body length

    // The classic method tracks at most this many fish, the whole-video background more.
    static constexpr int classicMaxFish = 25;
    static constexpr int backgroundMaxFish = 200;
    static constexpr const char *backgroundModeNames[] = { "auto", "median", "extreme", "masked" };
};

class SetupFile
{
public:
    // Writes atomically; false with "FILE: reason" in *error on failure.
    static bool write(const QString &path, const TrackingSetup &setup, QString *error = nullptr);
    // Reads a setup file or the header of a tracking data file; false with "FILE: reason" (the
    // line number for a bad line) in *error, leaving *setup untouched.
    static bool read(const QString &path, TrackingSetup *setup, QString *error = nullptr);
    // The text write() puts in the file.
    static QString text(const TrackingSetup &setup);

    static constexpr const char *firstLine = "Pondwatch setup 1";
};
