// Opening a video, the failure messages, the slider and the time line of the main window,
// on small videos made by the test itself.

#include "app/MainWindow.h"
#include "support/DialogScope.h"
#include "support/FindControl.h"
#include "support/TestUtils.h"
#include "support/VideoFixtures.h"
#include "view/ui/VideoView.h"

#include <QPushButton>
#include <QStyleOptionSlider>
#include <QTest>

#include <optional>

namespace {

// The time line under the picture.
QLabel *timeLabel(MainWindow &w)
{
    return findControl<QLabel>(w, "timeLabel");
}

// Everything about the window a user can see, to compare before and after.
struct Visible
{
    QString title;
    qint64 picture = 0;
    QSize pictureSize;
    QString time;
    int sliderMin = 0, sliderMax = 0, sliderValue = 0;
    bool processEnabled = false;
    QList<QRect> areas;

    static Visible of(MainWindow &w)
    {
        Visible v;
        v.title = w.windowTitle();
        v.picture = w.view()->DisplayedPixmap().cacheKey();
        v.pictureSize = w.view()->DisplayedPixmap().size();
        v.time = timeLabel(w)->text();
        auto *slider = w.findChild<QSlider *>();
        v.sliderMin = slider->minimum();
        v.sliderMax = slider->maximum();
        v.sliderValue = slider->value();
        v.processEnabled = findControl<QPushButton>(w, "processVideoButton")->isEnabled();
        v.areas = w.view()->Areas();
        return v;
    }

    bool operator==(const Visible &o) const
    {
        return title == o.title && picture == o.picture && pictureSize == o.pictureSize
            && time == o.time && sliderMin == o.sliderMin && sliderMax == o.sliderMax
            && sliderValue == o.sliderValue && processEnabled == o.processEnabled
            && areas == o.areas;
    }
};

} // namespace

class NavigationTest : public QObject
{
    Q_OBJECT

    std::optional<DialogScope> dialogs;
    QString tenMinutes; // 600 pictures at 1 fps, 64 x 48, each carrying its index
    QString shortClip; // 20 pictures at 10 fps, 96 x 64
    QString mp4Clip; // 60 pictures at 25 fps, MP4 with B-frames (a fine time base)

private Q_SLOTS:
    void initTestCase()
    {
        fixtures::VideoOptions options;
        options.format = fixtures::VideoFormat::LosslessAvi;
        options.size = QSize(64, 48);
        options.fps = 1;
        options.frameCount = 600;
        tenMinutes = testutils::scratchPath("ten-minutes.avi");
        QString error;
        QVERIFY2(fixtures::writeVideo(
                     tenMinutes, options,
                     [&](int i) { return fixtures::numberedFrame(options.size, i); }, &error),
            qPrintable(error));

        options.size = QSize(96, 64);
        options.fps = 10;
        options.frameCount = 20;
        shortClip = testutils::scratchPath("short clip.avi");
        QVERIFY2(fixtures::writeVideo(
                     shortClip, options,
                     [&](int i) { return fixtures::numberedFrame(options.size, i); }, &error),
            qPrintable(error));

        options.format = fixtures::VideoFormat::Mp4H264;
        options.size = QSize(160, 120);
        options.fps = 25;
        options.frameCount = 60;
        mp4Clip = testutils::scratchPath("clip.mp4");
        QVERIFY2(fixtures::writeVideo(
                     mp4Clip, options,
                     [&](int i) { return fixtures::numberedFrame(options.size, i); }, &error),
            qPrintable(error));
    }

