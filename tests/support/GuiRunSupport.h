#pragma once
// Helpers of the GUI run tests: synthetic fish videos, a driver that works the main window
// through its real buttons, spin boxes and the mouse on the view, a gate that holds the
// tracker at an exact record count, and pondwatch-cli track for the reference file.

#include "app/MainWindow.h"
#include "formats/TrackingDataFile.h"
#include "support/FindControl.h"
#include "support/ScriptedDialogs.h"
#include "support/TestUtils.h"
#include "support/VideoFixtures.h"
#include "tracking/VideoTracker.h"
#include "video/QVideoEncoder.h"
#include "view/ui/VideoView.h"
#include "view/ui/VideoViewport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <cmath>
#include <memory>

namespace guitest {

const QSize frameSize(160, 120);
constexpr int fps = 25;

// One dark fish swimming an ellipse around the middle (about 2.5 pixels a frame), or
// `fishCount` fish in lanes 30 pixels apart, on a textured background: picture i.
inline QImage fishScene(int i, int fishCount)
{
    QVector<fixtures::FishSpec> fish;
    for (int k = 0; k < fishCount; ++k) {
        fixtures::FishSpec f;
        if (fishCount == 1) {
            const double t = 0.05 * i;
            f.center = QPointF(80 + 50 * std::cos(t), 60 + 35 * std::sin(t));
            f.angleDegrees = 90 + t * 180 / M_PI;
        } else {
            f.center = QPointF(80 + 50 * std::sin(0.04 * i + 1.7 * k), 30 + 30 * k);
        }
        fish << f;
    }
    return fixtures::drawScene(frameSize, fish, 7);
}

// The scene as a lossless video, so every decoded picture is exactly the drawn one and frame
// numbers count 0, 1, 2, ... Made by the ffmpeg tool.
inline bool writeFishVideo(const QString &path, int frames, int fishCount = 1)
{
    fixtures::VideoOptions options;
    options.format = fixtures::VideoFormat::LosslessAvi;
    options.size = frameSize;
    options.fps = fps;
    options.frameCount = frames;
    QString error;
    const bool ok = fixtures::writeVideo(
        path, options, [&](int i) { return fishScene(i, fishCount); }, &error);
    if (!ok)
        qWarning("%s", qPrintable(error));
    return ok;
}

// The scene through our own encoder (MPEG-4 in AVI, lossy), without starting a process:
// ThreadSanitizer does not support a process that forks once it has threads.
inline bool encodeFishVideo(const QString &path, int frames, int fishCount = 1)
{
    QVideoEncoder encoder;
    if (!encoder.OpenOutput(path, frameSize.width(), frameSize.height(), 4000000, 12))
        return false;
    for (int i = 0; i < frames; ++i)
        if (encoder.EncodeImage(fishScene(i, fishCount).convertToFormat(QImage::Format_RGB32)) < 0)
            return false;
    return encoder.Close();
}

// "Pause" / "Resume": the middle one of the three review buttons, whatever its text.
inline QPushButton *pauseButton(MainWindow &w)
{
    return findControl<QPushButton>(w, "pauseButton");
}

inline QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QStringList fileLines(const QString &path)
{
    return QString::fromUtf8(fileBytes(path)).split('\n', Qt::SkipEmptyParts);
}

#ifdef POND_CLI
// Runs pondwatch-cli track; the exit code, or -1 when it did not finish.
inline int runCli(const QStringList &args, QString *err = nullptr)
{
    const testutils::ProgramRun run
        = testutils::runProgram(QStringLiteral(POND_CLI), QStringList { "track" } + args);
    if (err)
        *err = run.err;
    return run.exitCode;
}
#endif

// Holds the tracker thread right after the record numbered `holdAt` is appended, until the
// GUI pauses or stops the run (or `release()`), so a test acts at an exact record count.
// Bounded: a hold that nobody ends gives up after 30 s.
class TrackerGate
{
public:
    explicit TrackerGate(VideoTracker *watched)
        : tracker(watched)
    {
        watched->setFrameHook([this, watched](int count) {
            if (count != holdAt.load())
                return;
            held = count;
            QElapsedTimer timer;
            timer.start();
            while (holdAt.load() == count && !released && !watched->isPaused()
                && !watched->isStopRequested() && timer.elapsed() < 30000)
                QThread::msleep(1);
            held = 0;
        });
    }
    // The hook goes with the gate, unless the tracker went first (the window was closed).
    ~TrackerGate()
    {
        if (tracker)
            tracker->setFrameHook({});
    }

