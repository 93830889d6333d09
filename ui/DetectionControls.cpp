#include "ui/DetectionControls.h"

#include "formats/SetupFile.h"
#include "tracking/TrackingControls.h"
#include "ui/Dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

DetectionControls::DetectionControls(TrackingControls &trackingControls, QWidget *parent)
    : QWidget(parent)
    , controls(trackingControls)
{
    setObjectName(QStringLiteral("detectionControls"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(tr("Detection")));
    method = new QComboBox;
    method->setObjectName(QStringLiteral("detectionMethodCombo"));
    method->addItem(tr("Classic (running average)"));
    method->addItem(tr("Whole-video background"));
    method->setToolTip(tr("Classic: one to 25 fish against a running average. Whole-video "
                          "background: many fish and arenas, against the median of the video"));
    layout->addWidget(method);

    // Label beside field, so the column keeps its height.
    blobPanel = new QWidget;
    blobPanel->setObjectName(QStringLiteral("blobPanel"));
    auto *panel = new QVBoxLayout(blobPanel);
    panel->setContentsMargins(0, 0, 0, 0);
    auto *form = new QFormLayout;
    form->setContentsMargins(0, 0, 0, 0);
    panel->addLayout(form);
    const BlobControls &b = controls.blobs;

    backgroundFrames = new QSpinBox;
    backgroundFrames->setObjectName(QStringLiteral("backgroundFramesSpin"));
    backgroundFrames->setRange(1, 1000);
    backgroundFrames->setValue(b.backgroundFrames);
    backgroundFrames->setToolTip(tr("Frames spread over the video the background is made of"));
    form->addRow(tr("Frames"), backgroundFrames);
    // In BackgroundMode's order.
    backgroundMode = new QComboBox;
    backgroundMode->setObjectName(QStringLiteral("backgroundModeCombo"));
    backgroundMode->addItems(
        { tr("Automatic"), tr("Median"), tr("Extreme (percentile)"), tr("Masked median") });
    backgroundMode->setCurrentIndex(std::clamp(b.backgroundMode.load(), 0, 3));
    backgroundMode->setToolTip(
        tr("Median of the frames; a high (dark animals) or low (bright animals) percentile; the "
           "median of the frames without an animal; or, per arena, the median unless an animal "
           "rests in it"));
    form->addRow(tr("Background"), backgroundMode);

    automaticThreshold = new QCheckBox(tr("Automatic Threshold"));
    automaticThreshold->setObjectName(QStringLiteral("automaticThresholdCheck"));
    automaticThreshold->setChecked(b.threshold < 0);
    automaticThreshold->setToolTip(tr("Choose the threshold from the sampled frames"));
    form->addRow(automaticThreshold);
    threshold = new QSpinBox;
    threshold->setObjectName(QStringLiteral("blobThresholdSpin"));
    threshold->setRange(0, 255);
    threshold->setValue(b.threshold < 0 ? 25 : int(b.threshold));
    threshold->setEnabled(b.threshold >= 0);
    threshold->setToolTip(tr("A pixel is foreground when its difference is above this"));
    form->addRow(tr("Threshold"), threshold);

    // 0 in these means "from the sampled frames".
    auto areaSpin = [form](const QString &label, int value) {
        auto *spin = new QSpinBox;
        spin->setRange(0, 100000000);
        spin->setSpecialValueText(tr("Auto"));
        spin->setValue(value);
        spin->setToolTip(tr("Blob area in pixels; Auto: from the sampled frames"));
        form->addRow(label, spin);
        return spin;
    };
    minArea = areaSpin(tr("Min area"), b.minArea);
    minArea->setObjectName(QStringLiteral("minAreaSpin"));
    maxArea = areaSpin(tr("Max area"), b.maxArea);
    maxArea->setObjectName(QStringLiteral("maxAreaSpin"));
    maxSpeed = new QDoubleSpinBox;
    maxSpeed->setObjectName(QStringLiteral("maxSpeedSpin"));
    maxSpeed->setDecimals(1);
    maxSpeed->setRange(0.0, 100000.0);
    maxSpeed->setSpecialValueText(tr("Auto"));
    maxSpeed->setValue(b.maxSpeed);
    maxSpeed->setToolTip(tr("Pixels a fish may move per frame; Auto: from its body length"));
    form->addRow(tr("Max speed"), maxSpeed);

    backgroundSource = new QLabel(tr("Background: from the video"));
    backgroundSource->setWordWrap(true);
    panel->addWidget(backgroundSource);
    auto *buttons = new QHBoxLayout;
    auto *view = new QPushButton(tr("View"));
    auto *save = new QPushButton(tr("Save..."));
    loadButton = new QPushButton(tr("Load..."));
    view->setObjectName(QStringLiteral("viewBackgroundButton"));
    save->setObjectName(QStringLiteral("saveBackgroundButton"));
    loadButton->setObjectName(QStringLiteral("loadBackgroundButton"));
    view->setToolTip(tr("Show the background of the last run"));
    save->setToolTip(tr("Save the background of the last run as a PNG picture"));
    loadButton->setToolTip(tr("Use a picture of the empty tank as the background"));
    buttons->addWidget(view);
    buttons->addWidget(save);
    buttons->addWidget(loadButton);
    panel->addLayout(buttons);
    forgetBackground = new QPushButton(tr("Background from the Video"));
    forgetBackground->setObjectName(QStringLiteral("backgroundFromVideoButton"));
    forgetBackground->setVisible(false);
    forgetBackground->setToolTip(tr("Forget the loaded picture and make the background from "
                                    "the video again"));
    panel->addWidget(forgetBackground);

    progress = new QProgressBar;
    progress->setObjectName(QStringLiteral("backgroundProgress"));
    progress->setFormat(tr("Background %v/%m"));
    progress->setVisible(false);
    panel->addWidget(progress);
    layout->addWidget(blobPanel);
    blobPanel->setVisible(false);

    connect(method, &QComboBox::currentIndexChanged, this, [this](int index) {
        blobPanel->setVisible(index == 1);
        store();
        emit methodChanged(index == 1);
    });
    connect(backgroundFrames, &QSpinBox::valueChanged, this, [this] { store(); });
    connect(backgroundMode, &QComboBox::currentIndexChanged, this, [this] { store(); });
    connect(automaticThreshold, &QCheckBox::toggled, this, [this](bool automatic) {
        threshold->setEnabled(!automatic);
        store();
    });
    connect(threshold, &QSpinBox::valueChanged, this, [this] { store(); });
    connect(minArea, &QSpinBox::valueChanged, this, [this] { store(); });
    connect(maxArea, &QSpinBox::valueChanged, this, [this] { store(); });
    connect(maxSpeed, &QDoubleSpinBox::valueChanged, this, [this] { store(); });
    connect(view, &QPushButton::clicked, this, [this] { viewBackground(); });
    connect(save, &QPushButton::clicked, this, [this] { saveBackground(); });
    connect(loadButton, &QPushButton::clicked, this, [this] { loadBackground(); });
    connect(forgetBackground, &QPushButton::clicked, this, [this] {
        controls.blobs.setChosenBackground(QImage());
        backgroundSource->setText(tr("Background: from the video"));
        forgetBackground->setVisible(false);
    });

    // The tracker thread counts the frames of its pre-pass; the bar polls the count.
    progressTimer = new QTimer(this);
    progressTimer->setInterval(100);
    connect(progressTimer, &QTimer::timeout, this, [this] { showProgress(); });
    progressTimer->start();
    store();
}

bool DetectionControls::blobsChosen() const
{
    return method->currentIndex() == 1;
}

void DetectionControls::chooseBlobs(bool blobs)
{
    method->setCurrentIndex(blobs ? 1 : 0);
}

void DetectionControls::readInto(TrackingSetup *setup) const
{
    setup->wholeVideoBackground = blobsChosen();
    setup->backgroundFrames = backgroundFrames->value();
    setup->backgroundMode = backgroundMode->currentIndex();
    setup->blobThreshold = automaticThreshold->isChecked() ? -1.0f : float(threshold->value());
    setup->minArea = minArea->value();
    setup->maxArea = maxArea->value();
    setup->maxSpeed = float(maxSpeed->value());
}

void DetectionControls::apply(const TrackingSetup &setup)
{
    chooseBlobs(setup.wholeVideoBackground);
    backgroundFrames->setValue(setup.backgroundFrames);
    backgroundMode->setCurrentIndex(
        std::clamp(setup.backgroundMode, 0, backgroundMode->count() - 1));
    automaticThreshold->setChecked(setup.blobThreshold < 0);
    if (setup.blobThreshold >= 0)
        threshold->setValue(int(setup.blobThreshold));
    minArea->setValue(setup.minArea);
    maxArea->setValue(setup.maxArea);
    maxSpeed->setValue(setup.maxSpeed);
}

void DetectionControls::setLocked(bool locked)
{
    for (QWidget *w : QList<QWidget *> { method, backgroundFrames, backgroundMode,
             automaticThreshold, minArea, maxArea, maxSpeed, loadButton, forgetBackground })
        w->setEnabled(!locked);
    threshold->setEnabled(!locked && !automaticThreshold->isChecked());
}

void DetectionControls::store()
{
    controls.detectionMethod = int(blobsChosen() ? DetectionKind::Blobs : DetectionKind::Classic);
    BlobControls &b = controls.blobs;
    b.backgroundFrames = backgroundFrames->value();
    b.backgroundMode = backgroundMode->currentIndex();
    b.threshold = automaticThreshold->isChecked() ? -1.0f : float(threshold->value());
    b.minArea = minArea->value();
    b.maxArea = maxArea->value();
    b.maxSpeed = float(maxSpeed->value());
}

void DetectionControls::showProgress()
{
    const int wanted = controls.blobs.backgroundFramesWanted;
    const int read = controls.blobs.backgroundFramesRead;
    const bool running = wanted > 0 && read < wanted;
    if (running) {
        progress->setRange(0, wanted);
        progress->setValue(read);
    }
    progress->setVisible(running);
}

void DetectionControls::viewBackground()
{
    const QImage background = controls.blobs.lastBackground();
    if (background.isNull()) {
        Dialogs::current().information(
            this, tr("Background"), tr("No background yet: it is made when a run starts."));
        return;
    }
    auto *label = new QLabel;
    label->setAttribute(Qt::WA_DeleteOnClose);
    label->setWindowTitle(tr("Background"));
    label->setPixmap(QPixmap::fromImage(background));
    label->show();
}

void DetectionControls::saveBackground()
{
    const QImage background = controls.blobs.lastBackground();
    if (background.isNull()) {
        Dialogs::current().information(
            this, tr("Background"), tr("No background yet: it is made when a run starts."));
        return;
    }
    const QString path = Dialogs::current().saveFileName(
        this, tr("Save Background"), QString(), tr("PNG picture (*.png)"));
    if (path.isEmpty())
        return;
    if (!background.save(path, "PNG"))
        Dialogs::current().critical(
            this, tr("Background"), tr("Cannot write the background to %1.").arg(path));
}

void DetectionControls::loadBackground()
{
    const QString path = Dialogs::current().openFileName(
        this, tr("Load Background"), QString(), tr("Pictures (*.png *.jpg *.bmp *.tif)"));
    if (path.isEmpty())
        return;
    QImageReader reader(path);
    const QImage image = reader.read();
    if (image.isNull()) {
        Dialogs::current().critical(
            this, tr("Background"), tr("Cannot read %1: %2").arg(path, reader.errorString()));
        return;
    }
    controls.blobs.setChosenBackground(image, path);
    backgroundSource->setText(tr("Background: %1").arg(QFileInfo(path).fileName()));
    forgetBackground->setVisible(true);
}
