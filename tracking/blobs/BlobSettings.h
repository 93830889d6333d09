#pragma once
// The whole-video background method's parameters: as asked for (read once from the controls
// when a run starts; 0 or a negative threshold asks for the automatic value), and as used
// once the pre-pass has filled in the automatic ones.

#include "tracking/TrackingControls.h"

#include <QString>

// How the whole-video background is made from the sampled frames (BackgroundChoice).
enum class BackgroundMode { Auto, Median, Extreme, Masked };

struct BlobSettings
{
    int backgroundFrames = 50;
    BackgroundMode background = BackgroundMode::Auto;
    float threshold = -1.0f; // < 0: automatic
    int minArea = 0; // 0: automatic
    int maxArea = 0; // 0: automatic
    float maxSpeed = 0.0f; // 0: automatic

    static BlobSettings fromControls(const TrackingControls &controls)
    {
        BlobSettings s;
        s.backgroundFrames = std::max(1, controls.blobs.backgroundFrames.load());
        const int mode = controls.blobs.backgroundMode.load();
        s.background = mode >= 0 && mode <= int(BackgroundMode::Masked) ? BackgroundMode(mode)
                                                                        : BackgroundMode::Auto;
        s.threshold = controls.blobs.threshold.load();
        s.minArea = std::max(0, controls.blobs.minArea.load());
        s.maxArea = std::max(0, controls.blobs.maxArea.load());
        s.maxSpeed = std::max(0.0f, controls.blobs.maxSpeed.load());
        return s;
    }
};

struct BlobParameters
{
    int threshold = 20; // a pixel is foreground when its difference is above it
    int minArea = 4;
    int maxArea = 1000;
    double typicalArea = 0.0; // one fish, from the sampled frames (0: unknown)
    bool areaLearned = false; // typicalArea comes from animals seen in the sampled frames
    double bodyLength = 10.0;
    double maxSpeed = 15.0; // pixels per frame

    // "threshold=auto:23 min-area=..." with the automatic values marked.
    QString describe(const BlobSettings &asked) const
    {
        auto mark = [](bool automatic) { return automatic ? QStringLiteral("auto:") : QString(); };
        return QStringLiteral("threshold=%1%2 min-area=%3%4 max-area=%5%6 max-speed=%7%8")
            .arg(mark(asked.threshold < 0))
            .arg(threshold)
            .arg(mark(asked.minArea == 0))
            .arg(minArea)
            .arg(mark(asked.maxArea == 0))
            .arg(maxArea)
            .arg(mark(asked.maxSpeed <= 0))
            .arg(maxSpeed, 0, 'f', 2);
    }
};
