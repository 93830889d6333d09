// pondwatch-cli export DATAFILE VIDEO [--overlays-from DATAFILE2] [--filter S] [--quiet]
// The ExportVideo slot without a window: the same rows, frame loop, drawing and output file
// (VIDEO.out.mpeg). The overlays come from a data file's header instead of the view.

#include "cli/Commands.h"
#include "tools/AnnotatedExport.h"
#include "tracking/TrackingDataFile.h"

#include <QElapsedTimer>

#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace {

const char usageText[]
    = "usage: pondwatch-cli export DATAFILE VIDEO [--overlays-from DATAFILE2] [--filter S] "
      "[--quiet]\n"
      "  writes VIDEO.out.mpeg: every frame of VIDEO with the rows of the single-fish data file\n"
      "  DATAFILE drawn over it, one row per frame, as the main window's export does\n"
      "  --overlays-from DATAFILE2   draw the overlays of DATAFILE2's header instead of "
      "DATAFILE's\n"
      "  --filter S                  Mean Filter Size (pixels) the marker is sized by, 1..99 (3)\n"
      "  --quiet                     no progress on standard error\n";

int usage(const char *problem)
{
    std::fprintf(stderr, "pondwatch-cli export: %s\n%s", problem, usageText);
    return 2;
}

int failure(const QString &message)
{
    std::fprintf(stderr, "%s\n", qPrintable(message));
    return 1;
}

// Frames done, frames per second and the time left, estimated from the video time covered.
class Progress
{
public:
    Progress()
        : interactive(isatty(fileno(stderr)))
    {
        clock.start();
    }

    void show(int frames, qint64 frameMs, qint64 lengthMs, bool final)
    {
        const qint64 elapsed = clock.elapsed();
        if (!final && elapsed - lastShown < (interactive ? 500 : 10000))
            return;
        lastShown = elapsed;
        const double seconds = elapsed / 1000.0;
        QString line = QStringLiteral("%1 frames, %2 fps")
                           .arg(frames)
                           .arg(seconds > 0 ? frames / seconds : 0.0, 0, 'f', 1);
        if (final)
            line += QStringLiteral(", %1 s").arg(seconds, 0, 'f', 1);
        else if (frameMs > 0 && lengthMs > frameMs)
            line += QStringLiteral(", %1 s left")
                        .arg(double(lengthMs - frameMs) / frameMs * seconds, 0, 'f', 0);
        std::fprintf(stderr, interactive ? "\r%-60s" : "%s\n", qPrintable(line));
        if (final && interactive)
            std::fputc('\n', stderr);
        std::fflush(stderr);
    }

private:
    bool interactive;
    QElapsedTimer clock;
    qint64 lastShown = -1000000;
};

// Where the view puts the marker when the Tracking Area is drawn: the area's centre,
// halves rounded up.
QPoint areaCentre(const OverlaySet &overlays)
{
    if (overlays.areas.isEmpty())
        return QPoint(0, 0);
    const QRect &area = overlays.areas.first();
    return QPoint(int(std::floor((double(area.left()) + area.right()) * 0.5 + 0.5)),
        int(std::floor((double(area.top()) + area.bottom()) * 0.5 + 0.5)));
}

} // namespace

int runExport(const QStringList &args)
{
    QStringList files;
    QString overlaysFrom;
    int filter = 3;
    bool quiet = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            std::fputs(usageText, stdout);
            return 0;
        }
        if (arg == QLatin1String("--quiet")) {
            quiet = true;
        } else if (arg == QLatin1String("--overlays-from") || arg == QLatin1String("--filter")) {
            if (i + 1 >= args.size())
                return usage("an option needs a value");
            const QString value = args[++i];
            if (arg == QLatin1String("--overlays-from")) {
                overlaysFrom = value;
                continue;
            }
            bool ok = false;
            filter = value.toInt(&ok);
            if (!ok || filter < 1 || filter > 99)
                return usage("--filter takes a whole number from 1 to 99");
        } else if (arg.startsWith(QLatin1String("--"))) {
            return usage("unknown option");
        } else {
            files << arg;
        }
    }
    if (files.size() != 2)
        return usage("a data file and a video are needed");
    const QString &dataFile = files[0];
    const QString &video = files[1];

    AnnotationRows rows;
    const AnnotationRows::Error readError = rows.read(dataFile);
    if (readError != AnnotationRows::Error::None)
        return failure(AnnotationRows::message(readError));

    AnnotatedExport exporter;
    QString error;
    if (!TrackingDataFile::readOverlays(
            overlaysFrom.isEmpty() ? dataFile : overlaysFrom, &exporter.overlays, &error))
        return failure(error);
    exporter.initialState.fishPosition = areaCentre(exporter.overlays);
    exporter.initialState.meanFilterSize = filter;
    // The trail the window would draw after tracking this video: its tracker would hold one
    // record per row, the newest being the last row.
    exporter.history = [&rows](int index, TrackRecord &record) {
        const int row = rows.size() - 1 - index;
        if (index < 0 || row < 0)
            return false;
        record = TrackRecord();
        record.seconds = rows.times[row];
        record.x = AnnotatedExport::toPixel(rows.xs[row]);
        record.y = AnnotatedExport::toPixel(rows.ys[row]);
        record.found = rows.found[row];
        return true;
    };

    Progress progress;
    qint64 lastMs = 0, lastLength = 0;
    if (!quiet)
        exporter.progress = [&](int frames, qint64 frameMs, qint64 lengthMs) {
            lastMs = frameMs;
            lastLength = lengthMs;
            progress.show(frames, frameMs, lengthMs, false);
        };

    const AnnotatedExport::Result result = exporter.run(rows, video);
    if (result.error != AnnotatedExport::Error::None)
        return failure(AnnotatedExport::message(result.error));
    if (!quiet)
        progress.show(result.framesDecoded, lastMs, lastLength, true);
    // The window only prints the encoder's complaint; a batch job needs to know.
    if (!result.outputOpened)
        return failure(QStringLiteral("Error writing the video: %1 was not written")
                           .arg(AnnotatedExport::outputFileName(video)));
    return 0;
}
