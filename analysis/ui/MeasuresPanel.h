#pragma once
// The analysis window's measures per fish (per well) and time bin: the table
// `pondwatch-cli measures` writes, cell for cell, with "Export CSV..." and the plate figure
// of one measure in a window of its own with "Save Image...". Lengths are in the file's unit
// when it has a scale, and the panel says when they are in pixels. GUI thread only;
// PlateMeasures and PlateFigure compute and draw.

#include "analysis/PlateMeasures.h"
#include "analysis/TrackTable.h"

#include <QByteArray>
#include <QWidget>

#include <memory>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QTableWidget;

class MeasuresPanel : public QWidget
{
    Q_OBJECT

public:
    explicit MeasuresPanel(QWidget *parent = nullptr);

    // The data file the next "Measure" reads; the table of an earlier file goes.
    void setDataFile(const QString &path);
    // Reads the file and fills the table; false with the reason shown in the panel.
    bool measure();
    // The table as CSV, as Export CSV writes it (empty before a measure).
    QByteArray csv() const { return shownCsv; }
    // The plate figure of `measureName` over the table's rows (null before a measure).
    QImage plateFigure(const QString &measureName) const;

private:
    void exportCsv();
    void showPlateFigure();
    void fillTable();

    QString dataFile;
    // Shared with the figure windows, which draw it again when saving.
    std::shared_ptr<const TrackTable> table;
    QVector<MeasureRow> rows;
    QByteArray shownCsv;

    QDoubleSpinBox *binSpin;
    QPushButton *measureButton;
    QPushButton *exportButton;
    QLabel *notesLabel;
    QTableWidget *tableView;
    QComboBox *figureCombo;
    QPushButton *figureButton;
};
