#include "tracking/blobs/BackgroundRefresh.h"

#include <opencv2/imgproc.hpp>

BackgroundRefresh::BackgroundRefresh(const cv::Mat &background)
{
    background.convertTo(average, CV_32F);
}

void BackgroundRefresh::update(const cv::Mat &grey, const cv::Mat &foreground, cv::Mat &background)
{
    if (grey.size() != average.size() || foreground.size() != average.size())
        return;
    const cv::Mat grow
        = cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(2 * margin + 1, 2 * margin + 1));
    cv::dilate(foreground, still, grow);
    cv::bitwise_not(still, still);
    cv::accumulateWeighted(grey, average, rate, still);
    average.convertTo(background, CV_8U);
}

QString BackgroundRefresh::describe()
{
    return QStringLiteral("live-update=outside-foreground live-rate=1/256 live-margin=%1")
        .arg(margin);
}
