#pragma once
// A live session: pictures from a LiveSource, tracked by the chosen detection method as they
// come, each row appended to the data file at once (LiveDataFile) and each zone entry and exit
// sent out (ZoneCrossings, EventSender). A picture the source dropped because the tracker was
// busy becomes a row marked not found, at its time, so that the rows keep the stream's time.
// The whole-video background learns its background during a warm-up (its rows marked not
// found, written when it ends), then keeps it up to date (BackgroundRefresh).
//
// run() runs on a thread of its own (the CLI's worker, the window's QThread); requestStop()
// and status() from any thread: the stop flag is an atomic (TrackerFlags), the status is
// guarded by statusLock. The records go to `results` (its resultsLock), the picture on display
// to currentFrame (imageLock), as in an offline run.

#include "tracking/RunParameters.h"
#include "tracking/TrackerViewPainter.h"

#include <QImage>
#include <QMutex>
#include <QRect>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

class LiveSource;
class TrackingHost;
class TrackResults;
struct TrackerFlags;
struct TrackRecord;

class LiveRun
{
public:
    struct Settings
    {
        QString dataFile;
        QString events; // "-", "udp://HOST:PORT" or empty: none
        double warmUpSeconds = 5.0; // whole-video background: the warm-up's length
        double durationSeconds = 0.0; // 0: until stopped or the source ends
        // The method, when not the controls' (the window asks for it when the session starts).
        std::optional<DetectionKind> method;
    };

    struct Status
    {
        qint64 rows = 0; // rows written, dropped ones included
        qint64 tracked = 0; // pictures tracked
        qint64 dropped = 0; // pictures dropped (rows marked not found)
        qint64 events = 0; // events sent
        bool warmingUp = false;
        bool streamTime = true; // the times are the stream's, else the wall clock's
        double seconds = 0.0; // the newest row's time
        double wallSeconds = 0.0; // since the first picture was taken
        // Medians over the last pictures, in milliseconds: from a picture's arrival to its row,
        // and to its last event sent (-1: none yet).
        double rowLatencyMs = -1.0;
        double eventLatencyMs = -1.0;
    };

    LiveRun(TrackingHost &host, LiveSource &source, TrackResults &results, QImage &currentFrame,
        QImage &trackerView, TrackerFlags &flags, const Settings &settings);

    // Until a stop, the end of the source, the duration or a failure. Returns the parameters
    // it held; failure() says what went wrong (empty: nothing).
    RunParameters run();
    void requestStop();
    Status status() const;
    QString failure() const;

private:
    // A row marked not found: `like` (the newest record) with every fish lost, or when there is
    // none, every fish at the Tracking Area's centre.
    TrackRecord notFound(const TrackRecord *like) const;
    void fail(const QString &why);
    void addLatency(std::vector<float> &ring, size_t &next, int64_t arrivalNs);

    TrackingHost &host;
    LiveSource &source;
    TrackResults &results;
    QImage &currentFrame;
    TrackerFlags &flags;
    TrackerViewPainter painter;
    Settings settings;
    RunParameters parameters;
    QRect area;

    mutable QMutex statusLock;
    Status current; // guarded by statusLock
    QString failed; // guarded by statusLock
    std::vector<float> rowLatencies, eventLatencies; // guarded by statusLock (rings)
    size_t rowNext = 0, eventNext = 0; // guarded by statusLock
    int64_t firstTakenNs = 0; // guarded by statusLock; 0 until the first picture
};
