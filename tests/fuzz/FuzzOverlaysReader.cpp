// The overlays reader behind --overlays-from (a data file's header) with its detection line,
// then everything done with what it gives: the arenas taken back from their zones and the
// line's counts and shapes, the overlays drawn with their measures and arenas, and written
// back as a header; the same file loaded as a setup (one that reads written and read again)
// and split by its arenas.

#include "FuzzSupport.h"

#include "formats/ArenaSplitter.h"
#include "formats/SetupFile.h"
#include "formats/TrackingDataFile.h"
#include "model/ArenaLayout.h"
#include "view/ViewRenderer.h"

#include <QTextStream>

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzsupport::initialise();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path
        = fuzzsupport::writeFile(QStringLiteral("input.data"), fuzzsupport::bytes(data, size));
    // A setup it accepts (arenas included) writes out and reads back the same.
    TrackingSetup setup;
    if (SetupFile::read(path, &setup) && setup.hasParameters) {
        const QString again = fuzzsupport::writeFile(
            QStringLiteral("again.pwsetup"), SetupFile::text(setup).toUtf8());
        TrackingSetup back;
        if (!SetupFile::read(again, &back) || SetupFile::text(back) != SetupFile::text(setup))
            std::abort();
    }
    ArenaSplitter splitter;
    splitter.read(path, nullptr);
    OverlaySet overlays;
    QString detection;
    if (!TrackingDataFile::readOverlays(path, &overlays, nullptr, &detection))
        return 0;
    overlays.arenas = ArenaLayout::takeArenas(&overlays, detection);
    ArenaLayout::describeShapes(overlays.arenas);
    QImage frame(48, 32, QImage::Format_RGB32);
    frame.fill(Qt::black);
    ViewState state;
    state.showResults = true;
    state.fishFound = true;
    state.fishPosition = QPoint(20, 10);
    ViewRenderer::render(frame, overlays, state, RecordLookup());

    TrackingDataFile::Content content;
    content.overlays = ArenaLayout::withArenaZones(overlays, overlays.arenas);
    content.detection = detection;
    TrackRecord record;
    record.x = 20;
    record.y = 10;
    content.records << record;
    QString text;
    QTextStream out(&text);
    TrackingDataFile::writeSingleFish(out, content);
    return 0;
}
