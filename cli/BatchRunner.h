#pragma once
// Runs the videos of a batch, each as a child `pondwatch-cli track` process, a number at a
// time, and shows one progress line for the whole batch on standard error. A video whose data
// file is newer than the video and its setup file is skipped, so a stopped batch resumes where
// it stopped; a failed video is recorded and the batch goes on. A run writes DATAFILE.running,
// which becomes DATAFILE once the run has succeeded, DATAFILE.stopped when it was stopped, or
// DATAFILE.failed when it failed (a video cut short), so that only a run that succeeded ever
// counts as up to date; a later success removes those. SIGINT, SIGTERM and SIGHUP are passed on
// to the running children (they run in process groups of their own, so a terminal's Ctrl+C
// reaches them only through here), which stop and write their records whole; nothing new is
// started, and a second signal ends them at once. The children die with the batch however it
// ends (kill -9 included), and the summary is written as each run ends, so a batch that is
// killed still leaves one. Main thread only: the children are watched from the event loop.

#include "batch/BatchManifest.h"
#include "batch/BatchSummary.h"

#include <QElapsedTimer>
#include <QObject>
#include <QVector>

class QProcess;

class BatchRunner : public QObject
{
    Q_OBJECT
public:
    // program: the pondwatch-cli executable; outputDir: where the data files go (empty: beside
    // each video).
    // summary: the summary CSV, rewritten as each run ends (empty: none).
    BatchRunner(const QVector<BatchJob> &jobs, const QString &program, const QString &outputDir,
        int parallel, const QString &summary = QString());

    // The data file a job writes: named as track names it, in outputDir or beside the video.
    static QString dataFileFor(const BatchJob &job, const QString &outputDir);

    // Runs every job; returns one outcome per job, in the manifest's order.
    QVector<BatchOutcome> run();
    // 0, or the signal that stopped the batch.
    int stoppedBy() const { return stopSignal; }

private:
    struct Running
    {
        int index = 0;
        QProcess *process = nullptr;
        QByteArray errors; // the child's standard error so far
        qint64 frames = 0; // frames it reported so far
        QElapsedTimer clock;
    };

    void startNext();
    void finished(Running *running);
    void poll();
    void showProgress(bool final);
    bool upToDate(const BatchJob &job, const QString &dataFile) const;
    void writeSummary();

    QVector<BatchJob> jobs;
    QVector<BatchOutcome> outcomes;
    QVector<qint64> expectedFrames; // per job, from the container; -1 when unknown
    QString program;
    int parallel = 1;
    int next = 0; // the next job to look at
    QVector<Running *> running;
    int stopSignal = 0;
    int signalsPassedOn = 0;
    QString summaryPath;
    qint64 framesFinished = 0; // frames of the runs that ended
    QElapsedTimer clock;
    qint64 lastShown = -1000000;
    bool interactive = false;
    bool loopRunning = false;
};
