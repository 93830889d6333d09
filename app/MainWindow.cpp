#include "app/MainWindow.h"

#include "app/AppSettings.h"
#include "app/RunFeedback.h"
#include "app/WindowMenus.h"
#include "model/ArenaLayout.h"
#include "tracking/VideoTracker.h"
#include "ui/ArenaControls.h"
#include "ui/DetectionControls.h"
#include "ui/Dialogs.h"
#include "ui/ScrollColumn.h"
#include "view/ui/VideoView.h"
#include "view/ui/VideoViewport.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QVBoxLayout>

#include <cmath>
#include <utility>

namespace {

QPushButton *iconButton(const QString &text, const char *icon)
{
    return new QPushButton(QIcon(QString::fromLatin1(icon)), text);
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , baseTitle(QStringLiteral("Pondwatch (0.4.0) by Marrowick"))
    , refreshTimer(this)
{
    videoView = new VideoView(this);
    viewport = new VideoViewport(videoView);

    // No fixed minimum: the layout's, which is what the controls need, holds at any time.
    setWindowTitle(baseTitle);

    auto *central = new QWidget;
    auto *centralLayout = new QHBoxLayout(central);

    auto *controlColumn = new QWidget;
    controlColumn->setObjectName(QStringLiteral("controlColumn"));
    buildControlColumn(controlColumn);

    positionSlider.setOrientation(Qt::Horizontal);
    connect(&positionSlider, &QSlider::sliderMoved, this, &MainWindow::SeekInVideo);
    // Keys and clicks beside the handle seek too; a drag is already a sliderMoved. When the
    // action arrives, the handle's position has moved and the value not yet.
    connect(&positionSlider, &QSlider::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderMove)
            SeekInVideo();
    });

    timeLabel.setText(QString(""));
    frameLabel = new QLabel;
    frameLabel->setObjectName(QStringLiteral("frameLabel"));

    backButton = new QPushButton(tr("Back"));
    pauseButton = new QPushButton(tr("Pause"));
    forwardButton = new QPushButton(tr("Forward"));
    connect(backButton, &QPushButton::clicked, this, &MainWindow::EditBack);
    connect(pauseButton, &QPushButton::clicked, this, &MainWindow::EditPauseResume);
    connect(forwardButton, &QPushButton::clicked, this, &MainWindow::EditForward);
    backButton->setEnabled(false);
    pauseButton->setEnabled(false);
    forwardButton->setEnabled(false);

    auto *displayColumn = new QWidget;
    auto *displayLayout = new QVBoxLayout(displayColumn);
    displayLayout->addWidget(viewport, 1);
    displayLayout->addWidget(&positionSlider);

    auto *bottomBar = new QFrame;
    auto *bottomLayout = new QHBoxLayout(bottomBar);
    bottomLayout->addWidget(&timeLabel);
    bottomLayout->addWidget(frameLabel);
    bottomLayout->addStretch(1);
    auto *reviewFrame = new QFrame;
    reviewFrame->setFixedWidth(225);
    auto *reviewLayout = new QHBoxLayout(reviewFrame);
    reviewLayout->addWidget(backButton);
    reviewLayout->addWidget(pauseButton);
    reviewLayout->addWidget(forwardButton);
    bottomLayout->addWidget(reviewFrame);
    displayLayout->addWidget(bottomBar);

    // The column scrolls on a screen lower than its controls (the whole-video background's
    // parameters and arenas make it long), so that "Process Video" can always be reached.
    auto *columnScroll = new ScrollColumn(controlColumn, 160);
    columnScroll->setObjectName(QStringLiteral("controlScroll"));
    centralLayout->addWidget(columnScroll);
    centralLayout->addWidget(displayColumn, 1);
    setCentralWidget(central);

    feedback = new RunFeedback(this);
    connect(videoView, &VideoView::hintChanged, feedback, &RunFeedback::showHint);

    tracker = new VideoTracker(this);
    connect(tracker, &QThread::finished, this, &MainWindow::StopProcessing);
    connect(&refreshTimer, &QTimer::timeout, this, &MainWindow::UpdateUI);

    // The analysis window is a window of its own; closing the main window still ends the program.
    analysisWindow.setAttribute(Qt::WA_QuitOnClose, false);

