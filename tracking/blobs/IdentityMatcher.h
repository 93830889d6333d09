#pragma once
// Keeps each fish's identity from frame to frame: one global minimum-cost assignment between
// the fish and the blobs, gated by the maximum speed (widened by one step for each frame a fish
// has been missing). The cost is the distance to the fish's predicted position (last position
// plus last velocity), counted more across the fish's heading than along it (fish swim
// forwards), plus the change of the body's axis and of its area. A fish never found before
// takes a blob left over, away from the fish already placed. Unmatched fish keep their last
// position.
//
// Fish in contact (on parts of one region split for touching fish, or lost beside a blob
// another fish holds) keep the velocity and heading they had when the contact began. When the
// contact is over and the fish were not kept apart all through it (one hidden, or their parts
// closer than a quarter of a body), who is who among them is decided again, over the whole
// contact: each fish's motion from where the contact began, carried on for as long as it
// lasted, and its heading, against each blob after it. Fish whose parts stayed apart keep the
// parts they were followed on. Tracker thread.

#include "tracking/blobs/Blob.h"
#include "tracking/blobs/HeadingTracker.h"

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
        HeadingTracker heading;
        double bodyLength = 0.0; // of its last blob of its own (0: not yet measured)
        double area = 0.0; // its body's area, learned from its blobs of its own (0: unknown)
        double axisDegrees = 0.0; // its last blob's long axis
        // The contact it is in (-1: none) and the fish's state when it began.
        int contact = -1;
        int contactFrames = 0;
        // Through the contact: the closest it came to another fish of it, and whether any of
        // them was hidden (not found) in it.
        double contactClosest = 0.0;
        bool contactHidden = false;
        QPointF contactPosition, contactVelocity;
    };

    // minSeparation: how far a leftover blob must be from every placed fish for a fish never
    // found before to take it (a second piece of a placed fish's body is not a new fish).
    // bodyArea: one fish's area as the sampled frames show it (0: unknown); two blobs closer
    // than a body length whose areas add up to about one body are pieces of one fish, and only
    // one fish is found on them.
    void reset(int fishCount, double maxSpeed, double minSeparation, double bodyArea = 0.0);

    QPointF predicted(int fish) const;
    const std::vector<Fish> &fish() const { return fishes; }
    // The body area learned for the fish so far, largest of them (0: none yet).
    double largestBodyArea() const;

    // The blob of each fish (-1: none) for this frame; the state moves on to it. Blobs that are
    // parts of one split region carry that region's label.
    std::vector<int> match(const std::vector<Blob> &blobs);

    // The user placed `fish` at `position` (a correction while paused): the next frame is
    // predicted from there, standing still, as from a fish just found.
    void correct(int fish, QPointF position);

private:
    double cost(const Fish &f, const Blob &b, QPointF prediction) const;
    // Two blobs that are pieces of one fish's body (learned: that fish's area).
    bool piecesOfOneBody(const Blob &large, const Blob &small, double learned) const;
    bool pieceOfPlacedBody(
        const std::vector<Blob> &blobs, const std::vector<int> &blobOf, int candidate) const;
    void dropPiecesOfOneBody(const std::vector<Blob> &blobs, std::vector<int> &blobOf);
    void markContacts(const std::vector<Blob> &blobs, std::vector<int> &blobOf);
    void resolveEndedContacts(const std::vector<Blob> &blobs, std::vector<int> &blobOf);
    void moveOn(const std::vector<Blob> &blobs, const std::vector<int> &blobOf);

    std::vector<Fish> fishes;
    std::vector<bool> touching; // per fish: in contact in this frame
    std::vector<bool> resolved; // per fish: its contact ended in this frame
    double maxSpeed = 10.0;
    double minSeparation = 0.0;
    double bodyArea = 0.0;
    int nextContact = 0;
};
