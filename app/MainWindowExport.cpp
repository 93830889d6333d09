// The annotated video export of the main window. Nothing in the window is connected to the
// ExportVideo slot, which is invoked by name; the Results menu reaches the same export through
// ResultsMenu, with a choice of format, on a worker thread (ExportJob). The slot and
// exportAnnotatedVideo run on the GUI thread from start to end and block the window.
//
// The export decodes with a decoder of its own: the video open in the window stays open,
// and the window's file name is left as it was. Every picture is drawn as the window's view
// would draw it: the view's overlays, the row's marker and the trail of the rows before it.

#include "app/MainWindow.h"
#include "app/RunFeedback.h"
#include "tools/AnnotatedExport.h"
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

    AnnotatedExport exporter = prepareExport(format);
    const AnnotatedExport::Result result = exporter.run(rows, videoName);
    exportEnded(result, videoName, AnnotatedExport::outputFileName(videoName, format), format);
}

AnnotatedExport MainWindow::prepareExport(AnnotatedExport::Format format) const
{
    AnnotatedExport exporter;
    exporter.format = format;
    exporter.overlays = videoView->Overlays();
    exporter.initialState.fishPosition = videoView->FishPosition();
    exporter.initialState.fishFound = videoView->FishFound();
    exporter.initialState.meanFilterSize = meanFilterSize();
    return exporter;
}

void MainWindow::exportEnded(const AnnotatedExport::Result &result, const QString &videoName,
    const QString &output, AnnotatedExport::Format format)
{
    Dialogs &dialogs = Dialogs::current();
    if (result.error == AnnotatedExport::Error::Stopped) {
        feedback->showMessage(tr("The export was cancelled; %1 was not written.").arg(output));
        return;
    }
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
    feedback->showMessage(tr("Annotated video written to %1").arg(output));
    // The MPEG export says nothing when it worked; the MP4 one, new, says where it went.
    if (format == AnnotatedExport::Format::Mp4) {
        QString text = tr("The annotated video was written to %1.").arg(output);
        if (!result.warning.isEmpty())
            text += QStringLiteral("\n\n") + tr("Note: %1.").arg(result.warning);
        dialogs.information(this, tr("Video exported"), text);
    }
}
