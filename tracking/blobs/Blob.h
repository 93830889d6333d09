#pragma once
// One foreground region: where it is, how big, which way it points. Frame coordinates.

#include <QPointF>

struct Blob
{
    QPointF centre; // intensity-weighted centroid, sub-pixel
    double area = 0.0; // pixels
    double angleDegrees = 0.0; // long axis, clockwise from the x axis (image y points down)
    double length = 0.0; // long axis: four standard deviations along it
    // The third moment along the long axis (towards angleDegrees) over the cube of its
    // standard deviation: a body heavier at one end leans its long thin end towards the sign.
    // A fish's head is the wider, darker end, so the head lies against the sign.
    double skew = 0.0;
    float meanDifference = 0.0f; // mean difference of its pixels to the background
    int label = 0; // its component in the last labelling
    bool split = false; // a part of a larger region shared by touching fish
    double regionArea = 0.0; // a part: the whole region's area (its label is the region's)
};
