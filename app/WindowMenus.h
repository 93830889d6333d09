#pragma once
// The main window's menu bar and keyboard: File (Open, Open Data File for Review, Open Recent, Save
// Setup, Load Setup, Quit), Edit (Undo, Redo, Delete, Cancel Drawing), View (Fit, 100%, Play,
// Tracker View, Identity Review Panel), Results (see ResultsMenu), Help (User Guide, About), and
// the keys that step through the video and pause a run. Holds the recent-videos list. Every action
// has an object name ("actionOpen", ...) so tests find it. GUI thread only.

#include <QObject>
#include <QStringList>

class IdentityReview;
class MainWindow;
class Playback;
class QAction;
class QMenu;
class QShortcut;
class ResultsMenu;

class WindowMenus : public QObject
{
    Q_OBJECT

public:
    explicit WindowMenus(MainWindow *window);

    void addRecentFile(const QString &path);
    QStringList recentFiles() const { return recent; }

    // The dialogs behind "Save Setup..." and "Load Setup..."; true when a file was written or
    // applied.
    bool saveSetup();
    bool loadSetup();
    void showAbout();

    // Enables what needs a video on display and no run in progress.
    void setState(bool videoOpen, bool processing);

    ResultsMenu *resultsMenu() const { return results; }
    IdentityReview *identityReview() const { return review; }
    Playback *player() const { return playback; }

private:
    QAction *addAction(QMenu *menu, const QString &text, const char *name,
        const QKeySequence &shortcut = QKeySequence());
    void rebuildRecentMenu();
    QString setupFolder() const;

    MainWindow *window;
    QMenu *recentMenu = nullptr;
    ResultsMenu *results = nullptr;
    IdentityReview *review = nullptr;
    Playback *playback = nullptr;
    QList<QAction *> needVideo; // disabled until a video is open and while a run is on
    QList<QAction *> idleOnly; // disabled while a run is on
    QAction *trackerView = nullptr;
    QShortcut *pauseKey = nullptr;
    QList<QShortcut *> stepKeys;
    QStringList recent;
};
