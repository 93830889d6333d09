#pragma once
// A window showing where the fish of a tracking data file went, over a frame of its video:
// their trajectories or the occupancy heat map (bin size and fish chosen here), with
// "Save Image..." for PNG or SVG. Opened from the analysis window, and by the main window after
// a run through open(). GUI thread only; TrackPicture draws.

#include "analysis/FishTracks.h"
#include "analysis/TrackPicture.h"
#include "analysis/ui/PictureView.h"

#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QWidget>

class TrackPictureWindow : public QWidget
{
    Q_OBJECT

public:
    explicit TrackPictureWindow(QWidget *parent = nullptr);

    // Opens a window (deleted when closed) for `dataPath`; an empty `videoPath` means the video
    // the data file was written for, beside it.
    static TrackPictureWindow *open(const QString &dataPath, const QString &videoPath,
        TrackPicture::Kind kind, QWidget *parent = nullptr);

    // Reads both files and draws; a failure shows its reason in the window.
    void setFiles(const QString &dataPath, const QString &videoPath);
    void setKind(TrackPicture::Kind kind);
    void setBin(int pixels);

    const QImage &picture() const { return drawn; }
    QString problem() const { return statusLabel.text(); }

private:
    void load();
    void redraw();
    void saveImage();
    TrackPicture::Kind kind() const;

    QLineEdit dataEdit;
    QLineEdit videoEdit;
    QComboBox kindCombo;
    QSpinBox binSpin;
    QComboBox fishCombo;
    QPushButton saveButton;
    QLabel statusLabel;
    PictureView pictureView;

    FishTracks tracks;
    QImage frame;
    QImage drawn;
    bool loaded = false;
};
