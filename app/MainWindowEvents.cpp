// The two stimulus-event tools of the main window. Nothing in the window is connected to
// them; they are invoked by name. They work on files only, through the GUI-free classes.

#include "app/MainWindow.h"
#include "tools/StimulusEventAnalysis.h"
#include "tools/StimulusEventBlender.h"
#include "ui/Dialogs.h"

namespace {

// Failures are shown with the message as the title and "Sorry." as the text.
void showFailure(QWidget *parent, const QString &message)
{
    Dialogs::current().critical(parent, message, QStringLiteral("Sorry."));
}

// The bounds of both integer dialogs: any int but the most negative one.
constexpr int kIntMin = -2147483647;
constexpr int kIntMax = 2147483647;

} // namespace

void MainWindow::DoDataProcessing()
{
    using Error = StimulusEventAnalysis::Error;
    Dialogs &dialogs = Dialogs::current();
    StimulusEventAnalysis analysis;

    const QString dataName = dialogs.openFileName(
        this, tr("Load Video Data"), QStringLiteral("."), tr("Video Data File (*.txt)"));
    if (dataName.isEmpty())
        return;
    Error error = analysis.setDataFile(dataName);
    if (error != Error::None) {
        showFailure(this, StimulusEventAnalysis::message(error));
        return;
    }

    const QString gfaName = dialogs.openFileName(
        this, tr("Load GFA Data"), QStringLiteral("."), tr("GFA Data File (*.gfa)"));
    if (gfaName.isEmpty())
        return;
    error = analysis.setGfaFile(gfaName);
    if (error != Error::None) {
        showFailure(this, StimulusEventAnalysis::message(error));
        return;
    }

    // A cancelled number dialog answers with the value it showed.
    bool accepted = false;
    const int offset = dialogs.integer(this, QStringLiteral("Input"),
        QStringLiteral("Enter offset into video file in seconds."), 600, kIntMin, kIntMax, 1,
        &accepted);
    const int longestWindow = dialogs.integer(this, QStringLiteral("Input"),
        QStringLiteral("Enter inter-stimulus interval to look at during each event."), 90, kIntMin,
        kIntMax, 1, &accepted);

    error = analysis.read();
    if (error != Error::None) {
        showFailure(this, StimulusEventAnalysis::message(error));
        return;
    }
    const QStringList lines = analysis.analyse(offset, longestWindow);

    QString outputName
        = dialogs.saveFileName(this, tr("Save Analyzed Data"), QStringLiteral("."), QString());
    if (outputName.isEmpty())
        return;
    outputName = StimulusEventAnalysis::outputFileName(outputName);
    error = StimulusEventAnalysis::write(outputName, lines);
    if (error != Error::None) {
        showFailure(this, StimulusEventAnalysis::message(error, outputName));
        return;
    }
    dialogs.information(this, QStringLiteral("Information"),
        "GFAdata analysis file '" + outputName + "' successfully written.");
}

void MainWindow::GFABlender()
{
    using Error = StimulusEventBlender::Error;
    Dialogs &dialogs = Dialogs::current();
    StimulusEventBlender blender;

    const QString leftName = dialogs.openFileName(
        this, tr("Load GFA (LEFT) Data"), QStringLiteral("."), tr("*.gfadata"));
    if (leftName.isEmpty())
        return;
    Error error = blender.setLeftFile(leftName);
    if (error != Error::None) {
        showFailure(this, StimulusEventBlender::message(error));
        return;
    }

    const QString rightName = dialogs.openFileName(
        this, tr("Load GFA (RIGHT) Data"), QStringLiteral("."), tr("*.gfadata"));
    if (rightName.isEmpty())
        return;
    error = blender.setRightFile(rightName);
    if (error != Error::None) {
        showFailure(this, StimulusEventBlender::message(error));
        return;
    }

    error = blender.read();
    if (error != Error::None) {
        showFailure(this, StimulusEventBlender::message(error));
        return;
    }
    const QString table = blender.blended();

    // No extension is added, and a cancelled dialog leads to the write failure with an
    // empty name: the table is then not written.
    const QString outputName = dialogs.saveFileName(
        this, tr("Save GFA Blended Inter-Stimulus-Interval Data"), QStringLiteral("."), QString());
    error = StimulusEventBlender::write(outputName, table);
    if (error != Error::None)
        showFailure(this, StimulusEventBlender::message(error, outputName));
}
