// The window's "Detection" choice: the whole-video background's parameters appear only when it
// is chosen, every change reaches the tracker's controls, the fish count's range follows the
// method, the pre-pass shows its progress and the background is loaded and saved through the
// dialogs.

#include "support/ScriptedDialogs.h"
#include "support/TestUtils.h"

#include "app/DetectionControls.h"
#include "app/MainWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

namespace {

QWidget *labelled(QWidget *parent, const QString &text)
{
    for (QLabel *l : parent->findChildren<QLabel *>())
        if (l->text() == text)
            return l;
    return nullptr;
}

QPushButton *button(QWidget *parent, const QString &text)
{
    for (QPushButton *b : parent->findChildren<QPushButton *>())
        if (b->text() == text)
            return b;
    return nullptr;
}

} // namespace

class DetectionWindowTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void detectionChoiceShowsItsParametersAndStoresThem()
    {
        ScriptedDialogs dialogs;
        MainWindow w;
        const TrackingControls &controls = w.trackingControls();
        auto *detection = w.findChild<DetectionControls *>();
        QVERIFY(detection);
        QSpinBox *fish = nullptr;
        for (QSpinBox *s : w.findChildren<QSpinBox *>())
            if (s->maximum() == 25)
                fish = s;
        QVERIFY(fish);
        QWidget *framesLabel = labelled(detection, "Frames");
        QVERIFY(framesLabel);

        // Classic by default, its parameters hidden.
        QCOMPARE(controls.detectionMethod.load(), int(DetectionKind::Classic));
        QVERIFY(!framesLabel->isVisibleTo(&w));

        detection->findChild<QComboBox *>()->setCurrentIndex(1);
        QCOMPARE(controls.detectionMethod.load(), int(DetectionKind::Blobs));
        QVERIFY(framesLabel->isVisibleTo(&w));
        QCOMPARE(fish->maximum(), 200);
        fish->setValue(120);
        QCOMPARE(controls.fishCount.load(), 120);

        const QList<QSpinBox *> spins = detection->findChildren<QSpinBox *>();
        QCOMPARE(spins.size(), 4); // frames, threshold, min area, max area
        QCOMPARE(controls.blobs.backgroundFrames.load(), 50);
        QCOMPARE(controls.blobs.threshold.load(), -1.0f);
        QVERIFY(!spins[1]->isEnabled());
        spins[0]->setValue(20);
        detection->findChild<QCheckBox *>()->setChecked(false);
        spins[1]->setValue(40);
        spins[2]->setValue(10);
        spins[3]->setValue(400);
        detection->findChild<QDoubleSpinBox *>()->setValue(7.5);
        QCOMPARE(controls.blobs.backgroundFrames.load(), 20);
        QCOMPARE(controls.blobs.threshold.load(), 40.0f);
        QCOMPARE(controls.blobs.minArea.load(), 10);
        QCOMPARE(controls.blobs.maxArea.load(), 400);
        QCOMPARE(controls.blobs.maxSpeed.load(), 7.5f);

        // The pre-pass's progress, counted by the tracker thread.
        auto *bar = detection->findChild<QProgressBar *>();
        controls.blobs.backgroundFramesWanted = 20;
        controls.blobs.backgroundFramesRead = 5;
        QTRY_VERIFY(bar->isVisibleTo(&w));
        QCOMPARE(bar->value(), 5);
        controls.blobs.backgroundFramesRead = 20;
        QTRY_VERIFY(!bar->isVisibleTo(&w));

        // Saving before any run says there is nothing yet; after a run it writes the PNG.
        button(detection, "Save...")->click();
        QCOMPARE(dialogs.messages.size(), 1);
        QImage background(64, 48, QImage::Format_Grayscale8);
        background.fill(90);
        controls.blobs.setLastBackground(background);
        const QString saved = testutils::scratchPath("window background.png");
        dialogs.queueFile(saved);
        button(detection, "Save...")->click();
        QCOMPARE(QImage(saved).size(), QSize(64, 48));

        // A loaded picture is the background until the user goes back to the video's.
        dialogs.queueFile(saved);
        button(detection, "Load...")->click();
        QCOMPARE(controls.blobs.chosenBackground().size(), QSize(64, 48));
        QPushButton *fromVideo = button(detection, "Background from the Video");
        QVERIFY(fromVideo->isVisibleTo(&w));
        fromVideo->click();
        QVERIFY(controls.blobs.chosenBackground().isNull());
        const QString notAPicture = testutils::scratchPath("not a picture.png");
        QFile text(notAPicture);
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("text");
        text.close();
        dialogs.queueFile(notAPicture);
        button(detection, "Load...")->click();
        QCOMPARE(dialogs.messages.size(), 2);
        QVERIFY(dialogs.messages.last().text.contains(notAPicture));
        QVERIFY(controls.blobs.chosenBackground().isNull());

        // Back to classic: its fish limit again, the value clamped.
        detection->findChild<QComboBox *>()->setCurrentIndex(0);
        QCOMPARE(controls.detectionMethod.load(), int(DetectionKind::Classic));
        QCOMPARE(fish->maximum(), 25);
        QCOMPARE(controls.fishCount.load(), 25);
        QVERIFY(!framesLabel->isVisibleTo(&w));
        QVERIFY(dialogs.unexpected.isEmpty());
    }
};

int runDetectionWindowTest(int argc, char **argv)
{
    DetectionWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "DetectionWindowTest.moc"
