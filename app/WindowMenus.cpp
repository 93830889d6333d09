#include "app/WindowMenus.h"

#include "app/AppSettings.h"
#include "app/IdentityReview.h"
#include "app/LiveWindow.h"
#include "app/MainWindow.h"
#include "app/Playback.h"
#include "app/ResultsMenu.h"
#include "app/RunFeedback.h"
#include "formats/SetupFile.h"
#include "ui/Dialogs.h"
#include "ui/GuideWindow.h"
#include "view/ui/VideoView.h"
#include "view/ui/VideoViewport.h"

#include <QAction>
#include <QFileInfo>
#include <QMenuBar>
#include <QShortcut>

WindowMenus::WindowMenus(MainWindow *w)
    : QObject(w)
    , window(w)
    , recent(AppSettings::recentFiles())
{
    QMenuBar *bar = window->menuBar();

    QMenu *file = bar->addMenu(tr("&File"));
    QAction *open = addAction(file, tr("&Open Video File..."), "actionOpen", QKeySequence::Open);
    connect(open, &QAction::triggered, window, [this] { window->LoadVideoFile(); });
    idleOnly << open;
    review = new IdentityReview(window);
    file->addAction(review->openAction());
    recentMenu = file->addMenu(tr("Open &Recent"));
    recentMenu->setObjectName(QStringLiteral("menuRecent"));
    rebuildRecentMenu();
    file->addSeparator();
    QAction *save = addAction(file, tr("&Save Setup..."), "actionSaveSetup");
    connect(save, &QAction::triggered, this, [this] { saveSetup(); });
    QAction *load = addAction(file, tr("&Load Setup..."), "actionLoadSetup");
    connect(load, &QAction::triggered, this, [this] { loadSetup(); });
    needVideo << save << load;
    file->addSeparator();
    QAction *live = addAction(file, tr("Track &Live..."), "actionTrackLive");
    connect(live, &QAction::triggered, this, [this] { LiveWindow::start(window); });
    idleOnly << live;
    file->addSeparator();
    connect(addAction(file, tr("&Quit"), "actionQuit", QKeySequence::Quit), &QAction::triggered,
        window, [this] { window->close(); });

    QMenu *edit = bar->addMenu(tr("&Edit"));
    QAction *undo = addAction(edit, tr("&Undo"), "actionUndo", QKeySequence::Undo);
    connect(undo, &QAction::triggered, this, [this] { window->view()->undo(); });
    QAction *redo = addAction(edit, tr("&Redo"), "actionRedo", QKeySequence::Redo);
    connect(redo, &QAction::triggered, this, [this] { window->view()->redo(); });
    QAction *remove = addAction(
        edit, tr("&Delete Selected Shape"), "actionDelete", QKeySequence(Qt::Key_Delete));
    connect(remove, &QAction::triggered, this, [this] { window->view()->deleteSelected(); });
    QAction *cancel = addAction(
        edit, tr("&Cancel Drawing"), "actionCancelDrawing", QKeySequence(Qt::Key_Escape));
    connect(cancel, &QAction::triggered, this, [this] { window->view()->cancelEdit(); });
    idleOnly << undo << redo << remove << cancel;

    QMenu *view = bar->addMenu(tr("&View"));
    QAction *fit = addAction(view, tr("&Fit"), "actionFit", QKeySequence(Qt::CTRL | Qt::Key_0));
    connect(fit, &QAction::triggered, this, [this] { window->videoViewport()->fitToWindow(); });
    QAction *actual
        = addAction(view, tr("&100%"), "actionActualSize", QKeySequence(Qt::CTRL | Qt::Key_1));
    connect(
        actual, &QAction::triggered, this, [this] { window->videoViewport()->showActualSize(); });
    // Beyond 100 % too, up to eight times, about the middle of what is shown.
    const auto zoomBy = [this](double factor) {
        VideoViewport *viewport = window->videoViewport();
        viewport->zoomBy(factor, QPointF(viewport->viewport()->rect().center()));
    };
    connect(addAction(view, tr("Zoom &In"), "actionZoomIn", QKeySequence::ZoomIn),
        &QAction::triggered, this, [zoomBy] { zoomBy(1.25); });
    connect(addAction(view, tr("Zoom &Out"), "actionZoomOut", QKeySequence::ZoomOut),
        &QAction::triggered, this, [zoomBy] { zoomBy(0.8); });
    view->addSeparator();
    // Space plays while no run is on and pauses a run: the key is the window's shortcut
    // below, named in the menu only.
    playback = new Playback(window);
    QAction *play = addAction(view, tr("&Play") + QStringLiteral("\tSpace"), "actionPlay");
    play->setCheckable(true);
    connect(play, &QAction::triggered, this, [this] { playback->toggle(); });
    connect(playback, &Playback::playingChanged, play, &QAction::setChecked);
    needVideo << play;
    view->addSeparator();
    trackerView = addAction(view, tr("&Tracker View"), "actionTrackerView");
    trackerView->setCheckable(true);
    QCheckBox *check = window->trackerViewCheckBox();
    connect(trackerView, &QAction::toggled, check, &QCheckBox::setChecked);
    connect(check, &QCheckBox::toggled, trackerView, &QAction::setChecked);
    view->addAction(review->panelAction());

    results = new ResultsMenu(window, bar->addMenu(tr("&Results")));

    QMenu *help = bar->addMenu(tr("&Help"));
    connect(addAction(help, tr("&User Guide"), "actionUserGuide", QKeySequence::HelpContents),
        &QAction::triggered, this, [this] { GuideWindow::show(window); });
    connect(addAction(help, tr("&About Pondwatch"), "actionAbout"), &QAction::triggered, this,
        [this] { showAbout(); });

    // Keys over the whole window; a focused text field keeps its own use of them.
    // Each is on only while it can act, so a focused button keeps Space otherwise.
    auto key = [this](const QKeySequence &sequence, const char *name, auto handler) {
        auto *shortcut = new QShortcut(sequence, window);
        shortcut->setObjectName(QLatin1String(name));
        connect(shortcut, &QShortcut::activated, this, handler);
        return shortcut;
    };
    pauseKey = key(QKeySequence(Qt::Key_Space), "shortcutPause", [this] {
        if (window->isProcessing())
            window->EditPauseResume();
        else if (window->videoDecoder()->isOpen())
            playback->toggle();
    });
    stepKeys << key(
        QKeySequence(Qt::Key_Right), "shortcutNextFrame", [this] { window->stepFrames(1); });
    stepKeys << key(
        QKeySequence(Qt::Key_Left), "shortcutPreviousFrame", [this] { window->stepFrames(-1); });
    // Page Up moves on, as it does on the slider itself.
    stepKeys << key(
        QKeySequence(Qt::Key_PageUp), "shortcutNextSecond", [this] { window->stepSeconds(1); });
    stepKeys << key(QKeySequence(Qt::Key_PageDown), "shortcutPreviousSecond",
        [this] { window->stepSeconds(-1); });

    setState(false, false);
}

