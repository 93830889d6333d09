#pragma once
// The tracking parameters a run holds from its start to its end, read once from the controls.
// The difference mode is not among them: it is read at every pixel (BackgroundModel).

#include "model/Arena.h"
#include "tracking/TrackingControls.h"

#include <QList>

#include <QString>

#include <optional>

struct RunParameters
{
    int fishCount = 1; // 1: single-fish path and file, otherwise multi-fish
    int framesToAverage = 300; // N, background averaging length
    float confidenceThreshold = 30.0f;
    float gaussianVariance = 0.01f;
    int filterSide = 3; // always odd: an even control value is raised by one
    DetectionKind method = DetectionKind::Classic;
    // The whole-video background method's arenas (none: the Tracking Area is the one arena
    // and holds fishCount fish). With arenas, fishCount is their total and the file is the
    // multi-fish one whatever the count.
    QList<Arena> arenas;

    bool multiFishFile() const { return fishCount != 1 || !arenas.isEmpty(); }

    // Filled by the run for the data file: the method's header line (empty for the classic
    // method) and the threshold of the single-fish flag when the method sets it.
    QString detectionDescription;
    std::optional<float> flagThreshold;
    // Why the method could not start (naming the file); empty when it started or was stopped.
    QString startFailure;

    static RunParameters fromControls(const TrackingControls &controls)
    {
        RunParameters p;
        p.fishCount = controls.fishCount.load();
        p.framesToAverage = controls.framesToAverage.load();
        p.confidenceThreshold = controls.confidenceThreshold.load();
        p.gaussianVariance = controls.gaussianVariance.load();
        p.filterSide = controls.meanFilterSize.load();
        p.method = controls.detectionMethod.load() == int(DetectionKind::Blobs)
            ? DetectionKind::Blobs
            : DetectionKind::Classic;
        // The controls never go below 1; a host that fills them directly still cannot make
        // the averaging divide by zero or the window negative.
        if (p.fishCount < 1)
            p.fishCount = 1;
        if (p.framesToAverage < 1)
            p.framesToAverage = 1;
        if (p.filterSide < 1)
            p.filterSide = 1;
        if (p.filterSide % 2 == 0)
            ++p.filterSide;
        return p;
    }
};