    // Frame by frame with the keys: Right and Left one frame, Page Up and Page Down one second,
    // on the window and on the slider alike; a seek lands on the chosen frame (not a whole
    // second); a click beside the handle seeks; the time line names the frame.
    void keysAndSliderStepThroughFrames()
    {
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        dialogs->queueFile(mp4Clip);
        w.LoadVideoFile();
        auto *slider = w.findChild<QSlider *>();
        auto *frame = w.findChild<QLabel *>("frameLabel");
        auto shown = [&] { return fixtures::frameIndexOf(w.view()->Image()); };
        const int first = shown();
        QCOMPARE(slider->value(), first);
        QCOMPARE(frame->text(), QString("Frame %1").arg(first));

        QTest::keyClick(&w, Qt::Key_Right);
        QCOMPARE(shown(), first + 1);
        QTest::keyClick(&w, Qt::Key_Right);
        QTest::keyClick(&w, Qt::Key_Left);
        QCOMPARE(shown(), first + 1);
        QCOMPARE(slider->value(), first + 1);
        QTest::keyClick(&w, Qt::Key_PageUp);
        QCOMPARE(shown(), first + 26);
        QCOMPARE(frame->text(), QString("Frame %1").arg(first + 26));
        QTest::keyClick(&w, Qt::Key_PageDown);
        QCOMPARE(shown(), first + 1);

        // A drag to frame 37: frame 37 (1.48 s), not the second before it.
        slider->setSliderDown(true);
        slider->setSliderPosition(37);
        slider->setSliderDown(false);
        QCOMPARE(shown(), 37);
        QCOMPARE(timeLabel(w)->text().section(" - ", 1), QString("(1.480 seconds into video)"));
        // Every frame reached by a seek is the one asked for.
        for (int target : { 3, 24, 25, 50, 59, 12 }) {
            slider->setSliderDown(true);
            slider->setSliderPosition(target);
            slider->setSliderDown(false);
            QCOMPARE(shown(), target);
        }

        // A click on the groove beside the handle pages towards the click and seeks.
        slider->setFocus();
        QStyleOptionSlider groove;
        groove.initFrom(slider);
        groove.orientation = slider->orientation();
        groove.minimum = slider->minimum();
        groove.maximum = slider->maximum();
        groove.sliderPosition = slider->sliderPosition();
        groove.sliderValue = slider->value();
        groove.tickPosition = slider->tickPosition();
        groove.tickInterval = slider->tickInterval();
        groove.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
        const QRect grooveRect = slider->style()->subControlRect(
            QStyle::CC_Slider, &groove, QStyle::SC_SliderGroove, slider);
        QTest::mouseClick(slider, Qt::LeftButton, {},
            QPoint(grooveRect.left() + grooveRect.width() * 3 / 4, grooveRect.center().y()));
        QCOMPARE(shown(), 12 + 25);
        QCOMPARE(slider->value(), 12 + 25);
        // The slider's own keys agree with the window's.
        QTest::keyClick(slider, Qt::Key_Left);
        QCOMPARE(shown(), 36);

        // The end of the slider shows the last picture.
        slider->setSliderDown(true);
        slider->setSliderPosition(slider->maximum());
        slider->setSliderDown(false);
        QCOMPARE(shown(), 59);
    }

    void init() { dialogs.emplace(); }

    void cleanup() { dialogs.reset(); }

    void timeLine()
    {
        MainWindow w;
        w.showTime(83456, 600000);
        QCOMPARE(timeLabel(w)->text(),
            QString("Time 0:01:23.456/0:10:00.000 - (83.456 seconds into video)"));
        QCOMPARE(MainWindow::formatTime(0), QString("0:00:00.000"));
        QCOMPARE(MainWindow::formatTime(3723004), QString("1:02:03.004"));
        QCOMPARE(MainWindow::formatTime(59999), QString("0:00:59.999"));
        // Recordings of a day or more keep counting hours.
        QCOMPARE(MainWindow::formatTime(90000000), QString("25:00:00.000"));
    }

