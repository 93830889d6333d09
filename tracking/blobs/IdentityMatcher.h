#pragma once
// Keeps each fish's identity from frame to frame: one global minimum-cost assignment between
// the fish's predicted positions (last position plus last velocity) and the blobs, squared
// distance as the cost, gated by the maximum speed (widened by one step for each frame a fish
// has been missing). A fish never found before takes a blob left over, away from the fish
// already placed. Unmatched fish keep their last position. A fish matched to a part of a
// region split for touching fish keeps its velocity. Tracker thread.

#include "tracking/blobs/Blob.h"

#include <QPointF>

#include <vector>

class IdentityMatcher
{
public:
    struct Fish
    {
        QPointF position;
        QPointF velocity;
        bool everFound = false;
        int missed = 0; // frames since last found
    };

    // minSeparation: how far a leftover blob must be from every placed fish for a fish never
    // found before to take it (a second piece of a placed fish's body is not a new fish).
    void reset(int fishCount, double maxSpeed, double minSeparation);

    QPointF predicted(int fish) const;
    const std::vector<Fish> &fish() const { return fishes; }

    // The blob of each fish (-1: none) for this frame; the state moves on to it.
    std::vector<int> match(const std::vector<Blob> &blobs);

    // The user placed `fish` at `position` (a correction while paused): the next frame is
    // predicted from there, standing still, as from a fish just found.
    void correct(int fish, QPointF position);

private:
    std::vector<Fish> fishes;
    double maxSpeed = 10.0;
    double minSeparation = 0.0;
};
