#pragma once
// File > Track Live...: a window of its own that tracks a camera or a stream as it comes, with
// the picture, each fish's marker and trail, the zones lit while a fish is in them, the status
// (frames per second, frames dropped, latency) and a Stop button. The session (LiveRun) runs
// on a worker thread, which also opens the source (a stream may keep it waiting); the window
// redraws from the shared records and picture on a timer, and when the session has ended shows
// the usual end-of-run notice through the main window's RunFeedback. GUI thread, except the
// worker; `finished` is the one flag the worker sets, an atomic.

#include "tracking/TrackResults.h"
#include "tracking/TrackingHost.h"
#include "tracking/classic/TrackerFlags.h"
#include "tracking/live/LiveRun.h"
#include "video/LiveSource.h"

#include <QImage>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <memory>
#include <thread>

class MainWindow;
class QLabel;
class QPushButton;

class LiveWindow : public QWidget
{
public:
    struct Session
    {
        QString source;
        DetectionKind method = DetectionKind::Classic;
        QString dataFile;
    };

    LiveWindow(MainWindow *window, const Session &session);
    ~LiveWindow() override;

    // Asks for the source, the method and the data file (through Dialogs), then opens a
    // window that starts the session; nothing when the user cancels.
    static void start(MainWindow *window);

    QPushButton *stopButton() const { return stop; }
    QString statusText() const;
    bool hasEnded() const { return ended; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // The session's surroundings: the main window's controls and overlays as they were when
    // it started (copied, so that the window may close while the worker still stops), the
    // source's name.
    class Host : public TrackingHost
    {
    public:
        Host(MainWindow *window, const QString &source);
        const TrackingControls &trackingControls() const override;
        QVideoDecoder *videoDecoder() override { return nullptr; }
        QString fileName() const override { return source; }
        QImage viewImage() const override { return QImage(); }
        OverlaySet viewOverlays() const override { return overlays; }
        void setShowResults(bool) override { }
        void setFishFound(bool) override { }

    private:
        TrackingControls controls; // written before the worker starts, then only read
        QString source;
        OverlaySet overlays; // copied when the session starts
    };

    void refresh();
    void finish();

    MainWindow *window;
    Session session;
    Host host;
    LiveSource source;
    TrackResults results;
    QImage currentFrame; // guarded by imageLock
    QImage trackerView; // guarded by imageLock (not shown)
    TrackerFlags flags;
    LiveRun run;
    QString openFailure; // written by the worker before `finished`, read after it
    std::atomic<bool> finished { false };
    std::thread worker;
    bool ended = false;

    QLabel *picture = nullptr;
    QLabel *status = nullptr;
    QPushButton *stop = nullptr;
    QTimer timer;
};
