#include "ui/ArenaGridDialog.h"

#include "model/ArenaLayout.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

ArenaGridDialog::ArenaGridDialog(const GridChoice &start, qint64 fishElsewhere, QWidget *parent)
    : QDialog(parent)
    , otherFish(fishElsewhere)
    , rowsSpin(new QSpinBox)
    , columnsSpin(new QSpinBox)
    , shapeCombo(new QComboBox)
    , fishSpin(new QSpinBox)
    , wellSpin(new QDoubleSpinBox)
    , totalLabel(new QLabel)
    , buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel))
{
    setObjectName(QStringLiteral("arenaGridDialog"));
    setWindowTitle(tr("Add Arena Grid"));
    rowsSpin->setObjectName(QStringLiteral("gridRowsSpin"));
    columnsSpin->setObjectName(QStringLiteral("gridColumnsSpin"));
    shapeCombo->setObjectName(QStringLiteral("gridShapeCombo"));
    fishSpin->setObjectName(QStringLiteral("gridFishSpin"));
    wellSpin->setObjectName(QStringLiteral("gridWellSpin"));
    totalLabel->setObjectName(QStringLiteral("gridTotalLabel"));

    rowsSpin->setRange(1, 50);
    rowsSpin->setValue(start.rows);
    rowsSpin->setToolTip(tr("Rows of wells, lettered A, B, ... from the top"));
    columnsSpin->setRange(1, 50);
    columnsSpin->setValue(start.columns);
    columnsSpin->setToolTip(tr("Wells in each row, numbered from the left"));
    shapeCombo->addItems({ tr("Round"), tr("Square") });
    shapeCombo->setCurrentIndex(start.shape == Arena::Shape::Ellipse ? 0 : 1);
    shapeCombo->setToolTip(tr("Round wells are the circle centred in each cell"));
    fishSpin->setRange(1, ArenaLayout::maxFish);
    fishSpin->setValue(start.fishPerWell);
    fishSpin->setToolTip(tr("How many fish swim in each well"));
    wellSpin->setRange(0.0, 1000.0);
    wellSpin->setDecimals(2);
    wellSpin->setSuffix(tr(" mm"));
    wellSpin->setSpecialValueText(tr("not given (lengths in pixels)"));
    wellSpin->setValue(start.wellMm);
    wellSpin->setToolTip(tr("The inner diameter of a round well (the width of a square one): "
                            "sets the scale, so lengths and speeds come out in mm"));

    auto *form = new QFormLayout;
    form->addRow(tr("&Rows:"), rowsSpin);
    form->addRow(tr("&Columns:"), columnsSpin);
    form->addRow(tr("&Wells:"), shapeCombo);
    form->addRow(tr("&Fish per well:"), fishSpin);
    form->addRow(tr("Well &diameter:"), wellSpin);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    totalLabel->setWordWrap(true);
    layout->addWidget(totalLabel);
    layout->addWidget(new QLabel(
        tr("Then drag from the outer edge of the top-left well to that of the bottom-right one.")));
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    for (QSpinBox *spin : { rowsSpin, columnsSpin, fishSpin })
        connect(spin, &QSpinBox::valueChanged, this, [this] { showTotal(); });
    showTotal();
}

GridChoice ArenaGridDialog::choice() const
{
    GridChoice c;
    c.rows = rowsSpin->value();
    c.columns = columnsSpin->value();
    c.shape = shapeCombo->currentIndex() == 0 ? Arena::Shape::Ellipse : Arena::Shape::Rectangle;
    c.fishPerWell = fishSpin->value();
    c.wellMm = wellSpin->value();
    return c;
}

void ArenaGridDialog::showTotal()
{
    const qint64 wells = qint64(rowsSpin->value()) * columnsSpin->value();
    const qint64 fish = wells * fishSpin->value();
    const bool fits = otherFish + fish <= ArenaLayout::maxFish;
    QString text = tr("%1 wells, %2 fish.").arg(wells).arg(fish);
    if (!fits)
        text += QLatin1Char(' ')
            + tr("With the %1 fish of the arenas drawn, that is more than the %2 that can be "
                 "tracked.")
                  .arg(otherFish)
                  .arg(ArenaLayout::maxFish);
    totalLabel->setText(text);
    totalLabel->setStyleSheet(fits ? QString() : QStringLiteral("color: #a00000"));
    buttons->button(QDialogButtonBox::Ok)->setEnabled(fits);
}
