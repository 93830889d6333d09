#pragma once
// One foreground region: where it is, how big, which way it points. Frame coordinates.

#include <QPointF>

struct Blob
{
    QPointF centre; // intensity-weighted centroid, sub-pixel
    double area = 0.0; // pixels
    double angleDegrees = 0.0; // long axis, clockwise from the x axis (image y points down)
    double length = 0.0; // long axis: four standard deviations along it
    float meanDifference = 0.0f; // mean difference of its pixels to the background
    int label = 0; // its component in the last labelling
    bool split = false; // a part of a larger region shared by touching fish
};
