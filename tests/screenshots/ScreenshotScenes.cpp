// Puts the windows in the states the screenshots of docs/screenshots/ show, on the display it
// is started on, and keeps them there until stopped: tests/screenshots/take.sh starts it under
// Xvfb and openbox at 1366x768 and captures the screen with ImageMagick's import. Not a test;
// built on request (target screenshot_scenes).
//
//   screenshot_scenes plate|griddialog|fish100|analysis|measures|export|review SCRATCH_FOLDER

#include "analysis/ui/AnalysisWindow.h"
#include "app/ExportJob.h"
#include "app/MainWindow.h"
#include "formats/SetupFile.h"
#include "model/ArenaLayout.h"
#include "support/AnalysisDataFiles.h"
#include "support/ScriptedDialogs.h"
#include "support/VideoFixtures.h"
#include "view/ui/VideoView.h"
#include "view/ui/VideoViewport.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QSemaphore>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>

#include <cmath>
#include <cstdio>

namespace {

QString folder;

// A light 6 x 8 plate of round wells with a larva in each.
QImage plateFrame(int index)
{
    QImage frame(1280, 720, QImage::Format_RGB888);
    frame.fill(QColor(222, 222, 214));
    QPainter p(&frame);
    p.setRenderHint(QPainter::Antialiasing);
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 8; ++c) {
            const QPointF centre(150 + c * 140, 60 + r * 120);
            p.setPen(QPen(QColor(170, 170, 165), 3));
            p.setBrush(QColor(235, 235, 230));
            p.drawEllipse(centre, 52, 52);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(40, 40, 40));
            const double a = (r * 8 + c) * 0.7 + index * 0.2;
            p.drawEllipse(centre + QPointF(25 * std::cos(a), 25 * std::sin(a)), 7, 3);
        }
    return frame;
}

QString plateVideo(int frames)
{
    const QString path = folder + QStringLiteral("/plate%1.avi").arg(frames);
    fixtures::VideoOptions options;
    options.format = fixtures::VideoFormat::LosslessAvi;
    options.size = QSize(1280, 720);
    options.frameCount = frames;
    if (!QFileInfo::exists(path))
        fixtures::writeVideo(path, options, plateFrame);
    return path;
}

QVector<fixtures::FishSpec> shoal()
{
    QVector<fixtures::FishSpec> fish;
    for (int i = 0; i < 100; ++i) {
        fixtures::FishSpec f;
        f.center = QPointF(60 + (i % 10) * 120 + 20 * std::sin(i), 50 + (i / 10) * 65);
        f.angleDegrees = i * 37 % 180;
        fish << f;
    }
    return fish;
}

// Four fish: two pass head on, two cross in an X.
QVector<fixtures::FishSpec> fourFish(int frame)
{
    QVector<fixtures::FishSpec> fish(4);
    const double t = frame;
    fish[0].center = QPointF(60 + 3.2 * t, 140);
    fish[1].center = QPointF(580 - 3.2 * t, 150);
    fish[1].angleDegrees = 180;
    fish[2].center = QPointF(120 + 2.4 * t, 240 + 0.8 * t);
    fish[2].angleDegrees = 18;
    fish[3].center = QPointF(120 + 2.4 * t, 340 - 0.8 * t);
    fish[3].angleDegrees = -18;
    for (fixtures::FishSpec &f : fish)
        f.size = QSizeF(30, 10);
    return fish;
}

