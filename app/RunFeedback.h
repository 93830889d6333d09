#pragma once
// What the status bar says: hints for the mouse while a shape is drawn, the progress of a run
// (frame, percent, frames per second, elapsed and remaining time), and where the data file of
// a finished run went, with an "Open Folder" button in the bar and in a notice that does not
// block the window. GUI thread only.

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QLabel;
class QMainWindow;
class QMessageBox;
class QPushButton;
class QStatusBar;

class RunFeedback : public QObject
{
    Q_OBJECT

public:
    explicit RunFeedback(QMainWindow *window);

    void showHint(const QString &hint);
    void showMessage(const QString &message);

    // Another video was opened: the last run's progress, file and notice are forgotten.
    void videoOpened();
    void runStarted(qint64 startMs, qint64 lengthMs);
    // The whole-video background's pre-pass, a step of its own before the tracking: `read`
    // of `wanted` frames sampled. Tracking progress after it starts its clock afresh, so its
    // percent, speed and time left are the tracking's.
    void backgroundProgress(int read, int wanted);
    // A paused run: the frame the view shows.
    void runPaused(qint64 frame);
    // frame: the frame's index from the start of the video; records: frames processed so far.
    void runProgress(qint64 frame, qint64 timeMs, int records);
    // A run ended: the file written, or the reason it was not; warning: what the user should
    // know of a file that was written (empty when nothing).
    // `found`: how many rows found every fish, for the notice (empty: not said).
    void runEnded(const QString &path, const QString &error, const QString &warning = QString(),
        const QString &found = QString());

    // The text of the progress / end-of-run field.
    QString statusText() const;
    // The notice of the last run's end (null once closed).
    QMessageBox *notice() const { return endNotice; }
    QPushButton *openFolderButton() const { return openFolder; }
    QString lastDataFile() const { return dataFile; }

    // How a folder is shown; the desktop's file manager unless a test replaces it.
    std::function<void(const QString &folder)> folderOpener;

    static QString formatDuration(double seconds);

Q_SIGNALS:
    // A run's data file was written, at `path` (absolute).
    void dataFileSaved(const QString &path);

private:
    void openDataFolder();
    void closeNotice();

    QMainWindow *window;
    QStatusBar *bar;
    QLabel *runStatus;
    QPushButton *openFolder;
    QPointer<QMessageBox> endNotice;
    QElapsedTimer clock;
    qint64 startMs = 0;
    qint64 lengthMs = 0;
    bool backgroundStep = false; // the run began with the background's pre-pass
    bool trackingStep = false; // ... and has gone on to tracking
    QString dataFile;
};
