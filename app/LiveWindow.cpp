#include "app/LiveWindow.h"

#include "app/MainWindow.h"
#include "app/RunFeedback.h"
#include "tracking/ImageLock.h"
#include "ui/Dialogs.h"
#include "view/ViewRenderer.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMutexLocker>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

LiveRun::Settings settingsOf(const LiveWindow::Session &session)
{
    LiveRun::Settings settings;
    settings.dataFile = session.dataFile;
    settings.method = session.method;
    return settings;
}

} // namespace

LiveWindow::Host::Host(MainWindow *mainWindow, const QString &sourceName)
    : source(sourceName)
    , overlays(mainWindow->viewOverlays())
{
    const TrackingControls &from = mainWindow->trackingControls();
    controls.fishCount = from.fishCount.load();
    controls.framesToAverage = from.framesToAverage.load();
    controls.confidenceThreshold = from.confidenceThreshold.load();
    controls.gaussianVariance = from.gaussianVariance.load();
    controls.meanFilterSize = from.meanFilterSize.load();
    controls.signedDifference = from.signedDifference.load();
    controls.brightObject = from.brightObject.load();
    controls.detectionMethod = from.detectionMethod.load();
    const BlobControls &blobs = from.blobs;
    controls.blobs.backgroundFrames = blobs.backgroundFrames.load();
    controls.blobs.backgroundMode = blobs.backgroundMode.load();
    controls.blobs.threshold = blobs.threshold.load();
    controls.blobs.minArea = blobs.minArea.load();
    controls.blobs.maxArea = blobs.maxArea.load();
    controls.blobs.maxSpeed = blobs.maxSpeed.load();
    controls.blobs.setChosenBackground(blobs.chosenBackground(), blobs.chosenBackgroundPath());
}

const TrackingControls &LiveWindow::Host::trackingControls() const
{
    return controls;
}

void LiveWindow::start(MainWindow *window)
{
    Dialogs &dialogs = Dialogs::current();
    const QString source = dialogs.text(window, QObject::tr("Track Live"),
        QObject::tr("Camera (/dev/video0) or stream (udp://0.0.0.0:5000, rtsp://...):"));
    if (source.trimmed().isEmpty())
        return;
    const QString classic = QObject::tr("Classic (running average)");
    const QString method
        = dialogs.item(window, QObject::tr("Track Live"), QObject::tr("Detection method:"),
            { classic, QObject::tr("Whole-video background (learnt over the first 5 s)") });
    if (method.isEmpty())
        return;
    const QString file = Dialogs::withExtension(
        dialogs.saveFileName(window, QObject::tr("Save the live tracking data as"), QString(),
            QObject::tr("Tracking data (*.txt)")),
        QStringLiteral(".txt"));
    if (file.isEmpty())
        return;
    Session session { source.trimmed(),
        method == classic ? DetectionKind::Classic : DetectionKind::Blobs, file };
    auto *live = new LiveWindow(window, session);
    live->setAttribute(Qt::WA_DeleteOnClose);
    live->show();
}

LiveWindow::LiveWindow(MainWindow *mainWindow, const Session &liveSession)
    : QWidget(mainWindow, Qt::Window)
    , window(mainWindow)
    , session(liveSession)
    , host(mainWindow, liveSession.source)
    , run(host, source, results, currentFrame, trackerView, flags, settingsOf(liveSession))
{
    setObjectName(QStringLiteral("liveWindow"));
    setWindowTitle(tr("Live: %1").arg(session.source));
    picture = new QLabel(tr("Waiting for %1...").arg(session.source));
    picture->setAlignment(Qt::AlignCenter);
    picture->setMinimumSize(320, 240);
    status = new QLabel;
    status->setObjectName(QStringLiteral("liveStatus"));
    stop = new QPushButton(tr("Stop"));
    stop->setObjectName(QStringLiteral("liveStop"));
    stop->setToolTip(tr("End the session: the data file keeps every row made"));
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(status, 1);
    bottom->addWidget(stop);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(picture, 1);
    layout->addLayout(bottom);
    resize(720, 600);

    connect(stop, &QPushButton::clicked, this, [this] {
        run.requestStop();
        stop->setEnabled(false);
    });
    connect(&timer, &QTimer::timeout, this, [this] { refresh(); });
    timer.start(100);

    worker = std::thread([this] {
        LiveSource::Options options;
        options.url = session.source;
        options.cancelled = [this] { return flags.stopRequested.load(); };
        QString error;
        if (source.open(options, &error))
            run.run();
        else
            openFailure = error;
        finished = true;
    });
}

LiveWindow::~LiveWindow()
{
    run.requestStop();
    if (worker.joinable())
        worker.join();
}

void LiveWindow::closeEvent(QCloseEvent *event)
{
    run.requestStop();
    if (worker.joinable())
        worker.join();
    if (!ended)
        finish();
    event->accept();
}

QString LiveWindow::statusText() const
{
    return status->text();
}

void LiveWindow::refresh()
{
    if (finished && !ended) {
        worker.join();
        finish();
    }
    QImage frame;
    {
        QMutexLocker locker(&imageLock);
        frame = currentFrame;
    }
    const LiveRun::Status s = run.status();
    if (!frame.isNull()) {
        TrackRecord newest;
        ViewState state;
        if (results.newest(&newest)) {
            state.showResults = !s.warmingUp;
            state.fishPosition = QPoint(newest.x, newest.y);
            state.fishFound = newest.found;
            for (const QPoint &p : std::as_const(newest.fishPositions))
                state.fishPositions << p;
        }
        state.meanFilterSize = host.trackingControls().meanFilterSize;
        const RecordLookup history = [this](int index, TrackRecord &record) {
            return results.withLock([&](const QVector<TrackRecord> &r) {
                if (index < 0 || index >= r.size())
                    return false;
                record = r[r.size() - 1 - index];
                return true;
            });
        };
        const QImage shown = ViewRenderer::render(frame, host.viewOverlays(), state, history);
        picture->setPixmap(QPixmap::fromImage(
            shown.scaled(picture->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    }
    QString text = s.warmingUp ? tr("Learning the background: %1 s").arg(s.seconds, 0, 'f', 1)
                               : tr("%1 s, %2 rows").arg(s.seconds, 0, 'f', 1).arg(s.rows);
    text += tr(", %1 dropped").arg(s.dropped);
    if (s.wallSeconds > 0)
        text += tr(", %1 fps").arg(double(s.tracked) / s.wallSeconds, 0, 'f', 1);
    if (s.rowLatencyMs >= 0)
        text += tr(", latency %1 ms").arg(s.rowLatencyMs, 0, 'f', 1);
    if (ended)
        text = tr("Ended: ") + text;
    status->setText(text);
}

void LiveWindow::finish()
{
    ended = true;
    stop->setEnabled(false);
    const QString failure = !openFailure.isEmpty() ? openFailure : run.failure();
    const bool written = run.status().rows > 0;
    window->runFeedback()->runEnded(written ? session.dataFile : QString(), failure);
    if (!failure.isEmpty())
        Dialogs::current().critical(this, tr("Track Live"), failure);
}
