#pragma once
// The grey levels of a frame as one 8-bit plane, with the classic method's rule (qGray:
// (11 R + 16 G + 5 B) / 32), so both methods see the same grey. Any thread.

#include <QImage>

#include <opencv2/core.hpp>

class GreyPlane
{
public:
    // A plane of the frame's size (CV_8UC1); frames in RGB888, RGB32 or ARGB32. An empty
    // frame gives an empty plane. The frame's rows are read in place, never copied first.
    static cv::Mat of(const QImage &frame);
    // Into `grey` (reallocated only when its size or type differs).
    static void convert(const QImage &frame, cv::Mat &grey);

    // The row kernel: n packed RGB pixels to n grey levels.
    static void fromRgbRow(const uchar *rgb, uchar *grey, int n);
};
