#pragma once
// "Add Arena Grid...": one dialog for the plate to lay out: rows, columns, round or square
// wells, fish per well and, when known, the wells' diameter (a square well's width) in mm,
// which sets the scale. Says how many wells and fish that makes, and refuses a grid that would
// hold more fish than can be tracked. GUI thread only.

#include "model/Arena.h"

#include <QDialog>

class QComboBox;
class QDialogButtonBox;
class QDoubleSpinBox;
class QLabel;
class QSpinBox;

struct GridChoice
{
    int rows = 6;
    int columns = 8;
    Arena::Shape shape = Arena::Shape::Ellipse;
    int fishPerWell = 1;
    double wellMm = 0.0; // 0: not given, no scale from the wells
};

class ArenaGridDialog : public QDialog
{
    Q_OBJECT

public:
    // `fishElsewhere`: the fish the arenas already drawn hold, counted against the limit.
    ArenaGridDialog(const GridChoice &start, qint64 fishElsewhere, QWidget *parent = nullptr);

    GridChoice choice() const;

private:
    void showTotal();

    qint64 otherFish;
    QSpinBox *rowsSpin;
    QSpinBox *columnsSpin;
    QComboBox *shapeCombo;
    QSpinBox *fishSpin;
    QDoubleSpinBox *wellSpin;
    QLabel *totalLabel;
    QDialogButtonBox *buttons;
};
