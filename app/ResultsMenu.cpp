#include "app/ResultsMenu.h"

#include "analysis/RecentDataFile.h"
#include "analysis/TrackTable.h"
#include "analysis/TrajectoryExport.h"
#include "analysis/ui/TrackPictureWindow.h"
#include "app/AppSettings.h"
#include "app/ExportJob.h"
#include "app/MainWindow.h"
#include "app/RunFeedback.h"
#include "files/AtomicFile.h"
#include "tools/AnnotatedExport.h"
#include "ui/Dialogs.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>

ResultsMenu::ResultsMenu(MainWindow *w, QMenu *menu)
    : QObject(w)
    , window(w)
    , job(new ExportJob(w))
{
    auto add = [menu](const QString &text, const char *name) {
        QAction *action = menu->addAction(text);
        action->setObjectName(QLatin1String(name));
        return action;
    };
    trajectory = add(tr("Show &Trajectory..."), "actionShowTrajectory");
    connect(trajectory, &QAction::triggered, this,
        [this] { showPicture(TrackPicture::Kind::Trajectory); });
    heatMap = add(tr("Show &Heat Map..."), "actionShowHeatMap");
    connect(
        heatMap, &QAction::triggered, this, [this] { showPicture(TrackPicture::Kind::HeatMap); });
    menu->addSeparator();
    exportAction = add(tr("&Export Annotated Video..."), "actionExportVideo");
    connect(exportAction, &QAction::triggered, this, [this] { exportVideo(); });
    trajectoriesAction = add(tr("Export T&rajectories..."), "actionExportTrajectories");
    connect(trajectoriesAction, &QAction::triggered, this, [this] { exportTrajectories(); });

    connect(window->runFeedback(), &RunFeedback::dataFileSaved, this,
        [this](const QString &path) { runWroteDataFile(path); });
    setState(false);
}

void ResultsMenu::setState(bool processing)
{
    for (QAction *action : { trajectory, heatMap, trajectoriesAction })
        action->setEnabled(!processing);
    exportAction->setEnabled(!processing && !job->isRunning());
}

void ResultsMenu::runWroteDataFile(const QString &path)
{
    dataFile = path;
    video = window->fileName();
    RecentDataFile::remember(path);
    const QString name = QFileInfo(path).fileName();
    trajectory->setText(tr("Show &Trajectory of %1").arg(name));
    heatMap->setText(tr("Show &Heat Map of %1").arg(name));
}

TrackPictureWindow *ResultsMenu::showPicture(TrackPicture::Kind kind)
{
    QString data = dataFile;
    QString source = video;
    if (data.isEmpty() || !QFileInfo(data).isFile()) {
        const QString folder = window->fileName().isEmpty()
            ? AppSettings::lastFolder()
            : QFileInfo(window->fileName()).absolutePath();
        data = Dialogs::current().openFileName(window,
            kind == TrackPicture::Kind::Trajectory ? tr("Show Trajectory") : tr("Show Heat Map"),
            folder, tr("Video Data File (*.txt)"));
        if (data.isEmpty())
            return nullptr;
        source.clear(); // the video the data file was written for, beside it
    }
    return TrackPictureWindow::open(data, source, kind, window);
}

namespace {

// The video a data file was written for: VIDEO.data.txt or VIDEO.datamulti.txt beside it.
QString videoBeside(const QString &data)
{
    for (const QString &end : { QStringLiteral(".data.txt"), QStringLiteral(".datamulti.txt") })
        if (data.endsWith(end)) {
            const QString video = data.left(data.size() - end.size());
            if (QFileInfo(video).isFile())
                return video;
        }
    return QString();
}

} // namespace

