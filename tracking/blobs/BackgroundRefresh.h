#pragma once
// The whole-video background kept up to date in a live session, where no later frame can be
// sampled: after each frame, the pixels outside the foreground (every blob the frame showed,
// grown by a margin) move a small step towards the frame, a running average of rate 1/256
// (half-way in about 6 s at 30 frames per second). A pixel under an animal keeps its value
// however long the animal stays, so a fish at rest never fades into the background; slow
// changes of the light around the animals are followed. Tracker thread.

#include <opencv2/core.hpp>

#include <QString>

class BackgroundRefresh
{
public:
    static constexpr double rate = 1.0 / 256.0;
    static constexpr int margin = 3; // pixels the foreground is grown by

    explicit BackgroundRefresh(const cv::Mat &background);

    // grey: the frame (CV_8UC1); foreground: nonzero where an animal may be, frame-sized;
    // background: updated in place.
    void update(const cv::Mat &grey, const cv::Mat &foreground, cv::Mat &background);

    // The words for the Detection line.
    static QString describe();

private:
    cv::Mat average; // CV_32FC1, the background's exact values
    cv::Mat still; // CV_8UC1, where the update applies (reused)
};
