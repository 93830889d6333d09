#pragma once
// The main window: controls, the video view, the decoder, the tracker thread and the
// analysis window. It is the TrackingHost of its runs and the ViewHost of its video view.
// GUI thread, except the read accessors and the TrackingHost functions,
// which the tracker thread calls during a run (they read atomics and locked copies).

#include "analysis/ui/AnalysisWindow.h"
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

class QGroupBox;
class QPushButton;
class QRadioButton;
class VideoTracker;
class VideoView;

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

private:
    QString baseTitle;
    VideoView *videoView = nullptr;
    QLabel timeLabel;
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
    bool showReviewedRecord();
    void saveAfterFailedWrite();
};
