#pragma once
// An annotated video export on a thread of its own, so that the window keeps repainting and
// its menus answer: the status bar shows the export's progress with a Cancel button. One
// export at a time. The object lives on the GUI thread; the export itself (AnnotatedExport,
// which decodes with a decoder of its own) runs on the worker. Destroying the job stops the
// export and waits for it, so closing the window never leaves a worker behind.

#include "tools/AnnotatedExport.h"

#include <QObject>
#include <QTimer>

#include <atomic>
#include <functional>

class QLabel;
class QMainWindow;
class QProgressBar;
class QPushButton;
class QThread;

class ExportJob : public QObject
{
    Q_OBJECT

public:
    explicit ExportJob(QMainWindow *window);
    ~ExportJob() override;

    using Done = std::function<void(const AnnotatedExport::Result &result, const QString &output)>;
    // Starts `exporter` on `rows` and `video` (false while another export runs); `done` is
    // called on the GUI thread once it has ended, cancelled or not.
    bool start(AnnotatedExport exporter, AnnotationRows rows, const QString &video, Done done);
    bool isRunning() const { return worker != nullptr; }
    // Asks the export to stop after the frame it is drawing; it then writes nothing.
    void cancel();

    QProgressBar *progressBar() const { return bar; }
    QPushButton *cancelButton() const { return cancelButtonWidget; }

    // Called on the worker after every frame written, with the frames decoded so far. Tests
    // hold the worker here to act while an export is certainly under way.
    std::function<void(int framesDecoded)> frameHook;

private:
    void showProgress();
    void workerEnded();

    QLabel *label;
    QProgressBar *bar;
    QPushButton *cancelButtonWidget;
    QTimer poll; // GUI thread: reads the atomics below into the bar
    QThread *worker = nullptr; // GUI thread only
    Done whenDone; // GUI thread only
    QString output; // GUI thread only
    // Set by the GUI thread (Cancel, destruction), read by the worker between frames.
    std::atomic<bool> stopWanted { false };
    // Written by the worker after each frame, read by the GUI thread's timer.
    std::atomic<qint64> doneMs { 0 };
    std::atomic<qint64> totalMs { 0 };
    // Written by the worker before it ends; read by the GUI thread only after the thread has
    // finished (QThread::finished comes after run() returns), so it needs no lock.
    AnnotatedExport::Result result;
};
