#include "tracking/blobs/ForegroundMask.h"

#include "tracking/TrackingControls.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>

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

void ForegroundMask::addToHistogram(
    const cv::Mat &difference, const cv::Mat &inside, Histogram &counts)
{
    // Whole counts first, in four tables taken in turn, so that runs of one value do not wait
    // on each other's increments.
    std::array<std::array<unsigned, 256>, 4> tables {};
    for (int y = 0; y < difference.rows; ++y) {
        const uchar *row = difference.ptr<uchar>(y);
        const uchar *keep = inside.empty() ? nullptr : inside.ptr<uchar>(y);
        int x = 0;
        if (!keep) {
            for (; x + 4 <= difference.cols; x += 4) {
                ++tables[0][row[x]];
                ++tables[1][row[x + 1]];
                ++tables[2][row[x + 2]];
                ++tables[3][row[x + 3]];
            }
        }
        for (; x < difference.cols; ++x)
            if (!keep || keep[x])
                ++tables[size_t(x & 3)][row[x]];
    }
    for (size_t v = 0; v < 256; ++v)
        counts[v] += double(tables[0][v]) + tables[1][v] + tables[2][v] + tables[3][v];
}

int ForegroundMask::automaticThreshold(
    const std::vector<cv::Mat> &differences, Rule rule, int floor)
{
    if (differences.empty())
        return floor;
    Histogram histogram {};
    for (const cv::Mat &d : differences)
        addToHistogram(d, cv::Mat(), histogram);
    return thresholdFromHistogram(histogram, rule, floor);
}

int ForegroundMask::thresholdFromHistogram(const Histogram &histogram, Rule rule, int floor)
{
    double total = 0;
    for (double h : histogram)
        total += h;
    // Nearly every pixel is water, so the noise sets the quantiles. For a normal noise of
    // spread s, |d| has its median at 0.674 s; a one-sided difference is 0 for half the
    // pixels and has its 75th percentile there.
    const double quantile = rule == Rule::Absolute ? 0.5 : 0.75;
    double below = 0;
    int level = 0;
    while (level < 255 && below + histogram[size_t(level)] < quantile * total)
        below += histogram[size_t(level++)];
    const double spread = std::max(level, 1) / 0.674;

    // Otsu's method on the histogram above three spreads: fish against the noise's tail.
    const int tail = int(std::ceil(3 * spread));
    std::vector<uchar> values;
    for (int v = tail; v < 256; ++v)
        values.insert(values.end(), size_t(histogram[size_t(v)]), uchar(v));
    int otsu = 0;
    if (values.size() > 1) {
        cv::Mat row(1, int(values.size()), CV_8UC1, values.data());
        cv::Mat unused;
        otsu = int(cv::threshold(row, unused, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU));
    }
    return std::max({ otsu, int(std::ceil(6 * spread)), floor });
}
