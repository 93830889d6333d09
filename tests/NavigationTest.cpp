// Opening a video, the failure messages, the slider and the time line of the main window,
// on small videos made by the test itself.

#include "app/MainWindow.h"
#include "support/DialogScope.h"
#include "support/FindControl.h"
#include "support/TestUtils.h"
#include "support/VideoFixtures.h"
#include "view/ui/VideoView.h"

#include <QPushButton>
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
        QCOMPARE(w.minimumSize(), QSize(0, 0));
        QCOMPARE(w.view()->DisplayedPixmap().size(), QSize(64, 48));
        QCOMPARE(w.view()->minimumSize(), QSize(64, 48));
        // The decoder's first step after opening passes over picture 0 and lands on picture 1.
        QCOMPARE(w.videoDecoder()->frameNumber(), qint64(1));
        QCOMPARE(fixtures::frameIndexOf(w.view()->Image()), 1);
        QCOMPARE(timeLabel(w)->text(),
            QString("Time 0:00:01.000/0:10:00.000 - (1.000 seconds into video)"));

        auto *slider = w.findChild<QSlider *>();
        QCOMPARE(slider->minimum(), 0);
        QCOMPARE(slider->maximum(), 600);
        QCOMPARE(slider->value(), 0);
        QCOMPARE(slider->tickPosition(), QSlider::TicksBelow);
        QCOMPARE(slider->tickInterval(), 60);
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

    // The slider seeks only when its handle is dragged, in whole seconds; the time line shows
    // the time of the frame reached.
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

        // Moving the handle any other way (keyboard, click beside it) leaves the picture.
        const Visible before = Visible::of(w);
        slider->setValue(400);
        QTest::keyClick(slider, Qt::Key_PageUp);
        QCOMPARE(fixtures::frameIndexOf(w.view()->Image()), 3);
        QCOMPARE(timeLabel(w)->text(), before.time);
        QCOMPARE(w.view()->DisplayedPixmap().cacheKey(), before.picture);

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
        QCOMPARE(fresh.minimumSize(), QSize(600, 400));
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
        QCOMPARE(fresh.minimumSize(), QSize(600, 400));

        MainWindow w;
        dialogs->queueFile(shortClip);
        w.LoadVideoFile();
        const Visible before = Visible::of(w);
        dialogs->queueFile(text);
        w.LoadVideoFile();
        messages = dialogs->takeMessages();
        QCOMPARE(messages.size(), 1);
        QVERIFY(messages[0].text.startsWith("Error loading the video\n" + text + ": "));
        QVERIFY(Visible::of(w) == before);
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
        QVERIFY(Visible::of(w) == before);
    }
};

QTEST_MAIN(NavigationTest)
#include "NavigationTest.moc"