    // Names the tests (and any automation) find the controls by.
    const std::pair<QObject *, const char *> names[] = {
        { videoView, "videoView" },
        { &timeLabel, "timeLabel" },
        { &positionSlider, "positionSlider" },
        { backButton, "backButton" },
        { pauseButton, "pauseButton" },
        { forwardButton, "forwardButton" },
        { openButton, "openVideoButton" },
        { setAreaButton, "setTrackingAreaButton" },
        { addZoneButton, "addZoneButton" },
        { addRulerButton, "addRulerButton" },
        { addPointDistButton, "addPointDistButton" },
        { &fishCountSpin, "fishCountSpin" },
        { &framesToAverageSpin, "framesToAverageSpin" },
        { &confidenceThresholdSpin, "confidenceThresholdSpin" },
        { &gaussianVarianceSpin, "gaussianVarianceSpin" },
        { &meanFilterSizeSpin, "meanFilterSizeSpin" },
        { signedDifferenceBox, "signedDifferenceBox" },
        { brightRadio, "brightRadio" },
        { darkRadio, "darkRadio" },
        { &showTrackerViewCheck, "showTrackerViewCheck" },
        { processButton, "processVideoButton" },
        { stopButton, "stopProcessingButton" },
    };
    for (const auto &[control, name] : names)
        control->setObjectName(QLatin1String(name));

    // What each control is for, where the mouse rests on it.
    const std::pair<QWidget *, const char *> tips[] = {
        { openButton, QT_TR_NOOP("Open a video to track (Ctrl+O)") },
        { setAreaButton,
            QT_TR_NOOP("Drag a rectangle over the part of the frame the fish swim in") },
        { addZoneButton,
            QT_TR_NOOP("Name a zone, then drag it; the data file says when a fish is in it") },
        { addRulerButton,
            QT_TR_NOOP("Name a ruler and its real length, then drag it along a known distance") },
        { addPointDistButton,
            QT_TR_NOOP("Name a point and a length, then drag from the point outwards") },
        { &fishCountSpin,
            QT_TR_NOOP("How many fish to track (up to 25 classic, 200 whole-video background)") },
        { &framesToAverageSpin,
            QT_TR_NOOP("Frames in the running average the fish stand out from") },
        { &confidenceThresholdSpin,
            QT_TR_NOOP("How much a fish must stand out to count as found") },
        { &gaussianVarianceSpin,
            QT_TR_NOOP("How strongly the search favours the last position (0: not at all)") },
        { &meanFilterSizeSpin,
            QT_TR_NOOP("Side of the box the difference is averaged over, about a fish's width") },
        { signedDifferenceBox,
            QT_TR_NOOP("Look only for fish brighter, or only darker, than the background") },
        { brightRadio, QT_TR_NOOP("The fish are brighter than the background") },
        { darkRadio, QT_TR_NOOP("The fish are darker than the background") },
        { &showTrackerViewCheck, QT_TR_NOOP("Show what the tracker sees instead of the video") },
        { processButton, QT_TR_NOOP("Track from the frame after the one shown to the end") },
        { stopButton, QT_TR_NOOP("Stop the run and save the records so far") },
        { &positionSlider,
            QT_TR_NOOP("Move through the video (arrow keys: a frame, Page keys: a second)") },
        { backButton, QT_TR_NOOP("While paused: ten records back, to check or correct them") },
        { pauseButton,
            QT_TR_NOOP("Pause the run to review and correct it (Space); again to resume") },
        { forwardButton, QT_TR_NOOP("While paused: ten records on again") },
    };
    for (const auto &[control, tip] : tips)
        control->setToolTip(tr(tip));

    TrackingSetup remembered;
    if (AppSettings::readParameters(&remembered))
        applyParameters(remembered);
    mirrorControls();
    menus = new WindowMenus(this);
    updateVideoControls();

    // Room for the whole control column at start, so nothing in it is squeezed; the screen
    // bounds it.
    const QSize wanted = sizeHint().expandedTo(QSize(900, 640));
    const QRect screen = this->screen() ? this->screen()->availableGeometry() : QRect();
    resize(screen.isValid() ? wanted.boundedTo(screen.size()) : wanted);
    if (!restoreGeometry(AppSettings::geometry()) && screen.isValid())
        move(screen.center() - rect().center());
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (runInProgress && tracker->isRunning()) {
        const int answer = Dialogs::current().choice(this, tr("Processing in progress"),
            tr("A video is being processed. Stop now and save the tracking data of the frames "
               "processed so far, or keep processing?"),
            { tr("Stop and Save"), tr("Keep Running") });
        if (answer != 0) {
            event->ignore();
            return;
        }
        StopProcessing();
    }
    AppSettings::writeParameters(currentSetup());
    AppSettings::setGeometry(saveGeometry());
    QMainWindow::closeEvent(event);
}

