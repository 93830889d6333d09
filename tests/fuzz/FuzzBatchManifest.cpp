// The batch manifest reader (pondwatch-cli batch MANIFEST.csv): CSV cells, the header, the
// columns, paths taken from the manifest's folder; read from a file as the command reads it,
// then the summary written for the rows it gave.

#include "FuzzSupport.h"

#include "batch/BatchManifest.h"
#include "batch/BatchSummary.h"

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzsupport::initialise();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path
        = fuzzsupport::writeFile(QStringLiteral("manifest.csv"), fuzzsupport::bytes(data, size));
    BatchManifest manifest({ QStringLiteral("area"), QStringLiteral("zone"), QStringLiteral("fish"),
        QStringLiteral("setup"), QStringLiteral("overlays-from") });
    QString error;
    if (!manifest.read(path, &error))
        return 0;
    QVector<BatchOutcome> outcomes;
    for (const BatchJob &job : manifest.jobs()) {
        // Every row names a video, as an absolute path, and options of the table only.
        if (job.video.isEmpty() || !job.video.startsWith(QLatin1Char('/')))
            std::abort();
        for (const QString &argument : job.trackArguments)
            if (!argument.startsWith(QLatin1String("--")) || !argument.contains(QLatin1Char('=')))
                std::abort();
        BatchOutcome outcome;
        outcome.video = job.video;
        outcome.message = job.trackArguments.join(QLatin1Char(','));
        outcomes << outcome;
    }
    // The summary quotes what it must: read back, it has a row per job.
    QVector<BatchManifest::Record> records;
    if (!BatchManifest::splitCsv(QString::fromUtf8(BatchSummary::csv(outcomes)), &records, &error)
        || records.size() != outcomes.size() + 1)
        std::abort();
    return 0;
}
