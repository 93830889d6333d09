#pragma once
// The main window: controls, the video view, the decoder, the tracker thread and the
// analysis window. It is the TrackingHost of its runs and the ViewHost of its video view.
// GUI thread, except the read accessors and the TrackingHost functions,
// which the tracker thread calls during a run (they read atomics and locked copies).

#include "analysis/ui/AnalysisWindow.h"
#include "formats/SetupFile.h"
#include "tools/AnnotatedExport.h"
#include "tracking/TrackingControls.h"
#include "tracking/TrackingHost.h"
#include "video/QVideoDecoder.h"
#include "view/ui/ViewHost.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QMainWindow>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>

class ArenaControls;
class DetectionControls;
class QGroupBox;
class QPushButton;
class QRadioButton;
class RunFeedback;
class VideoTracker;
class VideoView;
class VideoViewport;
class WindowMenus;

class MainWindow : public QMainWindow, public TrackingHost, public ViewHost
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Read accessors; safe on the tracker thread (atomics mirrored from the controls).
    int fishCount() const;
    int framesToAverage() const;
    float confidenceThreshold() const;
    float gaussianVariance() const;
    int meanFilterSize() const override;
    bool signedDifference() const;
    bool brightObject() const;
    QString fileName() const override;
    VideoView *view() const;
    QVideoDecoder *videoDecoder() override;
    VideoTracker *videoTracker() const override;
    int reviewIndex() const override;

    // The time line under the picture.
    void showTime(int currentMs, int lengthMs);
    static QString formatTime(int ms);

    // Manual correction while paused: rewrites the records around the one shown.
    void correctPosition(int x, int y) override;

    // Opens a video without asking (the command line, Open Recent); false when it failed.
    bool openVideo(const QString &path);
    bool isProcessing() const { return runInProgress; }
    // Moves through the video while no run is on (the arrow and page keys).
    bool stepFrames(int frames);
    bool stepSeconds(int seconds);
    // Shows the picture whose time is `ms` (as a data file's row gives it; the first picture
    // after it when none has that time) with the markers set in the view: the picture, slider
    // and time line, which names frame `index` when the file knows the picture's index (-1: the
    // index from the time). False, with the picture unchanged, during a run or when there is
    // none.
    bool showPictureAt(qint64 ms, qint64 index = -1);
    // The video's frame index at a time, from its frame rate (the time line and the slider).
    qint64 frameIndexAt(qint64 ms) const;

    // The overlays and parameters, for Save Setup; applySetup replaces the overlays (undoable)
    // and, when the setup has them, the parameters (the method too). Arenas choose the
    // whole-video background method; the returned note then says so (empty otherwise).
    TrackingSetup currentSetup() const;
    QString applySetup(const TrackingSetup &setup);
    void applyParameters(const TrackingSetup &setup);

    VideoViewport *videoViewport() const { return viewport; }
    RunFeedback *runFeedback() const { return feedback; }
    WindowMenus *windowMenus() const { return menus; }
    QCheckBox *trackerViewCheckBox() { return &showTrackerViewCheck; }

    // Asks for a data file and its video and writes the annotated video in `format`; the
    // ExportVideo slot is the MPEG one. MP4 tells where it went and what was padded.
    void exportAnnotatedVideo(AnnotatedExport::Format format);
    // An export drawn as the view draws: its overlays, marker and marker size.
    AnnotatedExport prepareExport(AnnotatedExport::Format format) const;
    // Tells how an export ended (error box, status bar, the MP4's notice) and leaves the
    // view with the last row's marker.
    void exportEnded(const AnnotatedExport::Result &result, const QString &videoName,
        const QString &output, AnnotatedExport::Format format);

    // TrackingHost
    const TrackingControls &trackingControls() const override;
    QImage viewImage() const override;
    OverlaySet viewOverlays() const override;
    void setShowResults(bool show) override;
    void setFishFound(bool found) override;

public Q_SLOTS:
    void LoadVideoFile();
    void SeekInVideo();
    void ProcessVideo();
    void StopProcessing();
    void ExportVideo();
    void SetFishArea();
    void AddNewArea();
    void AddNewRuler();
    void AddNewPointDist();
    void ShowAnalysisWindow();
    void DoDataProcessing();
    void GFABlender();
    void UpdateUI();
    void EditBack();
    void EditPauseResume();
    void EditForward();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QString baseTitle;
    VideoView *videoView = nullptr;
    VideoViewport *viewport = nullptr;
    RunFeedback *feedback = nullptr;
    WindowMenus *menus = nullptr;
    QLabel timeLabel;
    QLabel *frameLabel = nullptr;
    double framePeriodMs = 0.0; // of the open video; 0 when unknown
    QVideoDecoder decoder;
    QString videoFileName; // GUI thread writes only while no run is in progress
    QSpinBox framesToAverageSpin;
    QPushButton *processButton = nullptr;
    QPushButton *stopButton = nullptr;
    QPushButton *openButton = nullptr;
    QPushButton *setAreaButton = nullptr;
    QPushButton *addZoneButton = nullptr;
    QPushButton *addRulerButton = nullptr;
    QPushButton *addPointDistButton = nullptr;
    DetectionControls *detectionControls = nullptr;
    ArenaControls *arenaControls = nullptr;
    QGroupBox *signedDifferenceBox = nullptr;
    QRadioButton *brightRadio = nullptr;
    QRadioButton *darkRadio = nullptr;
    QSlider positionSlider;
    QPushButton *backButton = nullptr;
    QPushButton *pauseButton = nullptr;
    QPushButton *forwardButton = nullptr;
    qint64 pausedFrameNumber = 0;
    int reviewOffset = 0;
    // From "Process Video" until the StopProcessing that ends the run (GUI thread only): the
    // outcome of a run's file write is looked at once, not again on the second StopProcessing.
    bool runInProgress = false;
    QDoubleSpinBox confidenceThresholdSpin;
    QDoubleSpinBox gaussianVarianceSpin;
    QSpinBox meanFilterSizeSpin;
    QCheckBox showTrackerViewCheck;
    QSpinBox fishCountSpin;
    VideoTracker *tracker = nullptr; // owned; deleted after the thread has ended
    QTimer refreshTimer;
    AnalysisWindow analysisWindow;

    // Mirrors of the parameter controls for the tracker thread (atomics inside).
    TrackingControls controls;

    void buildControlColumn(QWidget *column);
    void mirrorControls();
    void setRunControlsEnabled(bool idle);
    void updateVideoControls();
    bool checkBeforeRun();
    bool seekToIndex(qint64 index);
    // The decoder's current picture in the view, the slider and the time label.
    void showDecodedPicture();
    void fitWindowToVideo();
    bool showReviewedRecord();
    void correctNearestFish(int x, int y);
    void saveAfterFailedWrite();
    QString endedEarlyWarning() const;
};
