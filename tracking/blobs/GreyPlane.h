#pragma once
// The grey levels of a frame as one 8-bit plane (OpenCV's RGB to grey: 0.299 R + 0.587 G +
// 0.114 B, rounded). Any thread.

#include <QImage>

#include <opencv2/core.hpp>

class GreyPlane
{
public:
    // A plane of the frame's size (CV_8UC1). RGB888 and 32-bit frames are read in place,
    // never copied first; other formats are converted. An empty frame gives an empty plane.
    static cv::Mat of(const QImage &frame);
    // Into `grey` (reallocated only when its size or type differs).
    static void convert(const QImage &frame, cv::Mat &grey);
};
