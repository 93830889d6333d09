#pragma once
// The tracking parameters as the window's controls hold them, mirrored into atomics by the
// GUI thread (from the controls' change signals) so the tracker thread can read them at
// any time, the difference mode at every pixel. The CLI fills one directly.

#include "tracking/blobs/BlobControls.h"

#include <atomic>

// The detection methods a run can use; classic is the default.
enum class DetectionKind { Classic = 0, Blobs = 1 };

struct TrackingControls
{
    std::atomic<int> fishCount { 1 };
    std::atomic<int> framesToAverage { 300 };
    std::atomic<float> confidenceThreshold { 30.0f };
    std::atomic<float> gaussianVariance { 0.01f };
    std::atomic<int> meanFilterSize { 3 };
    std::atomic<bool> signedDifference { false };
    std::atomic<bool> brightObject { true };
    std::atomic<int> detectionMethod { int(DetectionKind::Classic) };
    BlobControls blobs;
};
