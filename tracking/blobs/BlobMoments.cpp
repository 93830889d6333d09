#include "tracking/blobs/BlobMoments.h"

#include <cmath>

Blob BlobMoments::blob() const
{
    Blob b;
    b.area = pixels;
    if (w <= 0.0)
        return b;
    const double cx = wx / w, cy = wy / w;
    b.centre = QPointF(cx, cy);
    // Central second moments; the larger eigenvalue is the variance along the long axis.
    const double mxx = std::max(0.0, wxx / w - cx * cx);
    const double myy = std::max(0.0, wyy / w - cy * cy);
    const double mxy = wxy / w - cx * cy;
    const double spread = std::sqrt((mxx - myy) * (mxx - myy) + 4.0 * mxy * mxy);
    const double major = 0.5 * (mxx + myy + spread);
    b.length = 4.0 * std::sqrt(std::max(major, 0.0));
    b.angleDegrees = 0.5 * std::atan2(2.0 * mxy, mxx - myy) * 180.0 / M_PI;
    b.meanDifference = float(w / pixels);

    // Along the long axis u: E[(s - mean)^3] from the moments about the first pixel.
    const double ux = std::cos(b.angleDegrees * M_PI / 180.0);
    const double uy = std::sin(b.angleDegrees * M_PI / 180.0);
    const double s1 = (ux * sx + uy * sy) / w;
    const double s2 = (ux * ux * sxx + 2 * ux * uy * sxy + uy * uy * syy) / w;
    const double s3 = (ux * ux * ux * sxxx + 3 * ux * ux * uy * sxxy + 3 * ux * uy * uy * sxyy
                          + uy * uy * uy * syyy)
        / w;
    const double variance = s2 - s1 * s1;
    const double third = s3 - 3 * s1 * s2 + 2 * s1 * s1 * s1;
    if (variance > 1e-9)
        b.skew = third / std::pow(variance, 1.5);
    return b;
}