TrackingSetup MainWindow::currentSetup() const
{
    TrackingSetup setup;
    setup.overlays = videoView->Overlays();
    setup.hasParameters = true;
    setup.fishCount = fishCountSpin.value();
    setup.framesToAverage = framesToAverageSpin.value();
    setup.confidenceThreshold = float(confidenceThresholdSpin.value());
    setup.gaussianVariance = float(gaussianVarianceSpin.value());
    setup.meanFilterSize = meanFilterSizeSpin.value();
    setup.signedDifference = signedDifferenceBox->isChecked();
    setup.brightObject = brightRadio->isChecked();
    detectionControls->readInto(&setup);
    return setup;
}

void MainWindow::applyParameters(const TrackingSetup &setup)
{
    if (!setup.hasParameters)
        return;
    // The method first: it sets how many fish the count takes.
    detectionControls->apply(setup);
    fishCountSpin.setValue(setup.fishCount);
    framesToAverageSpin.setValue(setup.framesToAverage);
    confidenceThresholdSpin.setValue(setup.confidenceThreshold);
    gaussianVarianceSpin.setValue(setup.gaussianVariance);
    meanFilterSizeSpin.setValue(setup.meanFilterSize);
    signedDifferenceBox->setChecked(setup.signedDifference);
    (setup.brightObject ? brightRadio : darkRadio)->setChecked(true);
}

QString MainWindow::applySetup(const TrackingSetup &setup)
{
    applyParameters(setup);
    // Arenas are tracked by the whole-video background only: loading them chooses it.
    QString note;
    if (!setup.overlays.arenas.isEmpty() && !detectionControls->blobsChosen()) {
        detectionControls->chooseBlobs(true);
        note = tr("its %1 arenas need the whole-video background method, which is now chosen")
                   .arg(setup.overlays.arenas.size());
    }
    // A setup or data file with arenas replaces those drawn; one without keeps them.
    OverlaySet overlays = setup.overlays;
    if (overlays.arenas.isEmpty())
        overlays.arenas = videoView->Arenas();
    videoView->setOverlays(overlays);
    // The marker starts in the middle of the Tracking Area, as after drawing it.
    const QRect area = setup.overlays.areas.value(0);
    videoView->SetFishPosition(int(std::floor((area.left() + area.right()) * 0.5 + 0.5)),
        int(std::floor((area.top() + area.bottom()) * 0.5 + 0.5)));
    videoView->Redraw();
    return note;
}

// The buttons, slider and menu items that need a video on display and no run in progress.
void MainWindow::updateVideoControls()
{
    const bool open = decoder.isOpen();
    for (QWidget *w : QList<QWidget *> {
             setAreaButton, addZoneButton, addRulerButton, addPointDistButton, &positionSlider })
        w->setEnabled(open && !runInProgress);
    processButton->setEnabled(open && !runInProgress);
    if (menus)
        menus->setState(open, runInProgress);
}