QAction *WindowMenus::addAction(
    QMenu *menu, const QString &text, const char *name, const QKeySequence &shortcut)
{
    QAction *action = menu->addAction(text);
    action->setObjectName(QLatin1String(name));
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    return action;
}

void WindowMenus::setState(bool videoOpen, bool processing)
{
    for (QAction *action : needVideo)
        action->setEnabled(videoOpen && !processing);
    for (QAction *action : idleOnly)
        action->setEnabled(!processing);
    pauseKey->setEnabled(processing || videoOpen);
    if (processing)
        playback->stop();
    for (QShortcut *shortcut : stepKeys)
        shortcut->setEnabled(videoOpen && !processing);
    recentMenu->setEnabled(!processing && !recent.isEmpty());
    results->setState(processing);
    review->setState(processing);
}

void WindowMenus::addRecentFile(const QString &path)
{
    const QString full = QFileInfo(path).absoluteFilePath();
    recent.removeAll(full);
    recent.prepend(full);
    while (recent.size() > AppSettings::maxRecentFiles)
        recent.removeLast();
    AppSettings::setRecentFiles(recent);
    AppSettings::setLastFolder(QFileInfo(full).absolutePath());
    rebuildRecentMenu();
}

void WindowMenus::rebuildRecentMenu()
{
    recentMenu->clear();
    for (const QString &path : recent) {
        QAction *action = recentMenu->addAction(QFileInfo(path).fileName());
        action->setToolTip(path);
        action->setData(path);
        connect(action, &QAction::triggered, window, [this, path] { window->openVideo(path); });
    }
    recentMenu->setEnabled(!recent.isEmpty());
}

QString WindowMenus::setupFolder() const
{
    const QString video = window->fileName();
    return video.isEmpty() ? AppSettings::lastFolder() : QFileInfo(video).absolutePath();
}

bool WindowMenus::saveSetup()
{
    QString path = Dialogs::current().saveFileName(
        window, tr("Save Setup"), setupFolder(), tr("Pondwatch Setup (*.pwsetup)"));
    if (path.isEmpty())
        return false;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".pwsetup");
    QString error;
    if (!SetupFile::write(path, window->currentSetup(), &error)) {
        Dialogs::current().critical(window, tr("Can't save the setup."), error);
        return false;
    }
    window->runFeedback()->showMessage(tr("Setup saved to %1").arg(path));
    return true;
}

bool WindowMenus::loadSetup()
{
    const QString path = Dialogs::current().openFileName(window, tr("Load Setup"), setupFolder(),
        tr("Setups and Tracking Data (*.pwsetup *.txt);;All Files (*)"));
    if (path.isEmpty())
        return false;
    TrackingSetup setup;
    QString error;
    if (!SetupFile::read(path, &setup, &error)) {
        Dialogs::current().critical(window, tr("Can't load the setup."), error);
        return false;
    }
    const QString note = window->applySetup(setup);
    window->runFeedback()->showMessage(note.isEmpty()
            ? tr("Setup loaded from %1").arg(path)
            : tr("Setup loaded from %1: %2").arg(path, note));
    return true;
}

void WindowMenus::showAbout()
{
    Dialogs::current().information(window, tr("About Pondwatch"),
        tr("Pondwatch %1 by Marrowick\n\nTracks fish in videos filmed from above and writes "
           "plain-text tracking data.")
            .arg(QStringLiteral(POND_VERSION)));
}
