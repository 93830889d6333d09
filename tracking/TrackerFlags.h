#pragma once
// The tracker's control flags: written by the GUI thread (or the CLI), polled by the tracker
// thread. Stop is tested before each frame, pause after each frame, the tracker view at every
// pixel the detectors could paint.

#include <atomic>

struct TrackerFlags
{
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> paused{false};
    std::atomic<bool> showTrackerView{false};
};
