#include "app/RunFeedback.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QUrl>

#include <algorithm>

RunFeedback::RunFeedback(QMainWindow *mainWindow)
    : QObject(mainWindow)
    , window(mainWindow)
    , bar(mainWindow->statusBar())
    , runStatus(new QLabel)
    , openFolder(new QPushButton(tr("Open Folder")))
{
    folderOpener
        = [](const QString &folder) { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); };
    runStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    openFolder->setToolTip(tr("Show the folder the tracking data was saved in"));
    bar->addWidget(runStatus, 1);
    bar->addPermanentWidget(openFolder);
    openFolder->setVisible(false);
    connect(openFolder, &QPushButton::clicked, this, [this] { openDataFolder(); });
}

QString RunFeedback::formatDuration(double seconds)
{
    const qint64 s = qint64(std::max(0.0, seconds) + 0.5);
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600)
        .arg((s / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

void RunFeedback::showHint(const QString &hint)
{
    if (hint.isEmpty())
        bar->clearMessage();
    else
        bar->showMessage(hint);
}

void RunFeedback::showMessage(const QString &message)
{
    bar->showMessage(message, 8000);
}

void RunFeedback::closeNotice()
{
    // A message box with no Cancel-like button ignores close(): it is put away instead.
    if (endNotice) {
        endNotice->hide();
        endNotice->deleteLater();
        endNotice = nullptr;
    }
}

void RunFeedback::videoOpened()
{
    runStatus->clear();
    openFolder->setVisible(false);
    closeNotice();
    bar->clearMessage();
}

void RunFeedback::runStarted(qint64 start, qint64 length)
{
    startMs = start;
    lengthMs = length;
    clock.start();
    openFolder->setVisible(false);
    closeNotice();
    runStatus->setText(tr("Processing..."));
    backgroundStep = trackingStep = false;
}

void RunFeedback::backgroundProgress(int read, int wanted)
{
    backgroundStep = true;
    runStatus->setText(
        tr("Step 1 of 2: making the background - frame %1 of %2 sampled").arg(read).arg(wanted));
}

void RunFeedback::runPaused(qint64 frame)
{
    runStatus->setText(tr("Paused at frame %1").arg(frame));
}

void RunFeedback::runProgress(qint64 frame, qint64 timeMs, int records)
{
    if (backgroundStep && !trackingStep) {
        trackingStep = true;
        clock.start();
    }
    const double elapsed = clock.isValid() ? clock.elapsed() / 1000.0 : 0.0;
    const double fps = elapsed > 0 ? records / elapsed : 0.0;
    const double percent
        = lengthMs > 0 ? std::clamp(100.0 * double(timeMs) / double(lengthMs), 0.0, 100.0) : 0.0;
    QString text = tr("Frame %1 - %2% - %3 fps - elapsed %4")
                       .arg(frame)
                       .arg(percent, 0, 'f', 1)
                       .arg(fps, 0, 'f', 1)
                       .arg(formatDuration(elapsed));
    const double covered = double(timeMs - startMs);
    if (covered > 0 && lengthMs > timeMs)
        text += tr(" - remaining %1")
                    .arg(formatDuration(double(lengthMs - timeMs) / covered * elapsed));
    else
        text += tr(" - remaining --:--:--");
    if (trackingStep)
        text = tr("Step 2 of 2: tracking - ") + text;
    runStatus->setText(text);
}

void RunFeedback::runEnded(
    const QString &path, const QString &error, const QString &warning, const QString &found)
{
    const QString full = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
    if (!error.isEmpty() || full.isEmpty()) {
        dataFile.clear();
        openFolder->setVisible(false);
        runStatus->setText(tr("The tracking data was not saved."));
        return;
    }
    dataFile = full;
    const QString text = tr("Tracking data saved to %1").arg(QDir::toNativeSeparators(full));
    runStatus->setText(text);
    openFolder->setVisible(true);

    closeNotice();
    auto *box = new QMessageBox(warning.isEmpty() ? QMessageBox::Information : QMessageBox::Warning,
        tr("Processing finished"),
        (found.isEmpty() ? text : text + QStringLiteral("\n\n") + found)
            + (warning.isEmpty() ? QString() : QStringLiteral("\n\n") + warning),
        QMessageBox::Ok, window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->setWindowModality(Qt::NonModal);
    QPushButton *folder = box->addButton(tr("Open Folder"), QMessageBox::ActionRole);
    // The folder opens and the notice, its job done, closes.
    connect(folder, &QPushButton::clicked, this, [this] { openDataFolder(); });
    endNotice = box;
    box->show();
    Q_EMIT dataFileSaved(full);
}

QString RunFeedback::statusText() const
{
    return runStatus->text();
}

void RunFeedback::openDataFolder()
{
    if (!dataFile.isEmpty() && folderOpener)
        folderOpener(QFileInfo(dataFile).absolutePath());
}
