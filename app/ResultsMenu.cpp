#include "app/ResultsMenu.h"

#include "analysis/RecentDataFile.h"
#include "analysis/ui/TrackPictureWindow.h"
#include "app/AppSettings.h"
#include "app/MainWindow.h"
#include "app/RunFeedback.h"
#include "tools/AnnotatedExport.h"
#include "ui/Dialogs.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>

ResultsMenu::ResultsMenu(MainWindow *w, QMenu *menu)
    : QObject(w)
    , window(w)
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

    connect(window->runFeedback(), &RunFeedback::dataFileSaved, this,
        [this](const QString &path) { runWroteDataFile(path); });
    setState(false);
}

void ResultsMenu::setState(bool processing)
{
    for (QAction *action : { trajectory, heatMap, exportAction })
        action->setEnabled(!processing);
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

void ResultsMenu::exportVideo()
{
    const QStringList formats
        = { tr("MPEG-1 (VIDEO.out.mpeg, small)"), tr("H.264 MP4 (VIDEO.out.mp4, fit to show)") };
    const QString chosen = Dialogs::current().item(
        window, tr("Export Annotated Video"), tr("Format of the annotated video:"), formats);
    if (chosen.isEmpty())
        return;
    window->exportAnnotatedVideo(
        chosen == formats[1] ? AnnotatedExport::Format::Mp4 : AnnotatedExport::Format::Mpeg);
}
