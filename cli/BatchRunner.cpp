#include "cli/BatchRunner.h"

#include "cli/SignalStop.h"

#include "formats/SetupFile.h"
#include "formats/TrackingDataFile.h"
#include "video/VideoProbe.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

QString formatDuration(double seconds)
{
    const qint64 s = qint64(std::max(0.0, seconds) + 0.5);
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600)
        .arg((s / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

// The frames a track run reported last ("1234 frames, 56.7 fps, ..."); -1 when none yet.
qint64 lastReportedFrames(const QByteArray &errors)
{
    static const QRegularExpression progress(QStringLiteral("(?:^|[\\r\\n])(\\d+) frames, "));
    qint64 frames = -1;
    auto it = progress.globalMatch(QString::fromUtf8(errors));
    while (it.hasNext())
        frames = it.next().captured(1).toLongLong();
    return frames;
}

// The run's own last message, without the "pondwatch-cli track: " in front.
QString lastMessage(const QByteArray &errors)
{
    const QString prefix = QStringLiteral("pondwatch-cli track: ");
    const QStringList lines = QString::fromUtf8(errors).split(QRegularExpression("[\\r\\n]+"));
    for (auto it = lines.crbegin(); it != lines.crend(); ++it)
        if (it->startsWith(prefix))
            return it->mid(prefix.size()).trimmed();
    return QString();
}

// The name a run writes its data file under until it has finished.
QString runningName(const QString &dataFile)
{
    return dataFile + QStringLiteral(".running");
}

} // namespace

BatchRunner::BatchRunner(const QVector<BatchJob> &batchJobs, const QString &executable,
    const QString &outputDir, int parallelRuns, const QString &summary)
    : jobs(batchJobs)
    , program(executable)
    , parallel(std::max(1, parallelRuns))
    , summaryPath(summary)
{
    interactive = isatty(fileno(stderr));
    for (const BatchJob &job : jobs) {
        BatchOutcome outcome;
        outcome.video = job.video;
        outcome.dataFile = dataFileFor(job, outputDir);
        outcomes << outcome;
    }
}

// Track gives a run of several fish or of arenas the several-fish name, whether the row or
// its setup file asks for them (fish, and arenas for the whole-video background method), or
// without a setup file its overlays file (arenas). A file that cannot be read is track's to
// report.
QString BatchRunner::dataFileFor(const BatchJob &job, const QString &outputDir)
{
    bool severalFish = job.fishCount > 1 || job.arenas;
    const QString overlaysFile = !job.setup.isEmpty() ? job.setup : job.overlaysFrom;
    TrackingSetup setup;
    if (!severalFish && !overlaysFile.isEmpty() && SetupFile::read(overlaysFile, &setup)) {
        const bool blobs = job.trackArguments.contains(QStringLiteral("--method=blobs"));
        severalFish = (blobs && !setup.overlays.arenas.isEmpty())
            || (setup.hasParameters && !job.fishGiven && setup.fishCount > 1);
    }
    const QString besideVideo = severalFish ? TrackingDataFile::multiFishPath(job.video)
                                            : TrackingDataFile::singleFishPath(job.video);
    return outputDir.isEmpty()
        ? besideVideo
        : QDir(outputDir).absoluteFilePath(QFileInfo(besideVideo).fileName());
}

bool BatchRunner::upToDate(const BatchJob &job, const QString &dataFile) const
{
    const QFileInfo data(dataFile);
    if (!data.isFile())
        return false;
    const QFileInfo video(job.video);
    if (!video.isFile() || data.lastModified() <= video.lastModified())
        return false;
    return job.setup.isEmpty() || data.lastModified() > QFileInfo(job.setup).lastModified();
}

QVector<BatchOutcome> BatchRunner::run()
{
    // What is left to track, in frames, for the time-left estimate.
    expectedFrames.fill(-1, jobs.size());
    for (int i = 0; i < jobs.size(); ++i) {
        if (upToDate(jobs[i], outcomes[i].dataFile)) {
            outcomes[i].status = BatchOutcome::Status::Skipped;
            outcomes[i].message
                = QStringLiteral("the data file is newer than the video%1")
                      .arg(jobs[i].setup.isEmpty() ? QString() : QStringLiteral(" and setup"));
            continue;
        }
        expectedFrames[i] = VideoProbe(jobs[i].video).expectedFrames;
    }
    clock.start();
    SignalStop::install(SignalStop::Second::IsHandled);
    QEventLoop loop;
    QTimer timer;
    connect(&timer, &QTimer::timeout, this, [this, &loop] {
        poll();
        if (running.isEmpty() && (stopSignal || next >= jobs.size()))
            loop.quit();
    });
    timer.start(200);
    startNext();
    writeSummary();
    if (!running.isEmpty() || next < jobs.size())
        loop.exec();
    showProgress(true);
    return outcomes;
}

void BatchRunner::startNext()
{
    while (!stopSignal && running.size() < parallel && next < jobs.size()) {
        const int index = next++;
        if (outcomes[index].status == BatchOutcome::Status::Skipped)
            continue;
        const BatchJob &job = jobs[index];
        auto *r = new Running;
        r->index = index;
        r->process = new QProcess(this);
        r->process->setProgram(program);
        r->process->setArguments(
            QStringList { QStringLiteral("track"), job.video,
                QStringLiteral("--output=") + runningName(outcomes[index].dataFile) }
            + job.trackArguments);
        r->process->setStandardOutputFile(QProcess::nullDevice());
        // A process group of its own: a terminal's Ctrl+C reaches the child only once, from
        // here, instead of twice (a second signal ends a run at once). The child dies with the
        // batch: left alone, it would track on unseen and leave a file nobody renames. (The
        // signal comes when the thread that started it ends: this one, which waits for every
        // child.)
        const pid_t batch = getpid();
        r->process->setChildProcessModifier([batch] {
            setpgid(0, 0);
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != batch) // the batch ended before the line above
                _exit(127);
        });
        connect(r->process, &QProcess::readyReadStandardError, this,
            [r] { r->errors += r->process->readAllStandardError(); });
        connect(r->process, &QProcess::finished, this, [this, r] { finished(r); });
        connect(r->process, &QProcess::errorOccurred, this, [this, r](QProcess::ProcessError e) {
            if (e == QProcess::FailedToStart)
                finished(r);
        });
        r->clock.start();
        running << r;
        outcomes[index].status = BatchOutcome::Status::Running;
        r->process->start();
    }
}

