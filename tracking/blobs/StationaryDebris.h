#pragma once
// Specks that never move are not animals: a blob that stays in one place, frame after frame,
// while every animal of its arena is seen on a blob of its own elsewhere (farther than a body
// length) is a speck, dirt on the floor or a mark on the dish. Once it has been seen so for
// `framesToLearn` frames, a blob in that place (within a pixel and a half, of about its area)
// is dropped before the matcher, so a lost animal's index never goes to it. Runs on one
// arena's blob list. Tracker thread.

#include "tracking/blobs/Blob.h"

#include <vector>

class StationaryDebris
{
public:
    static constexpr int framesToLearn = 10;

    void reset(double bodyLength);

    // Drops the blobs lying on a learned speck (kept in order); returns how many.
    int drop(std::vector<Blob> &blobs) const;

    // After matching: blobOf holds each animal's blob (-1: not found).
    void learn(const std::vector<Blob> &blobs, const std::vector<int> &blobOf);

private:
    struct Spot
    {
        double x = 0, y = 0, area = 0;
        int frames = 0; // frames it was seen unclaimed, with every animal elsewhere
        int lastFrame = 0;
    };
    bool onSpot(const Blob &blob, const Spot &spot) const;

    std::vector<Spot> spots;
    double body = 10.0;
    int frame = 0;
};
