#include "analysis/ui/TrackPictureWindow.h"

#include "analysis/PictureFile.h"
#include "analysis/ui/OnScreenPlacement.h"
#include "ui/Dialogs.h"

#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

TrackPictureWindow::TrackPictureWindow(QWidget *parent)
    : QWidget(parent, Qt::Window)
    , saveButton(tr("Save Image..."))
{
    setWindowTitle(tr("Trajectory and Heat Map"));
    setObjectName(QStringLiteral("trackPictureWindow"));
    dataEdit.setObjectName(QStringLiteral("trackDataFileEdit"));
    videoEdit.setObjectName(QStringLiteral("trackVideoEdit"));
    kindCombo.setObjectName(QStringLiteral("trackKindCombo"));
    binSpin.setObjectName(QStringLiteral("heatBinSpin"));
    fishCombo.setObjectName(QStringLiteral("trackFishCombo"));
    saveButton.setObjectName(QStringLiteral("saveTrackImageButton"));

    kindCombo.addItem(tr("Trajectory"));
    kindCombo.addItem(tr("Heat map"));
    binSpin.setRange(1, 500);
    binSpin.setValue(10);
    binSpin.setSuffix(tr(" px"));
    statusLabel.setWordWrap(true);
    statusLabel.setStyleSheet(QStringLiteral("color: #a00000"));
    pictureView.setObjectName(QStringLiteral("trackPictureView"));

    auto *form = new QFormLayout;
    form->addRow(tr("Tracking data file:"), &dataEdit);
    form->addRow(tr("Video:"), &videoEdit);
    auto *options = new QHBoxLayout;
    options->addWidget(&kindCombo);
    options->addWidget(new QLabel(tr("Heat map bin:")));
    options->addWidget(&binSpin);
    options->addWidget(new QLabel(tr("Fish:")));
    options->addWidget(&fishCombo);
    options->addStretch();
    options->addWidget(&saveButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(options);
    layout->addWidget(&statusLabel);
    layout->addWidget(&pictureView, 1);
    OnScreenPlacement::install(this);

    connect(&dataEdit, &QLineEdit::returnPressed, this, [this] { load(); });
    connect(&videoEdit, &QLineEdit::returnPressed, this, [this] { load(); });
    connect(&kindCombo, &QComboBox::currentIndexChanged, this, [this] { redraw(); });
    connect(&binSpin, &QSpinBox::valueChanged, this, [this] { redraw(); });
    connect(&fishCombo, &QComboBox::currentIndexChanged, this, [this] { redraw(); });
    connect(&saveButton, &QPushButton::clicked, this, [this] { saveImage(); });
}

TrackPictureWindow *TrackPictureWindow::open(
    const QString &dataPath, const QString &videoPath, TrackPicture::Kind kind, QWidget *parent)
{
    auto *window = new TrackPictureWindow(parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setKind(kind);
    window->setFiles(dataPath, videoPath);
    window->resize(window->sizeHint());
    window->show();
    return window;
}

void TrackPictureWindow::setFiles(const QString &dataPath, const QString &videoPath)
{
    dataEdit.setText(dataPath);
    videoEdit.setText(videoPath.isEmpty() ? TrackPicture::videoPathFor(dataPath) : videoPath);
    load();
}

void TrackPictureWindow::setKind(TrackPicture::Kind newKind)
{
    kindCombo.setCurrentIndex(newKind == TrackPicture::Kind::Trajectory ? 0 : 1);
}

void TrackPictureWindow::setBin(int pixels)
{
    binSpin.setValue(pixels);
}

TrackPicture::Kind TrackPictureWindow::kind() const
{
    return kindCombo.currentIndex() == 0 ? TrackPicture::Kind::Trajectory
                                         : TrackPicture::Kind::HeatMap;
}

void TrackPictureWindow::load()
{
    loaded = false;
    drawn = QImage();
    pictureView.setPicture(QImage());
    QString error;
    if (!tracks.read(dataEdit.text(), &error)) {
        statusLabel.setText(error);
        return;
    }
    frame = TrackPicture::firstFrame(videoEdit.text(), &error);
    if (frame.isNull()) {
        statusLabel.setText(error + tr(" (the picture needs a frame of the tracked video)"));
        return;
    }
    statusLabel.clear();
    loaded = true;
    {
        const QSignalBlocker block(fishCombo);
        fishCombo.clear();
        fishCombo.addItem(tr("All fish"), -1);
        for (int f = 0; f < tracks.fish.size(); ++f)
            fishCombo.addItem(tr("Fish %1").arg(f + 1), f);
    }
    redraw();
}

void TrackPictureWindow::redraw()
{
    const bool heat = kind() == TrackPicture::Kind::HeatMap;
    binSpin.setEnabled(heat);
    saveButton.setEnabled(loaded);
    if (!loaded)
        return;
    drawn = QImage(TrackPicture::pictureSize(frame.size()), QImage::Format_RGB32);
    drawn.fill(Qt::black);
    {
        QPainter painter(&drawn);
        TrackPicture::draw(
            painter, kind(), frame, tracks, binSpin.value(), fishCombo.currentData().toInt());
    }
    pictureView.setPicture(drawn);
}

void TrackPictureWindow::saveImage()
{
    if (!loaded)
        return;
    const QString suggested = dataEdit.text()
        + (kind() == TrackPicture::Kind::Trajectory ? QStringLiteral(".trajectory.png")
                                                    : QStringLiteral(".heatmap.png"));
    const QString path = Dialogs::current().saveFileName(
        this, tr("Save Image"), suggested, tr("PNG image (*.png);;SVG drawing (*.svg)"));
    if (path.isEmpty())
        return;
    QString error;
    const TrackPicture::Kind k = kind();
    const int bin = binSpin.value();
    const int fish = fishCombo.currentData().toInt();
    if (!PictureFile::save(
            path, drawn.size(),
            [&](QPainter &painter) { TrackPicture::draw(painter, k, frame, tracks, bin, fish); },
            &error))
        Dialogs::current().critical(this, tr("Can't save the image."), error);
}
