#pragma once
// The tracker's control flags: written by the GUI thread (or the CLI), polled by the tracker
// thread. Stop is tested before each frame, pause after each frame, the tracker view at every
// pixel the detectors could paint. `asleep` goes the other way: the tracker sets it while it
// sleeps in a pause, so the GUI knows when the decoder and the records are free to use.

#include <atomic>

struct TrackerFlags
{
    std::atomic<bool> stopRequested { false };
    std::atomic<bool> paused { false };
    std::atomic<bool> showTrackerView { false };
    std::atomic<bool> asleep { false };
};