void MainWindow::buildControlColumn(QWidget *column)
{
    auto *layout = new QVBoxLayout(column);
    layout->setAlignment(Qt::AlignTop);
    column->setMaximumWidth(200);
    column->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Minimum);

    openButton = iconButton(tr("Open Video File..."), ":/images/video.png");
    setAreaButton = iconButton(tr("Set Tracking Area"), ":/images/fish.png");
    addZoneButton = iconButton(tr("Add New Zone..."), ":/images/add.png");
    addRulerButton = iconButton(tr("Add New Ruler..."), ":/images/ruler.png");
    addPointDistButton = iconButton(tr("Add Point Distance..."), ":/images/pointdist.png");
    connect(openButton, &QPushButton::clicked, this, &MainWindow::LoadVideoFile);
    connect(setAreaButton, &QPushButton::clicked, this, &MainWindow::SetFishArea);
    connect(addZoneButton, &QPushButton::clicked, this, &MainWindow::AddNewArea);
    connect(addRulerButton, &QPushButton::clicked, this, &MainWindow::AddNewRuler);
    connect(addPointDistButton, &QPushButton::clicked, this, &MainWindow::AddNewPointDist);
    layout->addWidget(openButton);
    layout->addWidget(setAreaButton);
    layout->addWidget(addZoneButton);
    layout->addWidget(addRulerButton);
    layout->addWidget(addPointDistButton);

    layout->addWidget(new QLabel(tr("# Fish to Track")));
    fishCountSpin.setRange(1, 25);
    fishCountSpin.setValue(1);
    fishCountSpin.setSingleStep(1);
    layout->addWidget(&fishCountSpin);

    layout->addWidget(new QLabel(tr("Frames to Average")));
    framesToAverageSpin.setRange(1, 1000);
    framesToAverageSpin.setValue(300);
    framesToAverageSpin.setSingleStep(10);
    layout->addWidget(&framesToAverageSpin);

    // The double spin boxes take their value before their range.
    layout->addWidget(new QLabel(tr("Confidence Threshold")));
    confidenceThresholdSpin.setValue(30.0);
    confidenceThresholdSpin.setRange(0.0, 255.0);
    confidenceThresholdSpin.setSingleStep(5.0);
    layout->addWidget(&confidenceThresholdSpin);

    layout->addWidget(new QLabel(tr("Gaussian Variance")));
    gaussianVarianceSpin.setDecimals(3);
    gaussianVarianceSpin.setValue(0.01);
    gaussianVarianceSpin.setRange(0.0, 1.0);
    gaussianVarianceSpin.setSingleStep(0.001);
    layout->addWidget(&gaussianVarianceSpin);

    layout->addWidget(new QLabel(tr("Mean Filter Size (pixels)")));
    meanFilterSizeSpin.setRange(1, 99);
    meanFilterSizeSpin.setValue(3);
    meanFilterSizeSpin.setSingleStep(2);
    layout->addWidget(&meanFilterSizeSpin);

    signedDifferenceBox = new QGroupBox(tr("Signed Image Difference"));
    signedDifferenceBox->setCheckable(true);
    signedDifferenceBox->setChecked(false);
    brightRadio = new QRadioButton(tr("Bright object (+)"));
    darkRadio = new QRadioButton(tr("Dark object (-)"));
    brightRadio->setChecked(true);
    auto *radioLayout = new QVBoxLayout(signedDifferenceBox);
    radioLayout->addWidget(brightRadio);
    radioLayout->addWidget(darkRadio);
    layout->addWidget(signedDifferenceBox);

    // The detection method and the whole-video background's parameters; with it, up to 200
    // fish.
    detectionControls = new DetectionControls(controls);
    connect(detectionControls, &DetectionControls::methodChanged, this,
        [this](bool blobs) { fishCountSpin.setMaximum(blobs ? 200 : 25); });
    layout->addWidget(detectionControls);
    // The arenas, a part of the whole-video background method.
    arenaControls = new ArenaControls(videoView);
    arenaControls->setVisible(false);
    connect(
        detectionControls, &DetectionControls::methodChanged, arenaControls, &QWidget::setVisible);
    layout->addWidget(arenaControls);
    // The scale in use, always in sight: lengths and speeds come in its unit, or in pixels.
    auto *scaleLabel = new QLabel;
    scaleLabel->setObjectName(QStringLiteral("scaleLabel"));
    scaleLabel->setToolTip(tr("The length of a pixel, set by an arena grid's well size or a "
                              "loaded setup; kept in the data file"));
    statusBar()->addPermanentWidget(scaleLabel);
    const auto showScale = [this, scaleLabel] {
        const Scale scale = videoView->scale();
        scaleLabel->setText(
            scale.isSet() ? tr("Scale %1").arg(scale.describe()) : tr("No scale (pixels)"));
    };
    connect(videoView, &VideoView::scaleChanged, scaleLabel, showScale);
    showScale();

    showTrackerViewCheck.setText(tr("Show Tracker View"));
    layout->addWidget(&showTrackerViewCheck);

    processButton = iconButton(tr("Process Video"), ":/images/record.png");
    processButton->setEnabled(false);
    connect(processButton, &QPushButton::clicked, this, &MainWindow::ProcessVideo);
    layout->addWidget(processButton);

    stopButton = iconButton(tr("Stop Processing"), ":/images/stop.png");
    stopButton->setEnabled(false);
    connect(stopButton, &QPushButton::clicked, this, &MainWindow::StopProcessing);
    layout->addWidget(stopButton);

    auto *analyzeButton = iconButton(tr("Analyze Data..."), ":/images/gear.png");
    analyzeButton->setObjectName(QStringLiteral("analyzeDataButton"));
    analyzeButton->setToolTip(tr("Open the analysis window for a tracking data file"));
    connect(analyzeButton, &QPushButton::clicked, this, &MainWindow::ShowAnalysisWindow);
    layout->addWidget(analyzeButton);
}

