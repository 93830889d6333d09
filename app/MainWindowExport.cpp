// The annotated video export of the main window. Nothing in the window is connected to the
// ExportVideo slot, which is invoked by name; the Results menu reaches the same export through
// exportAnnotatedVideo, with a choice of format. It runs on the GUI thread from start to end
// and blocks the window.
//
// The export decodes with a decoder of its own: the video open in the window stays open,
// and the window's file name is left as it was. Every picture is drawn as the window's view
// would draw it: the view's overlays, the row's marker and the trail of the tracker's records.

#include "app/MainWindow.h"
#include "tools/AnnotatedExport.h"
#include "tracking/VideoTracker.h"
#include "ui/Dialogs.h"
#include "video/VideoProbe.h"
#include "view/ui/VideoView.h"

void MainWindow::ExportVideo()
{
    exportAnnotatedVideo(AnnotatedExport::Format::Mpeg);
}

void MainWindow::exportAnnotatedVideo(AnnotatedExport::Format format)
{
    Dialogs &dialogs = Dialogs::current();

    const QString dataName = dialogs.openFileName(
        this, tr("Load Input Data"), QStringLiteral("."), tr("Video Data File (*.txt)"));
    if (dataName.isEmpty())
        return;
    AnnotationRows rows;
    const AnnotationRows::Error readError = rows.read(dataName);
    if (readError != AnnotationRows::Error::None) {
        dialogs.critical(this, AnnotationRows::message(readError), QStringLiteral("Sorry."));
        return;
    }

    const QString videoName = dialogs.openFileName(
        this, tr("Load Input Video"), QStringLiteral("."), tr("Video Files (*.*)"));
    if (videoName.isEmpty())
        return;

    AnnotatedExport exporter;
    exporter.format = format;
    exporter.overlays = videoView->Overlays();
    exporter.initialState.fishPosition = videoView->FishPosition();
    exporter.initialState.fishFound = videoView->FishFound();
    exporter.initialState.reviewIndex = reviewIndex();
    exporter.initialState.meanFilterSize = meanFilterSize();
    // The records come out as copies taken under the tracker's lock.
    if (VideoTracker *records = tracker) {
        exporter.history = [records](int index, TrackRecord &record) {
            bool ok = false;
            record = records->recordFromEnd(index, &ok);
            return ok;
        };
    }

    const AnnotatedExport::Result result = exporter.run(rows, videoName);
    if (result.error != AnnotatedExport::Error::None) {
        // The message, then the file and the reason.
        const QString detail = result.error == AnnotatedExport::Error::OutputNotWritten
            ? result.detail
            : VideoProbe::describeFailure(videoName);
        dialogs.critical(this, QStringLiteral("Error"),
            AnnotatedExport::message(result.error) + QLatin1Char('\n') + detail);
        return;
    }

    // The view keeps what the last applied row set: results shown, marker and found state.
    if (result.rowsApplied > 0) {
        videoView->SetShowResults(true);
        videoView->SetFishFound(result.finalState.fishFound);
        videoView->SetFishPosition(
            result.finalState.fishPosition.x(), result.finalState.fishPosition.y());
        videoView->Redraw();
    }
    // The MPEG export says nothing when it worked; the MP4 one, new, says where it went.
    if (format == AnnotatedExport::Format::Mp4) {
        QString text = tr("The annotated video was written to %1.")
                           .arg(AnnotatedExport::outputFileName(videoName, format));
        if (!result.warning.isEmpty())
            text += QStringLiteral("\n\n") + tr("Note: %1.").arg(result.warning);
        dialogs.information(this, tr("Video exported"), text);
    }
}