    void openShowsFirstFrame()
    {
        MainWindow w;
        w.show();
        QCOMPARE(timeLabel(w)->text(), QString());
        dialogs->queueFile(tenMinutes);
        findControl<QPushButton>(w, "openVideoButton")->click();

        QCOMPARE(dialogs->questions.size(), 1);
        const RecordedQuestion asked = dialogs->questions.first();
        QCOMPARE(asked.kind, QString("open"));
        QCOMPARE(asked.caption, QString("Open Video"));
        QCOMPARE(asked.dir, QString("."));
        QCOMPARE(asked.filter, QString("Video Files (*.*)"));

        QCOMPARE(w.fileName(), tenMinutes);
        QCOMPARE(w.windowTitle(), "Pondwatch (0.4.0) by Marrowick - " + tenMinutes);
        QVERIFY(findControl<QPushButton>(w, "processVideoButton")->isEnabled());
        QCOMPARE(w.view()->DisplayedPixmap().size(), QSize(64, 48));
        // Fit enlarges the small frame to the room the window has.
        const double zoom = w.view()->zoom();
        QVERIFY2(zoom > 1.0, qPrintable(QString::number(zoom)));
        QCOMPARE(w.view()->minimumSize(), QSize(qRound(64 * zoom), qRound(48 * zoom)));
        // The decoder's first step after opening passes over picture 0 and lands on picture 1.
        QCOMPARE(w.videoDecoder()->frameNumber(), qint64(1));
        QCOMPARE(fixtures::frameIndexOf(w.view()->Image()), 1);
        QCOMPARE(timeLabel(w)->text(),
            QString("Time 0:00:01.000/0:10:00.000 - (1.000 seconds into video)"));

        auto *slider = w.findChild<QSlider *>();
        QCOMPARE(slider->minimum(), 0);
        QCOMPARE(slider->maximum(), 600);
        // The slider counts frames and stands on the frame shown; the time line names it.
        QCOMPARE(slider->value(), 1);
        QCOMPARE(slider->tickPosition(), QSlider::TicksBelow);
        QCOMPARE(slider->tickInterval(), 60);
        QCOMPARE(w.findChild<QLabel *>("frameLabel")->text(), QString("Frame 1"));
    }

    // "pondwatch VIDEO" (a file manager's "Open with Pondwatch"): the video named opens as if
    // picked in the file dialog, which asks nothing; the next "Open Video File..." asks again.
    void videoNamedOnTheCommandLineOpens()
    {
        MainWindow w;
        w.show();
        QVERIFY(w.openVideo(shortClip));
        QCOMPARE(dialogs->questions.size(), 0);
        QCOMPARE(w.fileName(), shortClip);
        QCOMPARE(fixtures::frameIndexOf(w.view()->Image()), 1);
        dialogs->queueFile(tenMinutes);
        w.LoadVideoFile();
        QCOMPARE(dialogs->questions.size(), 1);
        QCOMPARE(w.fileName(), tenMinutes);
    }

    // Opening a video starts a fresh set of shapes.
    void openResetsOverlays()
    {
        MainWindow w;
        dialogs->queueFile(shortClip);
        w.LoadVideoFile();
        dialogs->queueText("left");
        w.AddNewArea();
        QCOMPARE(w.view()->Areas().last(), QRect(0, 0, 96, 64)); // the whole frame shown
        dialogs->queueText("r");
        dialogs->queueReal(2.0);
        w.AddNewRuler();
        dialogs->queueText("p");
        dialogs->queueReal(2.0);
        w.AddNewPointDist();

        dialogs->queueFile(tenMinutes);
        w.LoadVideoFile();
        QCOMPARE(w.view()->AreaLabels(), QStringList { "Tracking Area" });
        QVERIFY(w.view()->Rulers().isEmpty());
        QVERIFY(w.view()->PointDists().isEmpty());
        QCOMPARE(w.view()->DisplayedPixmap().size(), QSize(64, 48));
    }

