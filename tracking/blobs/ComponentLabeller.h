#pragma once
// The 8-connected components of a binary mask, found from its runs of set pixels. The work
// grows with the number of runs rather than of pixels (past one fast scan of the mask), so a
// foreground that is nearly all water costs little. Components come in the order
// cv::connectedComponents numbers them (by the first 2x2 block, in raster order, that holds
// one of their pixels), with the same areas and bounding boxes. One labeller per arena;
// tracker thread.

#include <opencv2/core.hpp>

#include <utility>
#include <vector>

class ComponentLabeller
{
public:
    struct Run
    {
        int y = 0;
        int begin = 0; // first set pixel
        int end = 0; // one past the last
    };

    struct Component
    {
        int area = 0;
        int left = 0, top = 0, right = 0, bottom = 0; // inclusive
        int firstRun = 0; // its runs, in raster order: runsOf()[firstRun, firstRun + runCount)
        int runCount = 0;
    };

    // Labels the nonzero pixels of a CV_8UC1 mask. Coordinates are the mask's own.
    void label(const cv::Mat &mask);

    const std::vector<Component> &components() const { return found; }
    // The runs of every component, each component's together.
    const std::vector<Run> &runsOf() const { return grouped; }

private:
    int root(int run);

    std::vector<Run> runs; // raster order
    std::vector<Run> grouped;
    std::vector<int> componentOfRun;
    std::vector<int> parent; // union-find over runs
    std::vector<int> componentOfRoot;
    std::vector<Component> found, ordered;
    std::vector<std::pair<long long, int>> keys; // numbering order, component
};
