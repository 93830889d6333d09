#include "tracking/blobs/GreyPlane.h"

void GreyPlane::fromRgbRow(const uchar *__restrict rgb, uchar *__restrict grey, int n)
{
    for (int x = 0; x < n; ++x) {
        const unsigned sum = unsigned(rgb[3 * x]) * 11u + unsigned(rgb[3 * x + 1]) * 16u
            + unsigned(rgb[3 * x + 2]) * 5u;
        grey[x] = uchar(sum >> 5);
    }
}

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
    grey.create(frame.height(), frame.width(), CV_8UC1);
    const bool packed = frame.format() == QImage::Format_RGB888;
    const QImage converted
        = packed || frame.depth() == 32 ? QImage() : frame.convertToFormat(QImage::Format_RGB32);
    const QImage &source = converted.isNull() ? frame : converted;
    for (int y = 0; y < source.height(); ++y) {
        uchar *out = grey.ptr<uchar>(y);
        if (packed) {
            fromRgbRow(source.constScanLine(y), out, source.width());
        } else {
            const QRgb *p = reinterpret_cast<const QRgb *>(source.constScanLine(y));
            for (int x = 0; x < source.width(); ++x)
                out[x] = uchar(qGray(p[x]));
        }
    }
}
