// The window's "Detection" choice: the whole-video background's parameters appear only when it
// is chosen, every change reaches the tracker's controls, the fish count's range follows the
// method, the pre-pass shows its progress and the background is loaded and saved through the
// dialogs.

#include "support/DialogScope.h"
#include "support/FindControl.h"
#include "support/TestUtils.h"

#include "app/MainWindow.h"
#include "tracking/blobs/BlobSettings.h"
#include "ui/DetectionControls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <optional>

class DetectionWindowTest : public QObject
{
    Q_OBJECT

    std::optional<DialogScope> dialogs;

private Q_SLOTS:
    void init() { dialogs.emplace(); }
    void cleanup() { dialogs.reset(); }

    void detectionChoiceShowsItsParametersAndStoresThem()
    {
        MainWindow w;
        const TrackingControls &controls = w.trackingControls();
        auto *method = findControl<QComboBox>(w, "detectionMethodCombo");
        auto *panel = findControl<QWidget>(w, "blobPanel");
        auto *fish = findControl<QSpinBox>(w, "fishCountSpin");

        // Classic by default, its parameters hidden.
        QCOMPARE(controls.detectionMethod.load(), int(DetectionKind::Classic));
        QVERIFY(!panel->isVisibleTo(&w));

        method->setCurrentIndex(1);
        QCOMPARE(controls.detectionMethod.load(), int(DetectionKind::Blobs));
        QVERIFY(panel->isVisibleTo(&w));
        QCOMPARE(fish->maximum(), 200);
        fish->setValue(120);
        QCOMPARE(controls.fishCount.load(), 120);

        auto *threshold = findControl<QSpinBox>(w, "blobThresholdSpin");
        QCOMPARE(controls.blobs.backgroundFrames.load(), 50);
        QCOMPARE(controls.blobs.threshold.load(), -1.0f);
        QVERIFY(!threshold->isEnabled());
        findControl<QSpinBox>(w, "backgroundFramesSpin")->setValue(20);
        auto *mode = findControl<QComboBox>(w, "backgroundModeCombo");
        QCOMPARE(controls.blobs.backgroundMode.load(), int(BackgroundMode::Auto));
        mode->setCurrentIndex(2);
        QCOMPARE(controls.blobs.backgroundMode.load(), int(BackgroundMode::Extreme));
        findControl<QCheckBox>(w, "automaticThresholdCheck")->setChecked(false);
        threshold->setValue(40);
        findControl<QSpinBox>(w, "minAreaSpin")->setValue(10);
        findControl<QSpinBox>(w, "maxAreaSpin")->setValue(400);
        findControl<QDoubleSpinBox>(w, "maxSpeedSpin")->setValue(7.5);
        QCOMPARE(controls.blobs.backgroundFrames.load(), 20);
        QCOMPARE(controls.blobs.threshold.load(), 40.0f);
        QCOMPARE(controls.blobs.minArea.load(), 10);
        QCOMPARE(controls.blobs.maxArea.load(), 400);
        QCOMPARE(controls.blobs.maxSpeed.load(), 7.5f);

        // The pre-pass's progress, counted by the tracker thread.
        auto *bar = findControl<QProgressBar>(w, "backgroundProgress");
        controls.blobs.backgroundFramesWanted = 20;
        controls.blobs.backgroundFramesRead = 5;
        QTRY_VERIFY(bar->isVisibleTo(&w));
        QCOMPARE(bar->value(), 5);
        controls.blobs.backgroundFramesRead = 20;
        QTRY_VERIFY(!bar->isVisibleTo(&w));

        // Saving before any run says there is nothing yet; after a run it writes the PNG.
        auto *save = findControl<QPushButton>(w, "saveBackgroundButton");
        save->click();
        QCOMPARE(dialogs->takeMessages().size(), 1);
        QImage background(64, 48, QImage::Format_Grayscale8);
        background.fill(90);
        controls.blobs.setLastBackground(background);
        const QString saved = testutils::scratchPath("window background.png");
        dialogs->queueFile(saved);
        save->click();
        QCOMPARE(QImage(saved).size(), QSize(64, 48));

        // A loaded picture is the background until the user goes back to the video's.
        auto *load = findControl<QPushButton>(w, "loadBackgroundButton");
        dialogs->queueFile(saved);
        load->click();
        QCOMPARE(controls.blobs.chosenBackground().size(), QSize(64, 48));
        auto *fromVideo = findControl<QPushButton>(w, "backgroundFromVideoButton");
        QVERIFY(fromVideo->isVisibleTo(&w));
        fromVideo->click();
        QVERIFY(controls.blobs.chosenBackground().isNull());
        const QString notAPicture = testutils::scratchPath("not a picture.png");
        QFile text(notAPicture);
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("text");
        text.close();
        dialogs->queueFile(notAPicture);
        load->click();
        const QList<RecordedMessage> messages = dialogs->takeMessages();
        QCOMPARE(messages.size(), 1);
        QVERIFY(messages.first().text.contains(notAPicture));
        QVERIFY(controls.blobs.chosenBackground().isNull());

        // Back to classic: its fish limit again, the value clamped.
        method->setCurrentIndex(0);
        QCOMPARE(controls.detectionMethod.load(), int(DetectionKind::Classic));
        QCOMPARE(fish->maximum(), 25);
        QCOMPARE(controls.fishCount.load(), 25);
        QVERIFY(!panel->isVisibleTo(&w));
    }
};

int runDetectionWindowTest(int argc, char **argv)
{
    DetectionWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "DetectionWindowTest.moc"