    // Set before the run, or while the tracker is held (then it goes on to the new count).
    void holdAtCount(int count)
    {
        released = false;
        holdAt = count;
    }
    void release() { released = true; }
    // The count the tracker is held at, 0 when it is not held.
    int heldAt() const { return held; }

private:
    QPointer<VideoTracker> tracker; // GUI thread only
    std::atomic<int> holdAt { -1 };
    std::atomic<int> held { 0 };
    std::atomic<bool> released { false };
};

// The spin boxes of the control column, in order: fish, frames, threshold, variance, filter.
inline QList<QAbstractSpinBox *> spinBoxes(MainWindow &w)
{
    QWidget *column = findControl<QWidget>(w, "controlColumn");
    return column->findChildren<QAbstractSpinBox *>(QString(), Qt::FindDirectChildrenOnly);
}

// Works the window through its widgets, as a user would.
class WindowDriver
{
public:
    WindowDriver(MainWindow &window, ScriptedDialogs &scripted)
        : w(window)
        , dialogs(scripted)
    {
    }

    VideoView *view() const { return w.view(); }
    VideoTracker *tracker() const { return w.videoTracker(); }
    // Clicks the button with that objectName ("processVideoButton", ...).
    void click(const QString &name)
    {
        QPushButton *b = findControl<QPushButton>(w, name);
        // A run over a file an earlier run wrote asks first; these runs replace it.
        if (name == "processVideoButton" && b && b->isEnabled()) {
            const QString data = w.fishCount() == 1 ? TrackingDataFile::singleFishPath(w.fileName())
                                                    : TrackingDataFile::multiFishPath(w.fileName());
            if (QFileInfo(data).isFile())
                dialogs.queueChoice(0);
        }
        QTest::mouseClick(b, Qt::LeftButton);
    }
    void drag(QPoint from, QPoint to)
    {
        QTest::mousePress(view(), Qt::LeftButton, {}, from);
        QTest::mouseMove(view(), (from + to) / 2);
        QTest::mouseMove(view(), to);
        QTest::mouseRelease(view(), Qt::LeftButton, {}, to);
    }

    void open(const QString &video)
    {
        w.show();
        dialogs.queueFile(video);
        click("openVideoButton");
        // The tests click and drag in frame pixels: a small video that Fit enlarged is shown
        // at 100 %.
        if (w.videoViewport()->zoom() > 1.0)
            w.videoViewport()->showActualSize();
    }
    void setArea(QPoint from, QPoint to)
    {
        click("setTrackingAreaButton");
        drag(from, to);
    }
    void addZone(const QString &text, QPoint from, QPoint to)
    {
        dialogs.queueText(text);
        click("addZoneButton");
        drag(from, to);
    }
    void addRuler(const QString &text, double length, QPoint start, QPoint end)
    {
        dialogs.queueText(text);
        dialogs.queueReal(length);
        click("addRulerButton");
        drag(start, end);
    }
    void addPointDist(const QString &text, double length, QPoint reference, QPoint centre)
    {
        dialogs.queueText(text);
        dialogs.queueReal(length);
        click("addPointDistButton");
        drag(reference, centre);
    }

    QList<QAbstractSpinBox *> spinBoxes() const { return guitest::spinBoxes(w); }
    void setFishCount(int n) { qobject_cast<QSpinBox *>(spinBoxes()[0])->setValue(n); }
    void setFramesToAverage(int n) { qobject_cast<QSpinBox *>(spinBoxes()[1])->setValue(n); }
    void chooseDarkObject()
    {
        auto *group = w.findChild<QGroupBox *>();
        group->setChecked(true);
        for (QRadioButton *r : group->findChildren<QRadioButton *>())
            if (r->text() == "Dark object (-)")
                QTest::mouseClick(r, Qt::LeftButton);
    }
    QCheckBox *trackerViewCheck() const { return w.findChild<QCheckBox *>(); }

    bool running() const { return tracker()->isRunning(); }
    // Waits (bounded) until the run has ended and the window is idle again.
    bool waitIdle(int timeoutMs = 120000)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs) {
            if (!running() && findControl<QPushButton>(w, "processVideoButton")->isEnabled())
                return true;
            QTest::qWait(20);
        }
        return false;
    }
    // Waits (bounded) for one whole refresh of the window from now on.
    bool waitRefresh(int timeoutMs = 10000)
    {
        QTimer *refresh = nullptr;
        for (QTimer *t : w.findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly))
            if (t->interval() == 50 && t->isActive())
                refresh = t;
        if (!refresh)
            return false;
        QSignalSpy spy(refresh, &QTimer::timeout); // counted after the window's own slot ran
        return spy.wait(timeoutMs);
    }
    // Waits (bounded) until the gate holds the tracker at `count`.
    bool waitHeld(const TrackerGate &gate, int count, int timeoutMs = 120000)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs) {
            if (gate.heldAt() == count)
                return true;
            QTest::qWait(5);
        }
        return false;
    }

private:
    MainWindow &w;
    ScriptedDialogs &dialogs;
};

} // namespace guitest