// Keeps the atomics that the tracker thread reads equal to the controls.
void MainWindow::mirrorControls()
{
    auto storeAll = [this] {
        controls.fishCount = fishCountSpin.value();
        controls.framesToAverage = framesToAverageSpin.value();
        controls.confidenceThreshold = float(confidenceThresholdSpin.value());
        controls.gaussianVariance = float(gaussianVarianceSpin.value());
        controls.meanFilterSize = meanFilterSizeSpin.value();
        controls.signedDifference = signedDifferenceBox->isChecked();
        controls.brightObject = brightRadio->isChecked();
    };
    storeAll();
    connect(&fishCountSpin, &QSpinBox::valueChanged, this, storeAll);
    connect(&framesToAverageSpin, &QSpinBox::valueChanged, this, storeAll);
    connect(&confidenceThresholdSpin, &QDoubleSpinBox::valueChanged, this, storeAll);
    connect(&gaussianVarianceSpin, &QDoubleSpinBox::valueChanged, this, storeAll);
    connect(&meanFilterSizeSpin, &QSpinBox::valueChanged, this, storeAll);
    connect(signedDifferenceBox, &QGroupBox::toggled, this, storeAll);
    connect(brightRadio, &QRadioButton::toggled, this, storeAll);
}

MainWindow::~MainWindow()
{
    // A run still in progress is stopped and allowed to write its file before anything goes.
    if (tracker) {
        disconnect(tracker, nullptr, this, nullptr);
        tracker->requestStop();
        tracker->wait();
        // No window is left to offer another place; at least say that the records are lost.
        const QString error = tracker->lastWriteError();
        if (runInProgress && !error.isEmpty())
            qWarning("The tracking data file could not be written: %s", qPrintable(error));
        delete tracker;
        tracker = nullptr;
    }
}

int MainWindow::fishCount() const
{
    return controls.fishCount;
}
int MainWindow::framesToAverage() const
{
    return controls.framesToAverage;
}
float MainWindow::confidenceThreshold() const
{
    return controls.confidenceThreshold;
}
float MainWindow::gaussianVariance() const
{
    return controls.gaussianVariance;
}
int MainWindow::meanFilterSize() const
{
    return controls.meanFilterSize;
}
bool MainWindow::signedDifference() const
{
    return controls.signedDifference;
}
bool MainWindow::brightObject() const
{
    return controls.brightObject;
}
QString MainWindow::fileName() const
{
    return videoFileName;
}
VideoView *MainWindow::view() const
{
    return videoView;
}
QVideoDecoder *MainWindow::videoDecoder()
{
    return &decoder;
}
VideoTracker *MainWindow::videoTracker() const
{
    return tracker;
}
int MainWindow::reviewIndex() const
{
    return reviewOffset;
}

const TrackingControls &MainWindow::trackingControls() const
{
    return controls;
}
QImage MainWindow::viewImage() const
{
    return videoView->Image();
}
OverlaySet MainWindow::viewOverlays() const
{
    OverlaySet overlays = videoView->Overlays();
    // With the whole-video background, arenas stand for a Tracking Area never drawn (the view
    // starts with a one-pixel one): the run and its file take the rectangle spanning them, as
    // pondwatch-cli does without --area.
    const bool blobs = controls.detectionMethod.load() == int(DetectionKind::Blobs);
    if (blobs && !overlays.arenas.isEmpty() && !overlays.areas.isEmpty()
        && (overlays.areas[0].width() < 2 || overlays.areas[0].height() < 2))
        overlays.areas[0] = ArenaLayout::span(overlays.arenas);
    return overlays;
}
void MainWindow::setShowResults(bool show)
{
    videoView->SetShowResults(show);
}
void MainWindow::setFishFound(bool found)
{
    videoView->SetFishFound(found);
}

void MainWindow::ShowAnalysisWindow()
{
    analysisWindow.setVisible(true);
}
