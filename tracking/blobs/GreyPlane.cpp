#include "tracking/blobs/GreyPlane.h"

#include <opencv2/imgproc.hpp>

cv::Mat GreyPlane::of(const QImage &frame)
{
    cv::Mat grey;
    convert(frame, grey);
    return grey;
}

void GreyPlane::convert(const QImage &frame, cv::Mat &grey)
{
    if (frame.isNull()) {
        grey.release();
        return;
    }
    if (frame.format() == QImage::Format_RGB888) {
        const cv::Mat rgb(frame.height(), frame.width(), CV_8UC3,
            const_cast<uchar *>(frame.constBits()), size_t(frame.bytesPerLine()));
        cv::cvtColor(rgb, grey, cv::COLOR_RGB2GRAY);
        return;
    }
    if (frame.format() == QImage::Format_Grayscale8) {
        const cv::Mat plane(frame.height(), frame.width(), CV_8UC1,
            const_cast<uchar *>(frame.constBits()), size_t(frame.bytesPerLine()));
        plane.copyTo(grey);
        return;
    }
    // 32-bit pixels are B, G, R, A in memory (0xAARRGGBB, little-endian).
    const QImage converted
        = frame.format() == QImage::Format_RGB32 || frame.format() == QImage::Format_ARGB32
        ? frame
        : frame.convertToFormat(QImage::Format_RGB32);
    const cv::Mat bgra(converted.height(), converted.width(), CV_8UC4,
        const_cast<uchar *>(converted.constBits()), size_t(converted.bytesPerLine()));
    cv::cvtColor(bgra, grey, cv::COLOR_BGRA2GRAY);
}
