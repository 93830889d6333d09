// The overlays reader behind --overlays-from (a data file's header), then everything done
// with what it gives: the overlays drawn with their measures, and written back as a header.

#include "FuzzSupport.h"

#include "tracking/TrackingDataFile.h"
#include "view/ViewRenderer.h"

#include <QTextStream>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzsupport::initialise();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path
        = fuzzsupport::writeFile(QStringLiteral("input.data"), fuzzsupport::bytes(data, size));
    OverlaySet overlays;
    if (!TrackingDataFile::readOverlays(path, &overlays))
        return 0;
    QImage frame(48, 32, QImage::Format_RGB32);
    frame.fill(Qt::black);
    ViewState state;
    state.showResults = true;
    state.fishFound = true;
    state.fishPosition = QPoint(20, 10);
    ViewRenderer::render(frame, overlays, state, RecordLookup());

    TrackingDataFile::Content content;
    content.overlays = overlays;
    TrackRecord record;
    record.x = 20;
    record.y = 10;
    content.records << record;
    QString text;
    QTextStream out(&text);
    TrackingDataFile::writeSingleFish(out, content);
    return 0;
}
