// pondwatch-cli batch: every video of a manifest tracked by its own `pondwatch-cli track` run,
// a number at a time, with a summary CSV of what became of each.

#include "cli/BatchRunner.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/SignalStop.h"

#include "batch/BatchManifest.h"
#include "batch/BatchSummary.h"
#include "files/AtomicFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QThread>

int runBatch(const QStringList &args)
{
    CommandLine line(QStringLiteral("batch"), QStringLiteral("MANIFEST.csv"),
        QStringLiteral("Tracks every video of a manifest: a CSV file with a header row, a column "
                       "named video and, for the other columns, track options named without "
                       "their dashes (area, fish, setup...); an empty cell takes the default. "
                       "A video whose data file is newer than the video and its setup file is "
                       "skipped."));
    line.addOptions({
        { "jobs", "N", "videos tracked at the same time (the number of cores)" },
        { "output-dir", "DIR", "where the data files go (beside each video)" },
        { "summary", "FILE",
            "the summary CSV (MANIFEST.summary.csv in --output-dir, else beside the manifest)" },
    });
    if (const auto done = line.parse(args))
        return *done;
    const QStringList positional = line.positional();
    if (positional.size() != 1)
        return line.usageError(QStringLiteral("give exactly one MANIFEST.csv"));
    const QString manifestPath = positional[0];
    int jobs = QThread::idealThreadCount();
    if (const auto refusal = line.wholeNumber("jobs", 1, 1024, &jobs))
        return line.usageError(*refusal);
    QString outputDir;
    if (line.isSet("output-dir")) {
        outputDir = QDir(line.path("output-dir")).absolutePath();
        if (!QDir().mkpath(outputDir))
            return line.failure(
                ExitFailed, QStringLiteral("cannot create the folder %1").arg(outputDir));
    }
    const QString summaryPath = line.isSet("summary")
        ? line.path("summary")
        : QDir(outputDir.isEmpty() ? QFileInfo(manifestPath).absolutePath() : outputDir)
              .filePath(QFileInfo(manifestPath).completeBaseName() + ".summary.csv");

    // The summary is written as rows end; a bad place for it is found before the first run.
    AtomicFile::protectInput(manifestPath);
    const QString summaryProblem = AtomicFile::problem(summaryPath);
    if (!summaryProblem.isEmpty())
        return line.failure(ExitFailed,
            QStringLiteral("cannot write the summary %1: %2").arg(summaryPath, summaryProblem));

    BatchManifest manifest(trackManifestOptions());
    QString error;
    if (!manifest.read(manifestPath, &error))
        return line.failure(ExitFailed, error);

    // Two rows writing one data file (the same video twice, or two videos of one name in
    // different folders with --output-dir) would overwrite each other's results.
    QHash<QString, int> lineOfDataFile;
    for (const BatchJob &job : manifest.jobs()) {
        const QString dataFile = BatchRunner::dataFileFor(job, outputDir);
        if (lineOfDataFile.contains(dataFile))
            return line.failure(ExitFailed,
                QStringLiteral("%1:%2: this row's data file %3 is also line %4's")
                    .arg(manifestPath)
                    .arg(job.line)
                    .arg(dataFile)
                    .arg(lineOfDataFile.value(dataFile)));
        lineOfDataFile.insert(dataFile, job.line);
    }

    BatchRunner runner(
        manifest.jobs(), QCoreApplication::applicationFilePath(), outputDir, jobs, summaryPath);
    const QVector<BatchOutcome> outcomes = runner.run();
    if (!BatchSummary::write(summaryPath, outcomes, &error))
        line.failure(ExitFailed, error);
    int failed = 0;
    for (const BatchOutcome &o : outcomes)
        if (o.status == BatchOutcome::Status::Failed)
            ++failed;
    if (const int signal = runner.stoppedBy())
        return line.failure(SignalStop::exitCode(signal),
            QStringLiteral("stopped by %1; finished data files are kept, the summary is %2")
                .arg(QLatin1String(SignalStop::name(signal)), summaryPath));
    if (!error.isEmpty())
        return ExitFailed;
    if (failed)
        return line.failure(ExitFailed,
            QStringLiteral("%1 of %2 videos failed; see %3")
                .arg(failed)
                .arg(outcomes.size())
                .arg(summaryPath));
    return ExitOk;
}