void ResultsMenu::exportVideo()
{
    if (job->isRunning())
        return;
    Dialogs &dialogs = Dialogs::current();
    const QString mpegItem = tr("MPEG-1 (VIDEO.out.mpeg, small)");
    const QString mp4Item = tr("H.264 MP4 (VIDEO.out.mp4, fit to show)");
    // The dialog preselects the first item: the format chosen last time.
    const bool lastMp4 = AppSettings::exportFormat() == QLatin1String("mp4");
    const QStringList formats
        = lastMp4 ? QStringList { mp4Item, mpegItem } : QStringList { mpegItem, mp4Item };
    const QString chosen = dialogs.item(
        window, tr("Export Annotated Video"), tr("Format of the annotated video:"), formats);
    if (chosen.isEmpty())
        return;
    const auto format
        = chosen == mp4Item ? AnnotatedExport::Format::Mp4 : AnnotatedExport::Format::Mpeg;
    AppSettings::setExportFormat(
        format == AnnotatedExport::Format::Mp4 ? QStringLiteral("mp4") : QStringLiteral("mpeg"));

    // The last run's data file is offered; a file dialog given a file's path selects it.
    const bool runFile = !dataFile.isEmpty() && QFileInfo(dataFile).isFile();
    const QString dataName = dialogs.openFileName(window, tr("Load Input Data"),
        runFile ? dataFile : AppSettings::lastFolder(), tr("Video Data File (*.txt)"));
    if (dataName.isEmpty())
        return;
    AnnotationRows rows;
    const AnnotationRows::Error readError = rows.read(dataName);
    if (readError != AnnotationRows::Error::None) {
        dialogs.critical(window, AnnotationRows::message(readError), QStringLiteral("Sorry."));
        return;
    }
    QString offered = dataName == dataFile && QFileInfo(video).isFile() ? video : QString();
    if (offered.isEmpty())
        offered = videoBeside(dataName);
    const QString videoName = dialogs.openFileName(window, tr("Load Input Video"),
        offered.isEmpty() ? QFileInfo(dataName).absolutePath() : offered, tr("Video Files (*.*)"));
    if (videoName.isEmpty())
        return;

    AnnotatedExport exporter = window->prepareExport(format);
    QString output = AnnotatedExport::outputFileName(videoName, format);
    if (QFileInfo::exists(output)) {
        const int answer = dialogs.choice(window, tr("Export Annotated Video"),
            tr("%1 already exists. Replace it?").arg(output),
            { tr("Replace"), tr("Save As..."), tr("Cancel") });
        if (answer == 1) {
            const bool mp4 = format == AnnotatedExport::Format::Mp4;
            output = dialogs.saveFileName(window, tr("Save Annotated Video As"), output,
                mp4 ? tr("MP4 Video (*.mp4)") : tr("MPEG Video (*.mpeg)"));
            if (output.isEmpty())
                return;
            // The encoder picks the container from the name's end, as the filter promised.
            const QString suffix = mp4 ? QStringLiteral(".mp4") : QStringLiteral(".mpeg");
            if (!output.endsWith(suffix, Qt::CaseInsensitive)
                && !(!mp4 && output.endsWith(QLatin1String(".mpg"), Qt::CaseInsensitive)))
                output += suffix;
        } else if (answer != 0) {
            return;
        }
    }
    exporter.outputPath = output;
    job->start(std::move(exporter), std::move(rows), videoName,
        [this, videoName, format](const AnnotatedExport::Result &result, const QString &written) {
            exportAction->setEnabled(!window->isProcessing());
            window->exportEnded(result, videoName, written, format);
        });
    exportAction->setEnabled(false);
}

QString ResultsMenu::exportTrajectories()
{
    Dialogs &dialogs = Dialogs::current();
    const QString title = tr("Export Trajectories");
    const QString tidyItem = tr("Tidy CSV: one row per fish per frame (pandas, R)");
    const QString dlcItem = tr("DeepLabCut CSV (movement, DeepLabCut)");
    const QString chosen
        = dialogs.item(window, title, tr("Layout of the trajectories:"), { tidyItem, dlcItem });
    if (chosen.isEmpty())
        return QString();
    const bool dlc = chosen == dlcItem;

    const bool runFile = !dataFile.isEmpty() && QFileInfo(dataFile).isFile();
    const QString dataName = dialogs.openFileName(window, tr("Load Input Data"),
        runFile ? dataFile : AppSettings::lastFolder(), tr("Video Data File (*.txt)"));
    if (dataName.isEmpty())
        return QString();
    TrackTable table;
    QString error;
    if (!table.read(dataName, &error)) {
        dialogs.critical(window, title, error);
        return QString();
    }

    QString output = dataName + (dlc ? QStringLiteral(".dlc.csv") : QStringLiteral(".tidy.csv"));
    if (QFileInfo::exists(output)) {
        const int answer
            = dialogs.choice(window, title, tr("%1 already exists. Replace it?").arg(output),
                { tr("Replace"), tr("Save As..."), tr("Cancel") });
        if (answer == 1)
            output = Dialogs::withExtension(
                dialogs.saveFileName(window, tr("Save Trajectories As"), output, tr("CSV (*.csv)")),
                QStringLiteral(".csv"));
        else if (answer != 0)
            return QString();
        if (output.isEmpty())
            return QString();
    }
    // Never over the data file it reads.
    const QString canonical = QFileInfo(output).canonicalFilePath();
    if (!canonical.isEmpty() && canonical == QFileInfo(dataName).canonicalFilePath()) {
        dialogs.critical(
            window, title, tr("%1 is the data file read; nothing was written.").arg(output));
        return QString();
    }
    const QByteArray bytes
        = dlc ? TrajectoryExport::deepLabCut(table) : TrajectoryExport::tidy(table);
    QString reason;
    if (AtomicFile::write(output, bytes, &reason) != AtomicFile::Outcome::Written) {
        dialogs.critical(window, title, tr("Cannot write %1: %2").arg(output, reason));
        return QString();
    }
    window->runFeedback()->showMessage(
        tr("Trajectories of %1 fish written to %2").arg(table.fish.size()).arg(output));
    return output;
}
