#pragma once
// Foreground of one frame against the background: the difference with the classic rule
// (absolute, bright object, dark object), then a threshold. The automatic threshold comes
// from the difference histogram of the sampled frames: the noise's spread is read from its
// quantiles, and Otsu's method separates the fish from the tail of the noise above three
// spreads; the threshold is never below six spreads. Any thread.

#include <opencv2/core.hpp>

#include <array>
#include <vector>

struct TrackingControls;

class ForegroundMask
{
public:
    enum class Rule { Absolute, Bright, Dark };
    static Rule ruleFrom(const TrackingControls &controls);

    // |grey - background|, grey - background or background - grey, clipped at 0 (CV_8UC1).
    static void difference(const cv::Mat &grey, const cv::Mat &background, Rule rule, cv::Mat &out);
    // 255 where difference > threshold, else 0.
    static void threshold(const cv::Mat &difference, int threshold, cv::Mat &mask);
    // Counts of each difference level.
    using Histogram = std::array<double, 256>;
    // Adds the levels of `difference` where `inside` is nonzero (everywhere when it is empty).
    static void addToHistogram(const cv::Mat &difference, const cv::Mat &inside, Histogram &counts);
    // The threshold for all the differences together, made with `rule`; never below `floor`.
    static int automaticThreshold(const std::vector<cv::Mat> &differences, Rule rule, int floor);
    static int thresholdFromHistogram(const Histogram &histogram, Rule rule, int floor);
};
