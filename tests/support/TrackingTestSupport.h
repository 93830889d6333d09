#pragma once
// Helpers of the tracking tests: a decoder that serves pictures from memory, a host with
// plain members, and small picture makers.

#include "tracking/TrackingHost.h"
#include "tracking/VideoTracker.h"
#include "video/QVideoDecoder.h"

#include <QFile>
#include <QImage>
#include <QVector>

#include <atomic>
#include <functional>

namespace trackingtest {

// Serves a list of pictures as if decoded: picture i has the number i and the time i * 40 ms.
// The picture "on display" after opening is picture 0, so a run starts with picture 1.
class MemoryDecoder : public QVideoDecoder
{
public:
    QVector<QImage> frames;
    int current = 0;
    // Called on the tracker thread before each step, with the index about to be delivered.
    std::function<void(int)> beforeStep;

    bool seekNextFrame() override
    {
        if (current + 1 >= frames.size())
            return false;
        if (beforeStep)
            beforeStep(current + 1);
        ++current;
        return true;
    }
    bool copyFrame(QImage &image, qint64 *number = nullptr, qint64 *time = nullptr,
        qint64 * = nullptr, qint64 * = nullptr) override
    {
        if (current < 0 || current >= frames.size())
            return false;
        image = frames[current];
        if (number)
            *number = current;
        if (time)
            *time = qint64(current) * 40;
        return true;
    }
    qint64 frameNumber() override { return current; }
    qint64 frameTime() override { return qint64(current) * 40; }
    int lengthMs() override { return int(frames.size()) * 40; }
    bool isOpen() override { return true; }
};

class TestHost : public TrackingHost
{
public:
    TrackingControls controls;
    QVideoDecoder *decoder = nullptr;
    QString videoPath;
    QImage image;
    OverlaySet overlays;
    std::atomic<int> showResultsTrue { 0 };
    std::atomic<int> showResultsFalse { 0 };
    std::atomic<int> fishFoundCalls { 0 };

    TestHost()
    {
        overlays.areas << QRect();
        overlays.areaLabels << QStringLiteral("Tracking Area");
    }
    void setArea(const QRect &r) { overlays.areas[0] = r; }

    const TrackingControls &trackingControls() const override { return controls; }
    QVideoDecoder *videoDecoder() override { return decoder; }
    QString fileName() const override { return videoPath; }
    QImage viewImage() const override { return image; }
    OverlaySet viewOverlays() const override { return overlays; }
    void setShowResults(bool show) override { ++(show ? showResultsTrue : showResultsFalse); }
    void setFishFound(bool) override { ++fishFoundCalls; }
};

inline QImage uniformFrame(QSize size, int grey)
{
    QImage image(size, QImage::Format_RGB888);
    image.fill(QColor(grey, grey, grey));
    return image;
}

// A square "fish" of side `side` centred on (cx, cy).
inline QImage withSquare(QImage image, int cx, int cy, int side, int grey)
{
    for (int y = cy - side / 2; y < cy - side / 2 + side; ++y)
        for (int x = cx - side / 2; x < cx - side / 2 + side; ++x)
            if (image.rect().contains(x, y))
                image.setPixelColor(x, y, QColor(grey, grey, grey));
    return image;
}

inline QStringList fileLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

inline QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace trackingtest
