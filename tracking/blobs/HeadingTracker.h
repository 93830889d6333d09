#pragma once
// Which way one fish points, from tail to head, frame after frame. The long axis of its blob
// gives the line; which end is the head comes from three kinds of evidence weighed together:
// the body's shape (the head end is the wider and darker one, so the blob's mass leans
// towards it and its thin end away), the direction of motion once the fish swims faster than
// a small share of its length per frame, and continuity (the end nearest the last heading is
// kept). The kept end changes only when shape and motion have disagreed with it for several
// frames, so a single odd frame never flips the fish, while a wrong first guess is put right
// as soon as the fish swims. Tracker thread (one per fish).

#include <QPointF>

class HeadingTracker
{
public:
    // One frame's measurement: the blob's axis (degrees, either end), its skew along the
    // axis (Blob::skew), how far the fish moved since the last frame (pixels) and its body
    // length. useShape false: the blob's outline says nothing of the fish (a part of a
    // region shared with another fish), only its motion and the last heading count.
    void update(
        double axisDegrees, double skew, QPointF movement, double bodyLength, bool useShape = true);
    // No measurement this frame (the fish not found): the heading is held, the motion forgot.
    void hold();

    bool known() const { return has; }
    // Tail to head, atan2(dy, dx) in image coordinates (y down), in [0, 360).
    double heading() const { return degrees; }

private:
    bool has = false;
    double degrees = 0.0;
    double belief = 0.0; // > 0: the evidence agrees with the kept end
    QPointF motion; // smoothed movement per frame
};
