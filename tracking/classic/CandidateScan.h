#pragma once
// The candidates of multi-fish detection, found as the background pass completes rows of box
// means rather than from the whole map afterwards. A candidate is a mean that reaches the
// threshold and is above its eight neighbours, so a row whose highest mean falls short of the
// threshold holds none: its means are made only when a neighbouring row needs them, and the
// map is never written out. The candidates and their order are those that
// MultiFishDetector::findCandidates() finds on the whole map. Tracker thread only.

#include <QPoint>

#include <vector>

class BoxMeanRows;

struct FishCandidate
{
    QPoint position; // full-frame pixel
    float value = 0.0f;
};

class CandidateScan
{
public:
    // Starts a frame: the map's size (the Tracking Area's), the filter's half width, the
    // area's top-left pixel and the threshold.
    void begin(int width, int height, int half, QPoint origin, float threshold);
    // The next rows of means, in ascending order; rows that skip or repeat leave the scan
    // incomplete.
    void addRows(const BoxMeanRows &rows);
    // Whether every row of the frame came since begin(); only then are candidates() the map's.
    bool complete() const;
    // Ascending column, then row (those found so far when the scan is not complete); ends
    // the frame's scan.
    std::vector<FishCandidate> takeCandidates();

private:
    // A row of means kept from the band before (its rows are gone with it).
    struct KeptRow
    {
        int y = -1; // -1: none
        float highest = 0.0f;
        std::vector<float> means;
    };
    const KeptRow *kept(int y) const;

    bool active = false;
    int w = 0, h = 0, half = 0;
    QPoint origin;
    float threshold = 0.0f;
    int nextRow = 0; // the first row the next band must start with
    KeptRow keptRows[2]; // the last two rows of the band before, when they were made
    KeptRow spareRows[2]; // where the next band's kept rows are made
    std::vector<const float *> bandRows; // the band's rows read so far (null: not yet made)
    std::vector<float> neighbourhood; // rows y - 1, y, y + 1 side by side, for the kernel
    std::vector<int> columns;
    std::vector<FishCandidate> found;
};
