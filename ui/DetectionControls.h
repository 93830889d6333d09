#pragma once
// The "Detection" part of the control column: the choice between the classic method and the
// whole-video background, the latter's parameters (shown only when it is chosen), a progress
// bar for its pre-pass and the background picture (view, save, load). Every change is stored
// at once in the TrackingControls atomics the tracker thread reads when a run starts, so the
// window locks the choices for the length of a run. GUI thread only.

#include <QWidget>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTimer;
struct TrackingControls;
struct TrackingSetup;

class DetectionControls : public QWidget
{
    Q_OBJECT

public:
    explicit DetectionControls(TrackingControls &trackingControls, QWidget *parent = nullptr);

    bool blobsChosen() const;
    void chooseBlobs(bool blobs);
    // The method and the whole-video background's parameters, as settings and setups keep
    // them.
    void readInto(TrackingSetup *setup) const;
    void apply(const TrackingSetup &setup);
    // Locks the method and its parameters (a run read them when it started); the progress
    // bar and the last background's View and Save stay usable.
    void setLocked(bool locked);

Q_SIGNALS:
    // The method chosen changed (the fish count's range depends on it).
    void methodChanged(bool blobs);

private:
    void store();
    void showProgress();
    void viewBackground();
    void saveBackground();
    void loadBackground();

    TrackingControls &controls;
    QComboBox *method;
    QWidget *blobPanel;
    QSpinBox *backgroundFrames;
    QComboBox *backgroundMode; // a BackgroundMode
    QCheckBox *automaticThreshold;
    QSpinBox *threshold;
    QSpinBox *minArea;
    QSpinBox *maxArea;
    QDoubleSpinBox *maxSpeed;
    QLabel *backgroundSource;
    QPushButton *loadButton;
    QPushButton *forgetBackground;
    QProgressBar *progress;
    QTimer *progressTimer;
};
