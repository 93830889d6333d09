#include "tracking/blobs/ForegroundMask.h"

#include "tracking/TrackingControls.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

ForegroundMask::Rule ForegroundMask::ruleFrom(const TrackingControls &controls)
{
    if (!controls.signedDifference)
        return Rule::Absolute;
    return controls.brightObject ? Rule::Bright : Rule::Dark;
}

void ForegroundMask::difference(
    const cv::Mat &grey, const cv::Mat &background, Rule rule, cv::Mat &out)
{
    switch (rule) {
    case Rule::Absolute:
        cv::absdiff(grey, background, out);
        break;
    case Rule::Bright:
        cv::subtract(grey, background, out); // saturates at 0
        break;
    case Rule::Dark:
        cv::subtract(background, grey, out);
        break;
    }
}

void ForegroundMask::threshold(const cv::Mat &difference, int threshold, cv::Mat &mask)
{
    cv::threshold(difference, mask, threshold, 255, cv::THRESH_BINARY);
}

int ForegroundMask::automaticThreshold(const std::vector<cv::Mat> &differences, int floor)
{
    if (differences.empty())
        return floor;
    cv::Mat all;
    cv::vconcat(differences, all);
    cv::Mat unused;
    const double otsu = cv::threshold(all, unused, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    return std::max(int(otsu), floor);
}
