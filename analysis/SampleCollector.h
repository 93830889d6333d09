#pragma once
// Turns a single-fish tracking data file into the samples of one analysis variable: the
// sample times in seconds and the values, in file order. Each call reads the file from the
// start, so nothing is shared between variables. GUI-free; any thread.

#include <QIODevice>
#include <QString>
#include <QVector>

struct SampleRequest
{
    QString path;
    QString variable; // "Speed", "RelativeTurnAngle", "AbsoluteTurnAngle", or a column name
    QString rulerX; // the ruler giving the X direction (empty when there is none)
    QString rulerY; // the ruler giving the Y direction
    bool allConfident = false;
};

struct Samples
{
    bool opened = false; // false: the file could not be opened, and there are no samples
    QVector<float> times;
    QVector<float> values; // parallel to times
};

class SampleCollector
{
public:
    static Samples collect(const SampleRequest &request);
    // The same rules on a single-fish file's text already open in `device` (request.path is
    // not read).
    static Samples collectFrom(QIODevice &device, const SampleRequest &request);

    // Speed samples are also written one per line to the debug output.
    static constexpr float fallbackFrameTime = 0.033333335f; // 1/30 s
};