// A summary that cannot be written now may be later; the batch's last one reports a failure.
// Into a FIFO or a device (written into, not replaced) only the last one goes, once.
void BatchRunner::writeSummary()
{
    const QFileInfo summary(summaryPath);
    QString error;
    if (!summaryPath.isEmpty() && (!summary.exists() || summary.isFile()))
        BatchSummary::write(summaryPath, outcomes, &error);
}

void BatchRunner::finished(Running *r)
{
    if (!running.contains(r))
        return;
    running.removeOne(r);
    r->errors += r->process->readAllStandardError();
    BatchOutcome &outcome = outcomes[r->index];
    outcome.seconds = r->clock.elapsed() / 1000.0;
    const qint64 frames = lastReportedFrames(r->errors);
    outcome.rows = frames;
    framesFinished += std::max<qint64>(0, frames);
    if (r->process->error() == QProcess::FailedToStart) {
        outcome.status = BatchOutcome::Status::Failed;
        outcome.message
            = QStringLiteral("cannot start %1: %2").arg(program, r->process->errorString());
    } else if (r->process->exitStatus() == QProcess::CrashExit) {
        // A signal passed on before the run set its handlers ends it at once: stopped, with
        // nothing written.
        // So does a second one.
        outcome.status = stopSignal ? BatchOutcome::Status::Stopped : BatchOutcome::Status::Failed;
        outcome.message = stopSignal
            ? QStringLiteral("ended by %1 at once; nothing written")
                  .arg(QLatin1String(SignalStop::name(stopSignal)))
            : QStringLiteral("the run ended abnormally: %1").arg(r->process->errorString());
    } else {
        outcome.exitCode = r->process->exitCode();
        outcome.message = lastMessage(r->errors);
        const bool stopped = SignalStop::isStopCode(outcome.exitCode);
        outcome.status = outcome.exitCode == 0 ? BatchOutcome::Status::Done
            : stopped                          ? BatchOutcome::Status::Stopped
                                               : BatchOutcome::Status::Failed;
    }
    // The run wrote under a name of its own; the file of a run that succeeded takes its place
    // under the data file's name, the records of a stopped or failed run (a video cut short)
    // go aside, so that the next batch tracks that video again instead of taking it for done.
    const QString produced = runningName(outcome.dataFile);
    const QString stoppedName = outcome.dataFile + QStringLiteral(".stopped");
    const QString failedName = outcome.dataFile + QStringLiteral(".failed");
    if (QFileInfo::exists(produced)) {
        const QString target = outcome.status == BatchOutcome::Status::Done ? outcome.dataFile
            : outcome.status == BatchOutcome::Status::Stopped               ? stoppedName
                                                                            : failedName;
        if (std::rename(
                QFile::encodeName(produced).constData(), QFile::encodeName(target).constData())
            == 0) {
            outcome.message.replace(produced, target);
        } else {
            outcome.status = BatchOutcome::Status::Failed;
            outcome.message = QStringLiteral("cannot rename %1 to %2: %3")
                                  .arg(produced, target, QString::fromLocal8Bit(strerror(errno)));
        }
    }
    // What an earlier batch put aside is of no use once the video is tracked in full.
    if (outcome.status == BatchOutcome::Status::Done)
        for (const QString &aside : { stoppedName, failedName })
            QFile::remove(aside);
    r->process->deleteLater();
    delete r;
    showProgress(false);
    startNext();
    writeSummary();
}

