// The export's rows (a single-fish data file's rows after its column line), applied as the
// export applies them: each row's position as the marker's pixel, the rows before it as the
// trail, drawn over a small frame with the file's own overlays.

#include "FuzzSupport.h"

#include "formats/TrackingDataFile.h"
#include "tools/AnnotatedExport.h"
#include "tools/AnnotationRows.h"
#include "view/ViewRenderer.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzsupport::initialise();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path
        = fuzzsupport::writeFile(QStringLiteral("input.data"), fuzzsupport::bytes(data, size));
    AnnotationRows rows;
    if (rows.read(path) != AnnotationRows::Error::None)
        return 0;
    OverlaySet overlays;
    TrackingDataFile::readOverlays(path, &overlays);

    QImage frame(40, 24, QImage::Format_RGB32);
    frame.fill(Qt::black);
    const int drawn = std::min(rows.size(), 6);
    for (int counter = 0; counter < drawn; ++counter) {
        ViewState state;
        state.showResults = true;
        state.fishFound = rows.found[counter];
        state.fishPosition = QPoint(
            AnnotatedExport::toPixel(rows.xs[counter]), AnnotatedExport::toPixel(rows.ys[counter]));
        state.meanFilterSize = 1 + 2 * counter;
        const RecordLookup history = [&rows, counter](int index, TrackRecord &record) {
            const int row = counter - index;
            if (index < 0 || row < 0)
                return false;
            record = TrackRecord();
            record.seconds = rows.times[row];
            record.x = AnnotatedExport::toPixel(rows.xs[row]);
            record.y = AnnotatedExport::toPixel(rows.ys[row]);
            record.found = rows.found[row];
            return true;
        };
        ViewRenderer::render(frame, overlays, state, history);
    }
    return 0;
}