void showMainWindow(MainWindow &w)
{
    w.showMaximized();
    QTimer::singleShot(500, &w, [&w] { w.videoViewport()->fitToWindow(); });
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString scene = app.arguments().value(1);
    folder = app.arguments().value(2, QStringLiteral("."));
    ScriptedDialogs dialogs;
    MainWindow w;
    AnalysisWindow *analysis = nullptr;
    QSemaphore never;

    if (scene == QLatin1String("plate")) {
        // The plate's wells, 16 mm across, set the scale; Move Arenas shows the corner handles.
        w.openVideo(plateVideo(5));
        w.findChild<QComboBox *>(QStringLiteral("detectionMethodCombo"))->setCurrentIndex(1);
        const QList<Arena> plate = ArenaLayout::grid(
            QRect(QPoint(80, 0), QPoint(1199, 719)), 6, 8, Arena::Shape::Ellipse, 1, 1);
        w.view()->SetArenas(plate);
        w.view()->SetScale(*ArenaLayout::wellScale(plate, 16.0, QStringLiteral("mm")));
        w.findChild<QPushButton *>(QStringLiteral("moveArenasButton"))->click();
        showMainWindow(w);
    } else if (scene == QLatin1String("griddialog")) {
        w.openVideo(plateVideo(5));
        w.findChild<QComboBox *>(QStringLiteral("detectionMethodCombo"))->setCurrentIndex(1);
        showMainWindow(w);
        QTimer::singleShot(1200, &w, [] {
            auto *dialog = QApplication::activeModalWidget();
            if (dialog)
                dialog->findChild<QDoubleSpinBox *>(QStringLiteral("gridWellSpin"))->setValue(16);
        });
        QTimer::singleShot(800, &w,
            [&w] { w.findChild<QPushButton *>(QStringLiteral("addArenaGridButton"))->click(); });
    } else if (scene == QLatin1String("measures")) {
        // The plate tracked by pondwatch-cli beside this program, its measures in the window.
        const QString video = plateVideo(100);
        const QString data = video + QStringLiteral(".datamulti.txt");
        QProcess::execute(
            QCoreApplication::applicationDirPath() + QStringLiteral("/../cli/pondwatch-cli"),
            { QStringLiteral("track"), video, QStringLiteral("--method"), QStringLiteral("blobs"),
                QStringLiteral("--difference"), QStringLiteral("dark"), QStringLiteral("--area"),
                QStringLiteral("80,0,1199,719"), QStringLiteral("--arena-grid"),
                QStringLiteral("6x8:round:16mm"), QStringLiteral("--fish"), QStringLiteral("1"),
                QStringLiteral("--output"), data, QStringLiteral("--quiet") });
        analysis = new AnalysisWindow;
        auto *path = analysis->findChild<QLineEdit *>(QStringLiteral("dataFileEdit"));
        path->setText(data);
        QMetaObject::invokeMethod(path, "returnPressed");
        analysis->findChild<QDoubleSpinBox *>(QStringLiteral("measuresBinSpin"))->setValue(2);
        analysis->findChild<QPushButton *>(QStringLiteral("measureButton"))->click();
        analysis->show();
        QTimer::singleShot(600, analysis, [analysis] {
            analysis->findChild<QDockWidget *>(QStringLiteral("measuresDock"))->raise();
        });
    } else if (scene == QLatin1String("fish100")) {
        const QString path = folder + QStringLiteral("/shoal.avi");
        fixtures::VideoOptions options;
        options.format = fixtures::VideoFormat::LosslessAvi;
        options.size = QSize(1280, 720);
        options.frameCount = 3;
        fixtures::writeVideo(
            path, options, [](int) { return fixtures::drawScene(QSize(1280, 720), shoal(), 3); });
        w.openVideo(path);
        w.findChild<QComboBox *>(QStringLiteral("detectionMethodCombo"))->setCurrentIndex(1);
        w.findChild<QSpinBox *>(QStringLiteral("fishCountSpin"))->setValue(100);
        QList<QPoint> positions;
        for (const fixtures::FishSpec &f : shoal())
            positions << f.center.toPoint();
        w.view()->SetShowResults(true);
        w.view()->SetFishFound(true);
        w.view()->SetFishPositions(positions);
        w.view()->Redraw();
        showMainWindow(w);
    } else if (scene == QLatin1String("review")) {
        // A run of four fish through the window; at its end the review panel lists the
        // moments to check, and the head-on pass is shown.
        const QString path = folder + QStringLiteral("/four fish.avi");
        fixtures::VideoOptions options;
        options.format = fixtures::VideoFormat::LosslessAvi;
        options.size = QSize(640, 400);
        options.frameCount = 160;
        fixtures::writeVideo(path, options,
            [](int i) { return fixtures::drawScene(QSize(640, 400), fourFish(i), 5); });
        w.openVideo(path);
        TrackingSetup setup;
        setup.overlays.areas << QRect(0, 0, 640, 400);
        setup.overlays.areaLabels << QStringLiteral("Tracking Area");
        setup.hasParameters = true;
        setup.wholeVideoBackground = true;
        setup.fishCount = 4;
        w.applySetup(setup);
        showMainWindow(w);
        QTimer::singleShot(800, &w, [&w] { w.ProcessVideo(); });
        auto *poll = new QTimer(&w);
        QObject::connect(poll, &QTimer::timeout, &w, [&w, poll] {
            if (w.isProcessing())
                return;
            poll->stop();
            // The end-of-run notice is read; the panel is what is shown.
            for (QMessageBox *box : w.findChildren<QMessageBox *>())
                box->accept();
            w.showMaximized();
            auto *table = w.findChild<QTableWidget *>(QStringLiteral("reviewEvents"));
            // The first moment two fish met: a crossing when there is one, else a merge.
            int chosen = -1;
            for (const char *kind : { "crossing", "merge" })
                for (int r = 0; table && chosen < 0 && r < table->rowCount(); ++r)
                    if (table->item(r, 3)->text() == QLatin1String(kind))
                        chosen = r;
            if (chosen >= 0)
                table->setCurrentCell(chosen, 0);
            QTimer::singleShot(1000, &w, [] {
                std::printf("READY\n");
                std::fflush(stdout);
            });
        });
        QTimer::singleShot(1500, poll, [poll] { poll->start(200); });
    } else if (scene == QLatin1String("analysis")) {
        analysisfiles::DataFileBuilder b;
        b.zone("Zone1-left", 0, 0, 320, 480).ruler("Ruler1-tank", 0, 0, 640, 0, 30);
        for (int i = 0; i < 750; ++i) {
            const int x = int(320 + 250 * std::sin(i / 40.0) + 30 * std::sin(i / 3.0));
            b.row(i * 0.04, x, 240 + int(100 * std::cos(i / 55.0)), i % 23 != 0,
                { x <= 320 ? 1.0 : 0.0, x / 640.0 * 30 });
        }
        const QString data = b.write(folder + QStringLiteral("/tank.avi.data.txt"));
        analysis = new AnalysisWindow;
        analysis->findChild<QLineEdit *>(QStringLiteral("dataFileEdit"))->setText(data);
        QMetaObject::invokeMethod(
            analysis->findChild<QLineEdit *>(QStringLiteral("dataFileEdit")), "returnPressed");
        auto *table = analysis->findChild<QTableWidget *>(QStringLiteral("variableTable"));
        const QStringList variables { "Speed", "Zone1-left" };
        for (const QString &v : variables) {
            analysis->findChild<QPushButton *>(QStringLiteral("addVariableButton"))->click();
            const int row = table->rowCount() - 1;
            qobject_cast<QComboBox *>(table->cellWidget(row, 0))->setCurrentText(v);
            qobject_cast<QLineEdit *>(table->cellWidget(row, 1))->setText("0");
            qobject_cast<QLineEdit *>(table->cellWidget(row, 2))->setText("5");
            qobject_cast<QLineEdit *>(table->cellWidget(row, 3))->setText("0");
        }
        analysis->findChild<QPushButton *>(QStringLiteral("analyzeButton"))->click();
        analysis->show();
    } else if (scene == QLatin1String("export")) {
        const QString video = plateVideo(250);
        analysisfiles::DataFileBuilder b;
        for (int i = 0; i < 250; ++i)
            b.row(i * 0.04, 150 + i * 4, 60 + i, true);
        const QString data = b.write(video + QStringLiteral(".data.txt"));
        w.openVideo(video);
        auto *job = w.findChild<ExportJob *>();
        // Held at frame 100 so the progress stays on screen (for half a minute at most).
        job->frameHook = [&never](int frames) {
            if (frames == 100)
                never.tryAcquire(1, 30000);
        };
        dialogs.queueText(QStringLiteral("H.264 MP4 (VIDEO.out.mp4, fit to show)"));
        dialogs.queueFile(data);
        dialogs.queueFile(video);
        QFile::remove(video + QStringLiteral(".out.mp4"));
        showMainWindow(w);
        QTimer::singleShot(800, &w,
            [&w] { w.findChild<QAction *>(QStringLiteral("actionExportVideo"))->trigger(); });
    } else {
        std::fprintf(stderr, "unknown scene\n");
        return 2;
    }
    if (scene != QLatin1String("review"))
        QTimer::singleShot(2500, &app, [] {
            std::printf("READY\n");
            std::fflush(stdout);
        });
    const int code = app.exec();
    never.release();
    delete analysis;
    return code;
}
