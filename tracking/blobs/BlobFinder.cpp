#include "tracking/blobs/BlobFinder.h"

#include "tracking/blobs/BlobMoments.h"

#include <algorithm>
#include <functional>

std::vector<Blob> BlobFinder::find(
    const cv::Mat &difference, const cv::Mat &mask, QPoint origin, int minArea, int maxArea)
{
    std::vector<Blob> blobs;
    labeller.label(mask);
    const std::vector<ComponentLabeller::Component> &components = labeller.components();
    const std::vector<ComponentLabeller::Run> &runs = labeller.runsOf();
    for (size_t k = 0; k < components.size(); ++k) {
        const ComponentLabeller::Component &c = components[k];
        if (c.area < minArea || c.area > maxArea)
            continue;
        BlobMoments moments;
        for (int r = c.firstRun; r < c.firstRun + c.runCount; ++r) {
            const ComponentLabeller::Run &run = runs[size_t(r)];
            const uchar *d = difference.ptr<uchar>(run.y);
            for (int x = run.begin; x < run.end; ++x)
                moments.add(x + origin.x(), run.y + origin.y(), d[x]);
        }
        Blob blob = moments.blob();
        blob.label = int(k) + 1;
        blobs.push_back(blob);
    }
    return blobs;
}

std::vector<int> BlobFinder::componentAreas(const cv::Mat &mask)
{
    ComponentLabeller labeller;
    labeller.label(mask);
    std::vector<int> areas;
    for (const ComponentLabeller::Component &c : labeller.components())
        areas.push_back(c.area);
    std::sort(areas.begin(), areas.end(), std::greater<int>());
    return areas;
}

void BlobFinder::pixelsOf(const Blob &blob, const cv::Mat &difference, QPoint origin,
    std::vector<cv::Point2f> *points, std::vector<float> *weights) const
{
    points->clear();
    weights->clear();
    const std::vector<ComponentLabeller::Component> &components = labeller.components();
    if (blob.label < 1 || blob.label > int(components.size()))
        return;
    const ComponentLabeller::Component &c = components[size_t(blob.label - 1)];
    const std::vector<ComponentLabeller::Run> &runs = labeller.runsOf();
    for (int r = c.firstRun; r < c.firstRun + c.runCount; ++r) {
        const ComponentLabeller::Run &run = runs[size_t(r)];
        const uchar *d = difference.ptr<uchar>(run.y);
        for (int x = run.begin; x < run.end; ++x) {
            points->emplace_back(float(x + origin.x()), float(run.y + origin.y()));
            weights->push_back(d[x]);
        }
    }
}
