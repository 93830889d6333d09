#pragma once
// Which whole-video background each arena (or the Tracking Area) gets, from the sampled
// frames: the per-pixel median, a high or low percentile ("extreme"), or the median of the
// samples in which no animal covered the pixel ("masked", whose first pass is the extreme
// one). "auto" takes the median where it holds no animal and the masked background where an
// animal rests in it: an animal-sized patch of the animals' polarity between the two. Where
// that one shows the sampled frames fewer animals than the region holds and the extreme one
// shows them all, it takes the extreme one. The
// animals' polarity is the difference rule's, or, for the absolute rule, whichever side the
// sampled frames depart from the median to more. Tracker thread.

#include "tracking/blobs/ArenaTracker.h"
#include "tracking/blobs/ForegroundMask.h"

#include <opencv2/core.hpp>

#include <QString>
#include <QStringList>

#include <vector>

class BackgroundChoice
{
public:
    // "auto", "median", "extreme", "masked"; false for another word.
    static bool modeFromName(const QString &name, BackgroundMode *mode);
    static QString nameOf(BackgroundMode mode);

    // The background over the whole frame (the median outside the regions). Needs at least
    // one sample.
    static BackgroundChoice make(BackgroundMode mode, const std::vector<cv::Mat> &samples,
        const std::vector<ArenaRegion> &regions, ForegroundMask::Rule rule,
        const BlobSettings &asked);

    cv::Mat background;
    bool darkAnimals = true;
    // Per region, the background it got ("median", "extreme", "masked").
    QStringList regionKinds;
    // The Detection line's words: "background=auto:masked background-why=..." and, with
    // several regions, each one's kind.
    QString describe(BackgroundMode mode) const;

private:
    QStringList reasons; // per region, under auto: why its kind
};
