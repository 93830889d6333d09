#pragma once
// The main window's Results menu: the trajectory and the heat map of the data file the last
// run wrote (of a data file asked for before any run), the annotated video export with its
// choice of format, and the trajectories as tidy or DeepLabCut CSV. Remembers the data file a run
// wrote, so that the analysis window offers it. The export runs on a worker thread (ExportJob).
// Every action has an object name
// ("actionShowTrajectory", ...) so tests find it. GUI thread only.

#include "analysis/TrackPicture.h"

#include <QObject>
#include <QString>

class MainWindow;
class ExportJob;
class QAction;
class QMenu;
class TrackPictureWindow;

class ResultsMenu : public QObject
{
    Q_OBJECT

public:
    ResultsMenu(MainWindow *window, QMenu *menu);

    // Disables the actions during a run.
    void setState(bool processing);

    // The data file the last run of this window wrote and the video it tracked; empty before.
    QString runDataFile() const { return dataFile; }
    QString runVideo() const { return video; }

    // The picture of the last run's data file, or of one the user picks; null when cancelled.
    TrackPictureWindow *showPicture(TrackPicture::Kind kind);
    // Asks for the format (the last one chosen first), the data file (the last run's
    // offered) and its video (the one beside it offered), asks before replacing an earlier
    // output (or where else to save), then exports as the ExportVideo slot does, on a worker
    // thread with its progress and a Cancel in the status bar.
    void exportVideo();
    ExportJob *exportJob() const { return job; }
    // Asks for the layout (tidy or DeepLabCut), the data file (the last run's offered) and,
    // when DATAFILE.tidy.csv (.dlc.csv) exists, whether to replace it or save as; writes the
    // file whole or not at all, never over the data file read. The file written; empty when
    // cancelled or failed (said).
    QString exportTrajectories();

private:
    void runWroteDataFile(const QString &path);

    MainWindow *window;
    QAction *trajectory = nullptr;
    QAction *heatMap = nullptr;
    QAction *exportAction = nullptr;
    QAction *trajectoriesAction = nullptr;
    QString dataFile;
    QString video;
    ExportJob *job;
};
