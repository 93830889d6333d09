#include "tracking/blobs/ComponentLabeller.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

// The first nonzero byte of row[x, width), or width.
int nextSet(const uchar *row, int x, int width)
{
    // Eight bytes at a time across water.
    while (x + 8 <= width) {
        std::uint64_t word;
        std::memcpy(&word, row + x, sizeof word);
        if (word != 0)
            break;
        x += 8;
    }
    while (x < width && row[x] == 0)
        ++x;
    return x;
}

int nextClear(const uchar *row, int x, int width)
{
    while (x < width && row[x] != 0)
        ++x;
    return x;
}

} // namespace

int ComponentLabeller::root(int run)
{
    while (parent[size_t(run)] != run) {
        parent[size_t(run)] = parent[size_t(parent[size_t(run)])];
        run = parent[size_t(run)];
    }
    return run;
}

void ComponentLabeller::label(const cv::Mat &mask)
{
    CV_Assert(mask.type() == CV_8UC1);
    runs.clear();
    parent.clear();
    found.clear();
    const int width = mask.cols;
    size_t previousBegin = 0, previousEnd = 0; // the runs of the row above
    for (int y = 0; y < mask.rows; ++y) {
        const uchar *row = mask.ptr<uchar>(y);
        const size_t rowBegin = runs.size();
        for (int x = nextSet(row, 0, width); x < width; x = nextSet(row, x, width)) {
            const int end = nextClear(row, x, width);
            runs.push_back(Run { y, x, end });
            parent.push_back(int(runs.size() - 1));
            x = end;
        }
        // Runs of neighbouring rows touch (8-connected) when their spans, each widened by one
        // pixel, overlap. Both rows are in order, so one sweep finds every touching pair.
        size_t above = previousBegin;
        for (size_t r = rowBegin; r < runs.size(); ++r) {
            const Run &run = runs[r];
            while (above < previousEnd && runs[above].end < run.begin)
                ++above;
            for (size_t a = above; a < previousEnd && runs[a].begin <= run.end; ++a) {
                const int p = root(int(a)), q = root(int(r));
                if (p != q)
                    parent[size_t(std::max(p, q))] = std::min(p, q);
            }
        }
        previousBegin = rowBegin;
        previousEnd = runs.size();
    }

    // One component per root, first in the order of the runs (raster order).
    componentOfRoot.assign(runs.size(), -1);
    componentOfRun.resize(runs.size());
    for (size_t r = 0; r < runs.size(); ++r) {
        const Run &run = runs[r];
        const int top = root(int(r));
        if (componentOfRoot[size_t(top)] < 0) {
            componentOfRoot[size_t(top)] = int(found.size());
            Component c;
            c.left = run.begin;
            c.right = run.end - 1;
            c.top = c.bottom = run.y;
            found.push_back(c);
        }
        const int k = componentOfRoot[size_t(top)];
        componentOfRun[r] = k;
        Component &c = found[size_t(k)];
        c.area += run.end - run.begin;
        c.left = std::min(c.left, run.begin);
        c.right = std::max(c.right, run.end - 1);
        c.bottom = run.y;
        ++c.runCount;
    }
    // The runs grouped by component, each group in raster order.
    int next = 0;
    for (Component &c : found) {
        c.firstRun = next;
        next += c.runCount;
        c.runCount = 0;
    }
    grouped.resize(runs.size());
    for (size_t r = 0; r < runs.size(); ++r) {
        Component &c = found[size_t(componentOfRun[r])];
        grouped[size_t(c.firstRun + c.runCount++)] = runs[r];
    }

    // cv::connectedComponents numbers a component by the first 2x2 block (rows 2k and 2k+1,
    // columns 2j and 2j+1), in raster order of blocks, that holds one of its pixels.
    keys.resize(found.size());
    bool inOrder = true;
    for (size_t k = 0; k < found.size(); ++k) {
        const Component &c = found[k];
        const int band = c.top / 2;
        int firstBlock = width;
        for (int r = c.firstRun; r < c.firstRun + c.runCount && grouped[size_t(r)].y / 2 == band;
             ++r)
            firstBlock = std::min(firstBlock, grouped[size_t(r)].begin / 2);
        keys[k] = { (long long)band * (width + 1) + firstBlock, int(k) };
        inOrder = inOrder && (k == 0 || keys[k - 1].first < keys[k].first);
    }
    if (!inOrder) {
        std::sort(keys.begin(), keys.end());
        ordered.clear();
        for (const auto &key : keys)
            ordered.push_back(found[size_t(key.second)]);
        found.swap(ordered);
    }
}
