// The main window as a user meets it first: an HD video scaled to fit with zoom and mouse
// positions mapped to frame pixels, the menus, settings kept between starts, setups saved
// and loaded (also by pondwatch-cli track --setup), and a data file's identities reviewed.

#include "app/IdentityReview.h"
#include "app/MainWindow.h"
#include "app/Playback.h"
#include "app/RunFeedback.h"
#include "app/WindowMenus.h"
#include "formats/DataFileRows.h"
#include "formats/IdentityEvents.h"
#include "formats/SetupFile.h"
#include "formats/TrackingDataFile.h"
#include "support/DialogScope.h"
#include "support/FindControl.h"
#include "support/TestUtils.h"
#include "support/VideoFixtures.h"
#include "ui/GuideWindow.h"
#include "ui/ReviewPanel.h"
#include "video/QVideoDecoder.h"
#include "view/ui/VideoView.h"
#include "view/ui/VideoViewport.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QShortcut>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QWheelEvent>

#include <cmath>
#include <optional>

namespace {

QAction *action(MainWindow &w, const char *name)
{
    return w.findChild<QAction *>(QLatin1String(name));
}

QStringList menuTexts(QMenu *menu)
{
    QStringList texts;
    for (QAction *a : menu->actions())
        if (!a->isSeparator())
            texts << a->text().remove('&');
    return texts;
}

OverlaySet sampleOverlays()
{
    OverlaySet set;
    set.areas << QRect(QPoint(10, 8), QPoint(150, 112)) << QRect(QPoint(12, 10), QPoint(79, 110));
    set.areaLabels << "Tracking Area"
                   << "Zone1-left_bank";
    Ruler r;
    r.label = "Ruler1-tank";
    r.x1 = 20, r.y1 = 100, r.x2 = 140, r.y2 = 100;
    r.length = 30.5f;
    set.rulers << r;
    PointDist p;
    p.label = "PointDist1-p";
    p.centrex = 80, p.centrey = 60, p.radx = 80, p.rady = 20;
    p.length = 10.0f;
    set.pointDists << p;
    return set;
}

bool sameOverlays(const OverlaySet &a, const OverlaySet &b)
{
    if (a.areas != b.areas || a.areaLabels != b.areaLabels || a.rulers.size() != b.rulers.size()
        || a.pointDists.size() != b.pointDists.size())
        return false;
    for (int i = 0; i < a.rulers.size(); ++i) {
        const Ruler &x = a.rulers[i], &y = b.rulers[i];
        if (x.label != y.label || x.x1 != y.x1 || x.y1 != y.y1 || x.x2 != y.x2 || x.y2 != y.y2
            || x.length != y.length)
            return false;
    }
    for (int i = 0; i < a.pointDists.size(); ++i) {
        const PointDist &x = a.pointDists[i], &y = b.pointDists[i];
        if (x.label != y.label || x.centrex != y.centrex || x.centrey != y.centrey
            || x.radx != y.radx || x.rady != y.rady || x.length != y.length)
            return false;
    }
    return true;
}

QByteArray trackingFileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class WindowUseTest : public QObject
{
    Q_OBJECT

    std::optional<DialogScope> dialogs;
    QString hdVideo; // 1920 x 1080, 3 pictures
    QString smallVideo; // 160 x 120, 30 pictures at 25 fps

private Q_SLOTS:
    void initTestCase()
    {
        // Settings of these tests live in the scratch folder, never the user's.
        QSettings::setPath(
            QSettings::NativeFormat, QSettings::UserScope, testutils::scratchPath("settings"));
        fixtures::VideoOptions options;
        options.format = fixtures::VideoFormat::AviMjpeg;
        options.size = QSize(1920, 1080);
        options.frameCount = 3;
        hdVideo = testutils::scratchPath("hd.avi");
        QString error;
        QVERIFY2(fixtures::writeVideo(
                     hdVideo, options,
                     [&](int i) { return fixtures::numberedFrame(options.size, i); }, &error),
            qPrintable(error));
        options.size = QSize(160, 120);
        options.frameCount = 30;
        smallVideo = testutils::scratchPath("small.avi");
        QVERIFY2(fixtures::writeVideo(
                     smallVideo, options,
                     [&](int i) { return fixtures::numberedFrame(options.size, i); }, &error),
            qPrintable(error));
    }

    void init() { dialogs.emplace(); }

    void cleanup()
    {
        dialogs.reset();
        QCoreApplication::setOrganizationName(QString());
    }

    // An HD frame is scaled down to the room the window has (which never exceeds the screen
    // unless the controls need more), keeps its aspect ratio, and every mouse position is
    // mapped to frame pixels: at fit, zoomed in with Ctrl+wheel, and at 100 % with scrolling.
    void hdVideoFitsAndMapsTheMouseToFramePixels()
    {
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(w.openVideo(hdVideo));
        QCoreApplication::processEvents();
        const QRect screen = w.screen()->availableGeometry();
        QVERIFY(w.width() <= std::max(screen.width(), w.minimumSizeHint().width()));
        QVERIFY(w.height() <= std::max(screen.height(), w.minimumSizeHint().height()));
        // The review buttons and the slider lie inside the window.
        for (const char *name : { "backButton", "pauseButton", "forwardButton" }) {
            auto *b = findControl<QPushButton>(w, name);
            QVERIFY(w.rect().contains(QRect(b->mapTo(&w, QPoint(0, 0)), b->size())));
        }

        VideoViewport *viewport = w.videoViewport();
        VideoView *view = w.view();
        const double fit = viewport->zoom();
        QVERIFY(viewport->fitting());
        QVERIFY(fit < 1.0);
        QCOMPARE(view->size(), QSize(qRound(1920 * fit), qRound(1080 * fit)));
        QVERIFY(view->width() <= viewport->viewport()->width());
        QVERIFY(view->height() <= viewport->viewport()->height());
        QCOMPARE(view->DisplayedPixmap().size(), QSize(1920, 1080));

        // A drag on the scaled picture draws the area in frame pixels.
        w.SetFishArea();
        QTest::mousePress(view, Qt::LeftButton, {}, QPoint(100, 50));
        QTest::mouseMove(view, QPoint(200, 120));
        QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(300, 200));
        auto frameOf = [](int v, double zoom) { return int(std::floor(v / zoom)); };
        QCOMPARE(view->Areas()[0],
            QRect(QPoint(frameOf(100, fit), frameOf(50, fit)),
                QPoint(frameOf(300, fit), frameOf(200, fit))));

        // Ctrl+wheel zooms in around the mouse and leaves fitting; the picture scrolls.
        const QPoint centre = viewport->viewport()->rect().center();
        QWheelEvent wheel(centre, viewport->viewport()->mapToGlobal(centre), QPoint(),
            QPoint(0, 240), Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport->viewport(), &wheel);
        QVERIFY(!viewport->fitting());
        QVERIFY(std::abs(viewport->zoom() - fit * 1.5625) < 1e-9);
        QCOMPARE(view->width(), qRound(1920 * viewport->zoom()));

        // 100 %: one frame pixel per screen pixel, panned with the scroll bars.
        action(w, "actionActualSize")->trigger();
        QCOMPARE(viewport->zoom(), 1.0);
        QCOMPARE(view->size(), QSize(1920, 1080));
        QVERIFY(viewport->horizontalScrollBar()->maximum() > 0);
        viewport->horizontalScrollBar()->setValue(viewport->horizontalScrollBar()->maximum());
        dialogs->queueText("corner");
        w.AddNewArea();
        QTest::mousePress(view, Qt::LeftButton, {}, QPoint(1800, 1000));
        QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(1900, 1070));
        QCOMPARE(view->Areas()[1], QRect(QPoint(1800, 1000), QPoint(1900, 1070)));
        // View > Zoom In goes past 100 % (Ctrl++), Zoom Out back (Ctrl+-).
        QCOMPARE(action(w, "actionZoomIn")->shortcut(), QKeySequence(QKeySequence::ZoomIn));
        action(w, "actionZoomIn")->trigger();
        QCOMPARE(viewport->zoom(), 1.25);
        QCOMPARE(view->width(), 2400);
        action(w, "actionZoomOut")->trigger();
        QCOMPARE(viewport->zoom(), 1.0);