    // The slider seeks when its handle is dragged, one step per frame (here one frame a
    // second); the time line shows the time of the frame reached.
    void sliderSeeksWholeSeconds()
    {
        MainWindow w;
        w.show();
        dialogs->queueFile(tenMinutes);
        w.LoadVideoFile();
        auto *slider = w.findChild<QSlider *>();

        slider->setSliderDown(true);
        slider->setSliderPosition(125);
        QCOMPARE(fixtures::frameIndexOf(w.view()->Image()), 125);
        QCOMPARE(w.videoDecoder()->frameTime(), qint64(125000));
        QCOMPARE(timeLabel(w)->text(),
            QString("Time 0:02:05.000/0:10:00.000 - (125.000 seconds into video)"));
        slider->setSliderPosition(599);
        QCOMPARE(fixtures::frameIndexOf(w.view()->Image()), 599);
        slider->setSliderPosition(3);
        QCOMPARE(fixtures::frameIndexOf(w.view()->Image()), 3);
        // The picture on display is that frame (away from the Tracking Area's pixel at the origin).
        QCOMPARE(fixtures::frameIndexOf(w.view()->DisplayedPixmap().toImage()), 3);
        slider->setSliderDown(false);

        // Setting the value from code leaves the picture; keys on the slider seek.
        const Visible before = Visible::of(w);
        slider->setValue(400);
        QCOMPARE(fixtures::frameIndexOf(w.view()->Image()), 3);
        QCOMPARE(timeLabel(w)->text(), before.time);
        QCOMPARE(w.view()->DisplayedPixmap().cacheKey(), before.picture);
        QTest::keyClick(slider, Qt::Key_PageUp);
        QCOMPARE(fixtures::frameIndexOf(w.view()->Image()), 401);
        QCOMPARE(slider->value(), 401);

        // A real drag of the handle with the mouse seeks too.
        const int handleX
            = QStyle::sliderPositionFromValue(0, 600, slider->value(), slider->width());
        QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(handleX, slider->height() / 2));
        QTest::mouseMove(slider, QPoint(slider->width() / 4, slider->height() / 2));
        QTest::mouseRelease(
            slider, Qt::LeftButton, {}, QPoint(slider->width() / 4, slider->height() / 2));
        QVERIFY(slider->value() < 400);
        QCOMPARE(fixtures::frameIndexOf(w.view()->Image()), slider->value());
    }

    // Cancelling the dialog forgets the file name and changes nothing a user can see.
    void cancelledOpen()
    {
        MainWindow w;
        dialogs->queueFile(shortClip);
        w.LoadVideoFile();
        w.view()->SetFishPosition(5, 5);
        const Visible before = Visible::of(w);

        dialogs->queueFile(QString());
        w.LoadVideoFile();
        QVERIFY(w.fileName().isNull());
        QVERIFY(Visible::of(w) == before);
        QVERIFY(w.videoDecoder()->isOpen());

        // Before any video, too.
        MainWindow fresh;
        const Visible empty = Visible::of(fresh);
        dialogs->queueFile(QString());
        fresh.LoadVideoFile();
        QVERIFY(fresh.fileName().isNull());
        QVERIFY(Visible::of(fresh) == empty);
    }

    // A file that is not a video: "Error" / "Error loading the video"; the previous video is
    // closed but the window shows what it showed.
    void nonVideoFile()
    {
        const QString text = testutils::scratchPath("notes.txt");
        QVERIFY(fixtures::writeTextFile(text));

        MainWindow fresh;
        dialogs->queueFile(text);
        fresh.LoadVideoFile();
        QList<RecordedMessage> messages = dialogs->takeMessages();
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].kind, QString("critical"));
        QCOMPARE(messages[0].title, QString("Error"));
        // The message, then the file and the reason.
        QCOMPARE(messages[0].text,
            "Error loading the video\n" + text + ": Invalid data found when processing input");
        QVERIFY(!findControl<QPushButton>(fresh, "processVideoButton")->isEnabled());
        QCOMPARE(fresh.windowTitle(), QString("Pondwatch (0.4.0) by Marrowick"));

        MainWindow w;
        dialogs->queueFile(shortClip);
        w.LoadVideoFile();
        const Visible before = Visible::of(w);
        dialogs->queueFile(text);
        w.LoadVideoFile();
        messages = dialogs->takeMessages();
        QCOMPARE(messages.size(), 1);
        QVERIFY(messages[0].text.startsWith("Error loading the video\n" + text + ": "));
        // The picture stays; what needs the (now closed) video is disabled.
        Visible expected = before;
        expected.processEnabled = false;
        QVERIFY(Visible::of(w) == expected);
        QVERIFY(!w.videoDecoder()->isOpen());
        QCOMPARE(w.fileName(), text);

        // Audio only: no video stream to open.
        const QString audio = testutils::scratchPath("sound.wav");
        QVERIFY(fixtures::writeAudioOnly(audio, 1.0));
        dialogs->queueFile(audio);
        w.LoadVideoFile();
        messages = dialogs->takeMessages();
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].text, "Error loading the video\n" + audio + ": no video stream");
        QVERIFY(Visible::of(w) == expected);
    }
};

QTEST_MAIN(NavigationTest)
#include "NavigationTest.moc"
