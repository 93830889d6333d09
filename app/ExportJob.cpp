#include "app/ExportJob.h"

#include <QFileInfo>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QThread>

#include <algorithm>

ExportJob::ExportJob(QMainWindow *window)
    : QObject(window)
    , label(new QLabel)
    , bar(new QProgressBar)
    , cancelButtonWidget(new QPushButton(tr("Cancel Export")))
{
    label->setObjectName(QStringLiteral("exportLabel"));
    bar->setObjectName(QStringLiteral("exportProgress"));
    cancelButtonWidget->setObjectName(QStringLiteral("exportCancel"));
    cancelButtonWidget->setToolTip(tr("Stop the export; nothing is written"));
    bar->setRange(0, 1000);
    bar->setMaximumWidth(220);
    QStatusBar *status = window->statusBar();
    status->addPermanentWidget(label);
    status->addPermanentWidget(bar);
    status->addPermanentWidget(cancelButtonWidget);
    for (QWidget *w : { static_cast<QWidget *>(label), static_cast<QWidget *>(bar),
             static_cast<QWidget *>(cancelButtonWidget) })
        w->setVisible(false);
    connect(cancelButtonWidget, &QPushButton::clicked, this, [this] { cancel(); });
    poll.setInterval(100);
    connect(&poll, &QTimer::timeout, this, [this] { showProgress(); });
}

ExportJob::~ExportJob()
{
    if (worker) {
        stopWanted = true;
        worker->wait();
        delete worker;
    }
}

bool ExportJob::start(
    AnnotatedExport exporter, AnnotationRows rows, const QString &video, Done done)
{
    if (worker)
        return false;
    stopWanted = false;
    doneMs = 0;
    totalMs = 0;
    whenDone = std::move(done);
    output = exporter.outputPath.isEmpty() ? AnnotatedExport::outputFileName(video, exporter.format)
                                           : exporter.outputPath;
    exporter.stopRequested = [this] { return stopWanted.load(); };
    exporter.progress = [this](int frames, qint64 frameMs, qint64 lengthMs) {
        doneMs = frameMs;
        totalMs = lengthMs;
        if (frameHook)
            frameHook(frames);
    };
    worker = QThread::create([this, exporter = std::move(exporter), rows = std::move(rows), video] {
        result = exporter.run(rows, video);
    });
    connect(worker, &QThread::finished, this, [this] { workerEnded(); });
    label->setText(tr("Exporting %1").arg(QFileInfo(output).fileName()));
    bar->setValue(0);
    cancelButtonWidget->setEnabled(true);
    for (QWidget *w : { static_cast<QWidget *>(label), static_cast<QWidget *>(bar),
             static_cast<QWidget *>(cancelButtonWidget) })
        w->setVisible(true);
    poll.start();
    worker->start();
    return true;
}

void ExportJob::cancel()
{
    if (!worker)
        return;
    stopWanted = true;
    cancelButtonWidget->setEnabled(false);
    label->setText(tr("Stopping the export..."));
}

void ExportJob::showProgress()
{
    const qint64 total = totalMs;
    if (total > 0)
        bar->setValue(int(std::clamp<qint64>(doneMs * 1000 / total, 0, 1000)));
}

void ExportJob::workerEnded()
{
    poll.stop();
    worker->deleteLater();
    worker = nullptr;
    for (QWidget *w : { static_cast<QWidget *>(label), static_cast<QWidget *>(bar),
             static_cast<QWidget *>(cancelButtonWidget) })
        w->setVisible(false);
    // Moved out first: the callback may start the next export.
    Done done = std::move(whenDone);
    whenDone = nullptr;
    if (done)
        done(result, output);
}