        // Fit again.
        action(w, "actionFit")->trigger();
        QVERIFY(viewport->fitting());
        QCOMPARE(viewport->zoom(), fit);

        // A small video is enlarged to fill the view at Fit, keeping its proportions.
        QVERIFY(w.openVideo(smallVideo));
        action(w, "actionFit")->trigger();
        QCoreApplication::processEvents();
        const QSize room = viewport->viewport()->size();
        QVERIFY2(viewport->zoom() > 1.5, qPrintable(QString::number(viewport->zoom())));
        QCOMPARE(
            view->size(), QSize(qRound(160 * viewport->zoom()), qRound(120 * viewport->zoom())));
        QVERIFY(view->width() <= room.width() && view->height() <= room.height());
        QVERIFY(view->width() >= room.width() - 1 || view->height() >= room.height() - 1);
    }

    // Before a video: the menus, the hint in the view, what is disabled. Settings kept from one
    // window (one start) to the next: parameters, recent videos, the last folder.
    void menusAndSettingsBetweenStarts()
    {
        QCoreApplication::setOrganizationName("PondwatchTest");
        QCoreApplication::setApplicationName("window-use");
        QSettings().clear();
        {
            MainWindow w;
            QStringList menus;
            for (QAction *a : w.menuBar()->actions())
                menus << a->text().remove('&');
            QCOMPARE(menus, (QStringList { "File", "Edit", "View", "Results", "Help" }));
            const auto top = w.menuBar()->actions();
            QCOMPARE(menuTexts(top[0]->menu()),
                (QStringList { "Open Video File...", "Open Data File for Review...", "Open Recent",
                    "Save Setup...", "Load Setup...", "Track Live...", "Quit" }));
            QCOMPARE(menuTexts(top[2]->menu()),
                (QStringList { "Fit", "100%", "Zoom In", "Zoom Out", "Play\tSpace", "Tracker View",
                    "Identity Review Panel" }));
            QCOMPARE(menuTexts(top[3]->menu()),
                (QStringList { "Show Trajectory...", "Show Heat Map...",
                    "Export Annotated Video...", "Export Trajectories..." }));
            QCOMPARE(action(w, "actionOpen")->shortcut(), QKeySequence(QKeySequence::Open));
            // Every control says what it is for when the mouse rests on it.
            QStringList silent;
            for (QWidget *control : w.findChildren<QWidget *>())
                if ((qobject_cast<QAbstractButton *>(control)
                        || qobject_cast<QAbstractSpinBox *>(control)
                        || qobject_cast<QComboBox *>(control) || qobject_cast<QSlider *>(control))
                    && control->toolTip().isEmpty()
                    && !control->objectName().startsWith("qt_")) // Qt's own
                    silent << control->objectName() + ":" + control->metaObject()->className();
            QVERIFY2(silent.isEmpty(), qPrintable(silent.join(' ')));
            QVERIFY(!action(w, "actionSaveSetup")->isEnabled());
            QVERIFY(!action(w, "actionLoadSetup")->isEnabled());
            QCOMPARE(w.view()->text(), QString("Open a video to start"));

            action(w, "actionAbout")->trigger();
            const QList<RecordedMessage> about = dialogs->takeMessages();
            QCOMPARE(about.size(), 1);
            QVERIFY(about[0].text.contains("0.4.0"));
            // The guide is shipped inside the program: F1 shows it without a network.
            QCOMPARE(
                action(w, "actionUserGuide")->shortcut(), QKeySequence(QKeySequence::HelpContents));
            action(w, "actionUserGuide")->trigger();
            auto *guide = w.findChild<GuideWindow *>();
            QVERIFY(guide && guide->isVisible());
            QVERIFY(guide->toPlainText().contains("Arenas: well plates"));
            action(w, "actionUserGuide")->trigger();
            QCOMPARE(w.findChildren<GuideWindow *>().size(), 1);
            guide->close();

            // Tracker View in the menu and the check box are one setting.
            action(w, "actionTrackerView")->trigger();
            QVERIFY(w.trackerViewCheckBox()->isChecked());

            dialogs->queueFile(smallVideo);
            w.LoadVideoFile();
            QCOMPARE(dialogs->questions.last().dir, QString("."));
            QVERIFY(action(w, "actionSaveSetup")->isEnabled());
            // Play steps a frame at a time (the test steps it rather than wait on the timer)
            // and stops at the end; View > Play and Space start and stop it.
            Playback *player = w.windowMenus()->player();
            const int first = fixtures::frameIndexOf(w.view()->Image());
            action(w, "actionPlay")->trigger();
            QVERIFY(player->isPlaying() && action(w, "actionPlay")->isChecked());
            for (int i = 0; i < 3; ++i)
                player->tick();
            QCOMPARE(fixtures::frameIndexOf(w.view()->Image()), first + 3);
            for (int i = 0; i < 40 && player->isPlaying(); ++i)
                player->tick();
            QVERIFY(!player->isPlaying() && !action(w, "actionPlay")->isChecked());
            QCOMPARE(fixtures::frameIndexOf(w.view()->Image()), 29);
            w.findChild<QShortcut *>("shortcutPause")->activated();
            QVERIFY(player->isPlaying());
            w.findChild<QShortcut *>("shortcutPause")->activated();
            QVERIFY(!player->isPlaying());
            // The wheel over a spin box of the scrolling column changes it only once it has
            // the focus.
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            auto *frames = findControl<QSpinBox>(w, "framesToAverageSpin");
            const int framesBefore = frames->value();
            const auto wheel = [&] {
                QWheelEvent up(QPointF(5, 5), frames->mapToGlobal(QPointF(5, 5)), QPoint(),
                    QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
                QApplication::sendEvent(frames, &up);
            };
            wheel();
            QCOMPARE(frames->value(), framesBefore);
            w.activateWindow();
            frames->setFocus();
            QTRY_VERIFY(frames->hasFocus());
            wheel();
            QVERIFY(frames->value() > framesBefore);

            // The whole-video background with 100 fish and parameters of both methods.
            findControl<QComboBox>(w, "detectionMethodCombo")->setCurrentIndex(1);
            findControl<QSpinBox>(w, "fishCountSpin")->setValue(100);
            findControl<QSpinBox>(w, "framesToAverageSpin")->setValue(40);
            findControl<QSpinBox>(w, "backgroundFramesSpin")->setValue(80);
            findControl<QCheckBox>(w, "automaticThresholdCheck")->setChecked(false);
            findControl<QSpinBox>(w, "blobThresholdSpin")->setValue(33);
            findControl<QSpinBox>(w, "minAreaSpin")->setValue(12);
            findControl<QSpinBox>(w, "maxAreaSpin")->setValue(900);
            findControl<QDoubleSpinBox>(w, "maxSpeedSpin")->setValue(7.5);
            findControl<QComboBox>(w, "backgroundModeCombo")->setCurrentIndex(3); // masked
            w.show();
            w.close();
        }
        MainWindow again;
        QCOMPARE(findControl<QComboBox>(again, "detectionMethodCombo")->currentIndex(), 1);
        QCOMPARE(again.fishCount(), 100);
        QCOMPARE(again.framesToAverage(), 40);
        QCOMPARE(findControl<QSpinBox>(again, "backgroundFramesSpin")->value(), 80);
        QVERIFY(!findControl<QCheckBox>(again, "automaticThresholdCheck")->isChecked());
        QCOMPARE(findControl<QSpinBox>(again, "blobThresholdSpin")->value(), 33);
        QCOMPARE(findControl<QSpinBox>(again, "minAreaSpin")->value(), 12);
        QCOMPARE(findControl<QSpinBox>(again, "maxAreaSpin")->value(), 900);
        QCOMPARE(findControl<QDoubleSpinBox>(again, "maxSpeedSpin")->value(), 7.5);
        QCOMPARE(findControl<QComboBox>(again, "backgroundModeCombo")->currentIndex(), 3);
        const QString full = QFileInfo(smallVideo).absoluteFilePath();
        QCOMPARE(again.windowMenus()->recentFiles(), QStringList { full });
        auto *recent = again.findChild<QMenu *>("menuRecent");
        QCOMPARE(recent->actions().size(), 1);
        recent->actions().first()->trigger();
        QCOMPARE(again.fileName(), full);
        dialogs->queueFile(QString());
        again.LoadVideoFile();
        QCOMPARE(dialogs->questions.last().dir, QFileInfo(full).absolutePath());
        QSettings().clear();
    }

    // A setup written and read back is the same; bad lines are refused with the file and line;
    // a data file's header gives its overlays; the window saves and loads one (undoably), and
    // pondwatch-cli track --setup runs with it.
    void setupFilesRoundTrip()
    {
        TrackingSetup setup;
        setup.overlays = sampleOverlays();
        setup.hasParameters = true;
        setup.fishCount = 3;
        setup.framesToAverage = 20;
        setup.confidenceThreshold = 12.5f;
        setup.gaussianVariance = 0.005f;
        setup.meanFilterSize = 5;
        setup.signedDifference = true;
        setup.brightObject = false;
        const QString path = testutils::scratchPath("tank.pwsetup");
        QVERIFY(SetupFile::write(path, setup));
        TrackingSetup read;
        QString error;
        QVERIFY2(SetupFile::read(path, &read, &error), qPrintable(error));
        QVERIFY(sameOverlays(read.overlays, setup.overlays));
        QVERIFY(read.hasParameters);
        QCOMPARE(read.fishCount, 3);
        QCOMPARE(read.framesToAverage, 20);
        QCOMPARE(read.confidenceThreshold, 12.5f);
        QCOMPARE(read.gaussianVariance, 0.005f);
        QCOMPARE(read.meanFilterSize, 5);
        QVERIFY(read.signedDifference && !read.brightObject);
        QVERIFY(!read.wholeVideoBackground);
        // A classic setup with the background's defaults is written as before the method was
        // kept, so that earlier versions read it.
        QVERIFY(!SetupFile::text(setup).contains("method"));

        // The whole-video background and its parameters, with more fish than classic takes.
        TrackingSetup blobs = setup;
        blobs.wholeVideoBackground = true;
        blobs.fishCount = 100;
        blobs.backgroundFrames = 80;
        blobs.blobThreshold = 33.0f;
        blobs.minArea = 12;
        blobs.maxArea = 900;
        blobs.maxSpeed = 7.5f;
        blobs.backgroundMode = 1; // median
        const QString blobsPath = testutils::scratchPath("blobs.pwsetup");
        QVERIFY(SetupFile::write(blobsPath, blobs));
        QVERIFY2(SetupFile::read(blobsPath, &read, &error), qPrintable(error));
        QVERIFY(read.wholeVideoBackground);
        QCOMPARE(read.fishCount, 100);
        QCOMPARE(read.backgroundFrames, 80);
        QCOMPARE(read.blobThreshold, 33.0f);
        QCOMPARE(read.minArea, 12);
        QCOMPARE(read.maxArea, 900);
        QCOMPARE(read.maxSpeed, 7.5f);
        QCOMPARE(read.backgroundMode, 1);
        blobs.blobThreshold = -1.0f; // automatic
        blobs.wholeVideoBackground = false;
        blobs.fishCount = 3;
        QVERIFY(SetupFile::write(blobsPath, blobs));
        QVERIFY2(SetupFile::read(blobsPath, &read, &error), qPrintable(error));
        QVERIFY(!read.wholeVideoBackground);
        QCOMPARE(read.blobThreshold, -1.0f);
        QCOMPARE(read.backgroundFrames, 80);

        // Bad files: nothing read, the file and the line named.
        const QString bad = testutils::scratchPath("bad.pwsetup");
        for (const QByteArray &body : { QByteArray("Pondwatch setup 1\narea 1 2 x 4 L\n"),
                 QByteArray("Pondwatch setup 1\narea 1 2 3 4 T\nfish 99\n"),
                 QByteArray("Pondwatch setup 1\narea 1 2 3 4 T\nfish 300\nmethod background\n"),
                 QByteArray("Pondwatch setup 1\narea 1 2 3 4 T\nmethod blobs\n"),
                 QByteArray("Pondwatch setup 1\narea 1 2 3 4 T\nblob-threshold -2\n"),
                 QByteArray("Pondwatch setup 1\narea 1 2 3 4 T\nruler 1 2 3 4\n"),
                 QByteArray("Pondwatch setup 1\nfish 2\n"), QByteArray("just text\n") }) {
            QFile f(bad);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(body);
            f.close();
            TrackingSetup untouched;
            untouched.fishCount = 7;
            QVERIFY2(!SetupFile::read(bad, &untouched, &error), body.constData());
            QVERIFY(error.startsWith(bad));
            QCOMPARE(untouched.fishCount, 7);
        }
        QVERIFY(SetupFile::read(testutils::scratchPath("missing"), &read, &error) == false);

        // A data file's header.
        TrackingDataFile::Content content;
        content.overlays = sampleOverlays();
        content.confidenceThreshold = 30.0f;
        const QString dataFile = testutils::scratchPath("old.avi.data.txt");
        QVERIFY(TrackingDataFile::save(dataFile, content));
        TrackingSetup fromData;
        QVERIFY2(SetupFile::read(dataFile, &fromData, &error), qPrintable(error));
        QVERIFY(sameOverlays(fromData.overlays, content.overlays));
        QVERIFY(!fromData.hasParameters);

        // The window: saved from one, loaded into another, undone there with Ctrl+Z.
        MainWindow w;
        dialogs->queueFile(smallVideo);
        w.LoadVideoFile();
        TrackingSetup windowSetup = setup;
        windowSetup.backgroundFrames = 80; // the other method's parameters travel too
        w.applySetup(windowSetup);
        const QString saved = testutils::scratchPath("from-window"); // the suffix is added
        dialogs->queueFile(saved);
        QVERIFY(w.windowMenus()->saveSetup());
        QVERIFY(QFileInfo::exists(saved + ".pwsetup"));

        MainWindow other;
        dialogs->queueFile(smallVideo);
        other.LoadVideoFile();
        dialogs->queueFile(saved + ".pwsetup");
        QVERIFY(other.windowMenus()->loadSetup());
        QVERIFY(sameOverlays(other.view()->Overlays(), setup.overlays));
        QCOMPARE(other.fishCount(), 3);
        QCOMPARE(other.confidenceThreshold(), 12.5f);
        QVERIFY(other.signedDifference() && !other.brightObject());
        QCOMPARE(findControl<QComboBox>(other, "detectionMethodCombo")->currentIndex(), 0);
        QCOMPARE(findControl<QSpinBox>(other, "backgroundFramesSpin")->value(), 80);
        QVERIFY(other.view()->undo());
        QCOMPARE(other.view()->AreaLabels(), QStringList { "Tracking Area" });
        // The header of a data file loads its overlays and leaves the parameters.
        dialogs->queueFile(dataFile);
        QVERIFY(other.windowMenus()->loadSetup());
        QVERIFY(sameOverlays(other.view()->Overlays(), content.overlays));
        QCOMPARE(other.fishCount(), 3);
        // Arenas need the whole-video background: loading them chooses it, and says so.
        TrackingSetup plate;
        plate.overlays.areas << QRect(0, 0, 160, 120);
        plate.overlays.areaLabels << "Tracking Area";
        for (int i = 0; i < 2; ++i) {
            Arena arena;
            arena.rect = QRect(10 + 70 * i, 10, 60, 60);
            arena.fishCount = 1;
            plate.overlays.arenas << arena;
        }
        const QString platePath = testutils::scratchPath("plate.pwsetup");
        QVERIFY(SetupFile::write(platePath, plate));
        findControl<QComboBox>(other, "detectionMethodCombo")->setCurrentIndex(0);
        dialogs->queueFile(platePath);
        QVERIFY(other.windowMenus()->loadSetup());
        QCOMPARE(findControl<QComboBox>(other, "detectionMethodCombo")->currentIndex(), 1);
        QCOMPARE(other.view()->Arenas().size(), 2);
        const QString said = other.statusBar()->currentMessage();
        QVERIFY2(said.contains("2 arenas")
                && said.contains("Whole-video background", Qt::CaseInsensitive),
            qPrintable(said));

        // A bad file: a message naming it, nothing changed.
        dialogs->queueFile(bad);
        QVERIFY(!other.windowMenus()->loadSetup());
        const QList<RecordedMessage> messages = dialogs->takeMessages();
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].title, QString("Can't load the setup."));
        QVERIFY(messages[0].text.contains(bad));

        // The command line: --setup gives the same file as the options it stands for, and a
        // label's whitespace becomes "_" as in the window.
        const QString viaSetup = testutils::scratchPath("via-setup.txt");
        const QString viaOptions = testutils::scratchPath("via-options.txt");
        TrackingSetup single = setup;
        single.fishCount = 1;
        single.overlays.areas[0] = QRect(QPoint(10, 8), QPoint(150, 112));
        QVERIFY(SetupFile::write(path, single));
        testutils::ProgramRun run = testutils::runProgram(
            POND_CLI, { "track", smallVideo, "--setup", path, "--output", viaSetup, "--quiet" });
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        run = testutils::runProgram(POND_CLI,
            { "track", smallVideo, "--area", "10,8,150,112", "--zone", "left bank=12,10,79,110",
                "--ruler", "tank=20,100,140,100,30.5", "--pointdist", "p=80,60,80,20,10",
                "--average", "20", "--threshold", "12.5", "--variance", "0.005", "--filter", "5",
                "--difference", "dark", "--output", viaOptions, "--quiet" });
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QFile a(viaSetup), b(viaOptions);
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        const QByteArray bytes = a.readAll();
        QCOMPARE(bytes, b.readAll());
        QVERIFY(bytes.contains("Zone1-left_bank"));
    }

    // A data file of three fish opened for review beside its video, whose timestamps start at
    // 1 s: the panel lists the file's events; choosing one shows that picture (the file's
    // frame, read back from the picture itself) with every marker at the row's position; a
    // swap from there trades the two fish's fields from that row on, moves their markers, and
    // Undo and Redo give back each file byte for byte. A file changed by another program is
    // not swapped over; the panel comes back from the View menu and leaves the video room on
    // a 1366x768 screen.
    void reviewPanelShowsSwapsAndUndoes()
    {
        fixtures::VideoOptions options;
        options.format = fixtures::VideoFormat::LosslessMkv;
        options.frameCount = 30;
        options.startSeconds = 1.0;
        const QString video = testutils::scratchPath("three fish.mkv");
        QString error;
        QVERIFY2(fixtures::writeVideo(
                     video, options,
                     [&](int i) { return fixtures::numberedFrame(options.size, i); }, &error),
            qPrintable(error));
        // Fish 1 and 2 cross at frame 15; fish 3 rests. The rows are the pictures after the
        // first, timed as the decoder times them.
        auto at = [](int fish, qint64 frame) {
            return fish == 0 ? QPointF(20.25 + 4 * frame, 40)
                : fish == 1  ? QPointF(140.25 - 4 * frame, 42)
                             : QPointF(80, 100);
        };
        TrackingDataFile::Content content;
        content.multiFish = true;
        content.fishCount = 3;
        content.overlays.areas << QRect(0, 0, 160, 120);
        content.overlays.areaLabels << "Tracking Area";
        content.detection = "blobs";
        QVideoDecoder decoder(video);
        QVERIFY(decoder.decodeUpTo(-1)); // picture 0
        for (qint64 k = 1; decoder.seekNextFrame(); ++k) {
            TrackRecord r;
            r.frameNumber = decoder.frameNumber();
            r.seconds = float(double(decoder.frameTime()) / 1000.0);
            r.pictureIndex = k;
            for (int f = 0; f < 3; ++f) {
                r.exactPositions << at(f, k);
                r.fishPositions << at(f, k).toPoint();
                r.fishFoundFlags << true;
                r.fishConfidences << 1.0f;
                r.headings << (f == 1 ? 180.0f : 0.0f);
                r.bodyLengths << 14.0f;
                r.areas << 60.0f;
            }
            content.records << r;
        }
        QCOMPARE(content.records.size(), 29);
        QVERIFY(content.records.first().seconds > 1.0f);
        const QString data = TrackingDataFile::multiFishPath(video);
        QVERIFY(TrackingDataFile::save(data, content));
        const QByteArray original = trackingFileBytes(data);
        DataFileRows rows;
        QVERIFY(rows.parse(original, &error));
        const QVector<IdentityEvent> events = IdentityEvents::find(rows);
        int crossing = -1;
        for (int e = 0; e < events.size(); ++e)
            if (std::abs(events[e].frame - 15) <= 2 && events[e].fish == QVector<int> { 1, 2 })
                crossing = e;
        QVERIFY2(crossing >= 0, IdentityEvents::csv(events).constData());

        MainWindow w;
        w.show();
        dialogs->queueFile(data); // the video is found beside it
        action(w, "actionOpenForReview")->trigger();
        auto *panel = findControl<ReviewPanel>(w, "reviewPanel");
        auto *table = findControl<QTableWidget>(w, "reviewEvents");
        QVERIFY(panel->isVisible());
        QCOMPARE(QFileInfo(w.fileName()), QFileInfo(video));
        auto listed = [&]() {
            QStringList lines;
            for (int r = 0; r < table->rowCount(); ++r)
                lines << table->item(r, 0)->text() + ' ' + table->item(r, 2)->text() + ' '
                        + table->item(r, 3)->text();
            return lines;
        };
        auto expected = [](const QVector<IdentityEvent> &list) {
            QStringList lines;
            for (const IdentityEvent &e : list) {
                QStringList fish;
                for (int k : e.fish)
                    fish << QString::number(k);
                lines << QString::number(e.frame) + ' ' + fish.join(", ") + ' ' + e.kind;
            }
            return lines;
        };
        QCOMPARE(listed(), expected(events));

        // Clicked: the event's own picture, every marker where its row has the fish.
        const QRect cell = table->visualItemRect(table->item(crossing, 0));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
        const qint64 frame = events[crossing].frame;
        auto markersAt = [&at](qint64 f, bool swapped) {
            QList<QPoint> m;
            for (int k = 0; k < 3; ++k)
                m << at(swapped && k < 2 ? 1 - k : k, f).toPoint();
            return m;
        };
        QCOMPARE(qint64(fixtures::frameIndexOf(w.view()->Image())), frame);
        QCOMPARE(w.view()->FishPositions(), markersAt(frame, false));
        QCOMPARE(w.windowMenus()->identityReview()->shownFrame(), frame);
        QCOMPARE(
            findControl<QLabel>(w, "frameLabel")->text(), QStringLiteral("Frame %1").arg(frame));

        // Swapped from here: the rows before as they were, fish 1 and 2 traded from here on.
        dialogs->queueInteger(1);
        dialogs->queueInteger(2);
        findControl<QPushButton>(w, "swapIdentitiesButton")->click();
        const QByteArray swapped = trackingFileBytes(data);
        const QStringList was = QString::fromLatin1(original).split('\n');
        const QStringList now = QString::fromLatin1(swapped).split('\n');
        const int header = int(was.indexOf(QRegularExpression("^Time .*")));
        const int first = header + int(frame); // the row of picture `frame` (rows from 1)
        QCOMPARE(now.mid(0, first), was.mid(0, first));
        QCOMPARE(now.size(), was.size());
        const QStringList names = was[header].split(' ', Qt::SkipEmptyParts);
        for (int line = first; line < was.size() - 1; ++line) {
            const QStringList before = was[line].split(' ', Qt::SkipEmptyParts);
            const QStringList after = now[line].split(' ', Qt::SkipEmptyParts);
            for (const char *column : { "X", "Y", "Heading" })
                QCOMPARE(after.value(int(names.indexOf(QStringLiteral("Fish1") + column))),
                    before.value(int(names.indexOf(QStringLiteral("Fish2") + column))));
            QCOMPARE(after.value(int(names.indexOf("Frame"))),
                before.value(int(names.indexOf("Frame"))));
        }
        QCOMPARE(w.view()->FishPositions(), markersAt(frame, true));
        DataFileRows mended;
        QVERIFY(mended.parse(swapped, &error));
        QCOMPARE(listed(), expected(IdentityEvents::find(mended)));

        // Undo and Redo through the Edit menu, each file byte for byte.
        action(w, "actionUndo")->trigger();
        QCOMPARE(trackingFileBytes(data), original);
        QCOMPARE(w.view()->FishPositions(), markersAt(frame, false));
        action(w, "actionRedo")->trigger();
        QCOMPARE(trackingFileBytes(data), swapped);
        action(w, "actionUndo")->trigger();
        QCOMPARE(trackingFileBytes(data), original);

        // Changed meanwhile by another program: not swapped, said with the file's name.
        QFile changed(data);
        QVERIFY(changed.open(QIODevice::Append));
        changed.write("\n");
        changed.close();
        const QByteArray edited = trackingFileBytes(data);
        dialogs->queueInteger(1);
        dialogs->queueInteger(3);
        findControl<QPushButton>(w, "swapIdentitiesButton")->click();
        const QList<RecordedMessage> said = dialogs->takeMessages();
        QCOMPARE(said.size(), 1);
        QVERIFY2(said[0].text.contains(data) && said[0].text.contains("changed"),
            qPrintable(said[0].text));
        QCOMPARE(trackingFileBytes(data), edited);
        // Nothing pushed: the first swap, undone, is still there to redo.
        QCOMPARE(w.view()->undoStack()->count(), 1);
        QVERIFY(w.view()->undoStack()->canRedo());
        // Opened again, the file is another's: the earlier swap is not redone in it.
        dialogs->queueFile(data);
        action(w, "actionOpenForReview")->trigger();
        action(w, "actionRedo")->trigger();
        const QList<RecordedMessage> refused = dialogs->takeMessages();
        QCOMPARE(refused.size(), 1);
        QVERIFY2(refused[0].text.contains("no longer under review"), qPrintable(refused[0].text));
        QCOMPARE(trackingFileBytes(data), edited);

        // Closed, it comes back from the View menu; the window fits a small laptop's screen.
        panel->close();
        QVERIFY(!panel->isVisible());
        action(w, "actionReviewPanel")->trigger();
        QVERIFY(panel->isVisible());
        QVERIFY2(w.minimumSizeHint().width() <= 1366 && w.minimumSizeHint().height() <= 740,
            qPrintable(QStringLiteral("%1x%2")
                           .arg(w.minimumSizeHint().width())
                           .arg(w.minimumSizeHint().height())));
    }
};

QTEST_MAIN(WindowUseTest)
#include "WindowUseTest.moc"