void BatchRunner::poll()
{
    // Each signal is passed on: the first stops the runs, the second ends them at once.
    const int signal = SignalStop::received();
    const int signalsReceived = SignalStop::count();
    if (signal && signalsReceived > signalsPassedOn) {
        stopSignal = signal;
        signalsPassedOn = signalsReceived;
        for (Running *r : std::as_const(running))
            if (r->process->processId() > 0)
                ::kill(pid_t(r->process->processId()), signal);
    }
    for (Running *r : std::as_const(running))
        r->frames = std::max<qint64>(0, lastReportedFrames(r->errors));
    showProgress(false);
}

void BatchRunner::showProgress(bool final)
{
    const qint64 elapsed = clock.elapsed();
    if (!final && elapsed - lastShown < (interactive ? 1000 : 10000))
        return;
    lastShown = elapsed;
    int ended = 0, failed = 0, skipped = 0;
    qint64 framesLeft = 0;
    for (int i = 0; i < outcomes.size(); ++i) {
        const BatchOutcome::Status s = outcomes[i].status;
        const bool ahead
            = s == BatchOutcome::Status::NotStarted || s == BatchOutcome::Status::Running;
        if (!ahead)
            ++ended;
        if (s == BatchOutcome::Status::Failed)
            ++failed;
        if (s == BatchOutcome::Status::Skipped)
            ++skipped;
        if (ahead)
            framesLeft += std::max<qint64>(0, expectedFrames[i]);
    }
    qint64 framesDone = framesFinished;
    for (const Running *r : std::as_const(running)) {
        framesDone += r->frames;
        framesLeft -= std::min(r->frames, std::max<qint64>(0, expectedFrames[r->index]));
    }
    const double seconds = elapsed / 1000.0;
    const double fps = seconds > 0 ? framesDone / seconds : 0.0;
    QString line = QStringLiteral("batch: %1/%2 videos done").arg(ended).arg(outcomes.size());
    if (failed || skipped)
        line += QStringLiteral(" (%1 failed, %2 skipped)").arg(failed).arg(skipped);
    line += QStringLiteral(", %1 fps").arg(fps, 0, 'f', 1);
    if (final)
        line += QStringLiteral(", %1 elapsed").arg(formatDuration(seconds));
    else if (fps > 0)
        line += QStringLiteral(", %1 left").arg(formatDuration(framesLeft / fps));
    std::fprintf(stderr, interactive ? "\r%-70s" : "%s\n", qPrintable(line));
    if (final && interactive)
        std::fputc('\n', stderr);
    std::fflush(stderr);
}
