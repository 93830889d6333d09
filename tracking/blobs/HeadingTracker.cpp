#include "tracking/blobs/HeadingTracker.h"

#include <algorithm>
#include <cmath>

namespace {

double wrapped(double degrees)
{
    double d = std::fmod(degrees, 360.0);
    return d < 0 ? d + 360.0 : d;
}

// The smallest angle between two directions, 0..180.
double between(double a, double b)
{
    const double d = std::fabs(wrapped(a - b));
    return std::min(d, 360.0 - d);
}

// A skew this large is a clear head end; below a tenth of it the shape is taken as symmetric.
constexpr double clearSkew = 0.25;
// Moving faster than this share of the body length per frame, the motion shows the head.
constexpr double movingShare = 0.02;
constexpr double clearlyMovingShare = 0.08;
// How long evidence lasts, and how much contrary evidence flips the kept end.
constexpr double memory = 0.85;
constexpr double flipAt = -2.0;
constexpr double mostBelief = 6.0;

} // namespace

void HeadingTracker::update(
    double axisDegrees, double skew, QPointF movement, double bodyLength, bool useShape)
{
    motion = 0.6 * motion + 0.4 * movement;
    // The end the shape names: the mass leans towards the head, the thin end away from it.
    const double shapeHead = wrapped(skew < 0 ? axisDegrees : axisDegrees + 180.0);
    double kept;
    if (!has) {
        kept = shapeHead;
        belief = 0.0;
    } else {
        kept = between(axisDegrees, degrees) <= 90.0 ? wrapped(axisDegrees)
                                                     : wrapped(axisDegrees + 180.0);
    }
    double evidence = 0.0;
    if (useShape && std::fabs(skew) > 0.1 * clearSkew) {
        const double strength = std::min(1.0, std::fabs(skew) / clearSkew);
        evidence += between(kept, shapeHead) < 90.0 ? strength : -strength;
    }
    const double speed = std::hypot(motion.x(), motion.y());
    const double length = std::max(bodyLength, 1.0);
    if (speed > movingShare * length) {
        const double direction = std::atan2(motion.y(), motion.x()) * 180.0 / M_PI;
        const double strength = 1.5 * std::min(1.0, speed / (clearlyMovingShare * length));
        evidence += strength * std::cos(between(kept, direction) * M_PI / 180.0);
    }
    belief = std::min(mostBelief, memory * belief + evidence);
    if (!has && belief < 0) {
        // The first look: whatever the evidence says at once.
        kept = wrapped(kept + 180.0);
        belief = -belief;
    } else if (belief < flipAt) {
        kept = wrapped(kept + 180.0);
        belief = -belief;
    }
    degrees = kept;
    has = true;
}

void HeadingTracker::hold()
{
    motion = QPointF();
}
