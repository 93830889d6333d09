#include "analysis/ui/MeasuresPanel.h"

#include "analysis/PictureFile.h"
#include "analysis/PlateFigure.h"
#include "analysis/ui/PictureView.h"
#include "files/AtomicFile.h"
#include "ui/Dialogs.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// One line of the CSV the table writes, split into its cells (a quoted cell may hold commas
// and doubled quotes).
QStringList csvCells(const QString &line)
{
    QStringList cells;
    QString cell;
    bool quoted = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < line.size() && line[i + 1] == QLatin1Char('"'))
                cell += c, ++i;
            else if (c == QLatin1Char('"'))
                quoted = false;
            else
                cell += c;
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char(',')) {
            cells << cell;
            cell.clear();
        } else {
            cell += c;
        }
    }
    cells << cell;
    return cells;
}

// A window with the plate figure and "Save Image..." (PNG or SVG); deleted when closed.
void openFigureWindow(QWidget *parent, const QImage &figure, const QString &defaultPath,
    const std::function<void(QPainter &)> &draw)
{
    auto *window = new QWidget(parent, Qt::Window);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setObjectName(QStringLiteral("plateFigureWindow"));
    window->setWindowTitle(QObject::tr("Plate Figure"));
    auto *view = new PictureView;
    view->setPicture(figure);
    auto *save = new QPushButton(QObject::tr("Save Image..."));
    save->setObjectName(QStringLiteral("savePlateFigureButton"));
    auto *layout = new QVBoxLayout(window);
    layout->addWidget(view, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(save);
    layout->addLayout(buttons);
    const QSize size = figure.size();
    QObject::connect(save, &QPushButton::clicked, window, [window, defaultPath, size, draw] {
        const QString path = Dialogs::current().saveFileName(window, QObject::tr("Save Image"),
            defaultPath, QObject::tr("PNG image (*.png);;SVG drawing (*.svg)"));
        if (path.isEmpty())
            return;
        QString error;
        if (!PictureFile::save(path, size, draw, &error))
            Dialogs::current().critical(window, QObject::tr("Can't save the image."), error);
    });
    // Within a 1366 x 768 screen, the picture scaled to fit.
    window->resize(size.boundedTo(QSize(1200, 640)).expandedTo(QSize(480, 360)));
    window->show();
}

} // namespace

MeasuresPanel::MeasuresPanel(QWidget *parent)
    : QWidget(parent)
    , binSpin(new QDoubleSpinBox)
    , measureButton(new QPushButton(tr("Measure")))
    , exportButton(new QPushButton(tr("Export CSV...")))
    , notesLabel(new QLabel)
    , tableView(new QTableWidget)
    , figureCombo(new QComboBox)
    , figureButton(new QPushButton(tr("Plate Figure...")))
{
    setObjectName(QStringLiteral("measuresPanel"));
    binSpin->setObjectName(QStringLiteral("measuresBinSpin"));
    measureButton->setObjectName(QStringLiteral("measureButton"));
    exportButton->setObjectName(QStringLiteral("exportMeasuresButton"));
    notesLabel->setObjectName(QStringLiteral("measuresNotesLabel"));
    tableView->setObjectName(QStringLiteral("measuresTableView"));
    figureCombo->setObjectName(QStringLiteral("plateMeasureCombo"));
    figureButton->setObjectName(QStringLiteral("plateFigureButton"));

    binSpin->setRange(0.0, 1e6);
    binSpin->setDecimals(1);
    binSpin->setSuffix(tr(" s"));
    binSpin->setSpecialValueText(tr("whole file"));
    binSpin->setToolTip(tr("The length of each time bin; one row per fish per bin"));
    measureButton->setToolTip(tr("Distance, speed, time mobile and in each zone, per fish and "
                                 "bin, from the data file above"));
    exportButton->setToolTip(tr("Save the table as CSV, as pondwatch-cli measures writes it"));
    figureCombo->addItems(PlateFigure::measureNames());
    figureCombo->setToolTip(tr("The measure the plate figure colours each well by"));
    figureButton->setToolTip(tr("The wells drawn as the plate, coloured by the measure"));
    notesLabel->setWordWrap(true);
    tableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    tableView->verticalHeader()->setVisible(false);
    tableView->verticalHeader()->setDefaultSectionSize(tableView->fontMetrics().height() + 6);

    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(tr("Bin:")));
    top->addWidget(binSpin);
    top->addWidget(measureButton);
    top->addWidget(exportButton);
    top->addStretch();
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(new QLabel(tr("Plate figure of:")));
    bottom->addWidget(figureCombo);
    bottom->addWidget(figureButton);
    bottom->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(top);
    layout->addWidget(notesLabel);
    layout->addWidget(tableView, 1);
    layout->addLayout(bottom);

    connect(measureButton, &QPushButton::clicked, this, [this] { measure(); });
    connect(exportButton, &QPushButton::clicked, this, [this] { exportCsv(); });
    connect(figureButton, &QPushButton::clicked, this, [this] { showPlateFigure(); });
    setDataFile(QString());
}

void MeasuresPanel::setDataFile(const QString &path)
{
    dataFile = path;
    table.reset();
    rows.clear();
    shownCsv.clear();
    fillTable();
    notesLabel->setText(path.isEmpty() ? tr("Load a data file, then press Measure.")
                                       : tr("Press Measure for the measures of %1.").arg(path));
    measureButton->setEnabled(!path.isEmpty());
}

bool MeasuresPanel::measure()
{
    table.reset();
    rows.clear();
    shownCsv.clear();
    QString error;
    MeasureSettings settings;
    settings.binSeconds = binSpin->value();
    auto read = std::make_shared<TrackTable>();
    bool ok = read->read(dataFile, &error);
    if (ok && PlateMeasures::rowCount(*read, settings) > PlateMeasures::maxRows) {
        error = tr("Bins of %1 s make more than %2 rows; take longer bins.")
                    .arg(settings.binSeconds)
                    .arg(PlateMeasures::maxRows);
        ok = false;
    }
    if (ok) {
        table = read;
        rows = PlateMeasures::compute(*table, settings);
        shownCsv = PlateMeasures::csv(*table, rows);
    }
    fillTable();
    if (!ok) {
        notesLabel->setText(error);
        return false;
    }
    QStringList notes;
    notes << (table->scale.isSet()
            ? tr("Lengths in %1 (scale %2).").arg(table->scale.unit, table->scale.describe())
            : tr("No scale in the file: lengths in pixels, speeds in px/s."));
    if (table->rowsLeftOut > 0)
        notes << tr("%1 rows cut short or unreadable are left out.").arg(table->rowsLeftOut);
    notes << tr("Rows where a fish was not found are left out of every sum (rows_not_found).");
    notesLabel->setText(notes.join(QLatin1Char(' ')));
    return true;
}

void MeasuresPanel::fillTable()
{
    const QList<QByteArray> lines = shownCsv.split('\n');
    const QStringList header = lines.isEmpty() || shownCsv.isEmpty()
        ? QStringList()
        : csvCells(QString::fromUtf8(lines.first()));
    tableView->clear();
    tableView->setColumnCount(int(header.size()));
    tableView->setHorizontalHeaderLabels(header);
    int count = 0;
    for (int i = 1; i < lines.size(); ++i)
        count += !lines[i].isEmpty();
    tableView->setRowCount(count);
    for (int i = 1, r = 0; i < lines.size(); ++i) {
        if (lines[i].isEmpty())
            continue;
        const QStringList cells = csvCells(QString::fromUtf8(lines[i]));
        for (int c = 0; c < cells.size(); ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            if (c != 2 && c != 6)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            tableView->setItem(r, c, item);
        }
        ++r;
    }
    tableView->resizeColumnsToContents();
    const bool any = !rows.isEmpty();
    const bool plate = table && !table->overlays.arenas.isEmpty();
    exportButton->setEnabled(any);
    figureButton->setEnabled(any && plate);
    figureButton->setToolTip(any && !plate
            ? tr("The file has no arenas to draw as a plate")
            : tr("The wells drawn as the plate, coloured by the measure"));
}

void MeasuresPanel::exportCsv()
{
    const QString path = Dialogs::withExtension(
        Dialogs::current().saveFileName(this, tr("Export CSV"),
            dataFile + QStringLiteral(".measures.csv"), tr("CSV table (*.csv)")),
        QStringLiteral(".csv"));
    if (path.isEmpty())
        return;
    QString reason;
    if (AtomicFile::write(path, shownCsv, &reason) != AtomicFile::Outcome::Written)
        Dialogs::current().critical(
            this, tr("Can't write the table."), tr("Cannot write %1: %2").arg(path, reason));
}

QImage MeasuresPanel::plateFigure(const QString &measureName) const
{
    if (rows.isEmpty() || !table || table->overlays.arenas.isEmpty())
        return QImage();
    QImage figure(PlateFigure::size(*table, rows), QImage::Format_RGB32);
    figure.fill(Qt::white);
    QPainter painter(&figure);
    PlateFigure::draw(painter, *table, rows, measureName);
    return figure;
}

void MeasuresPanel::showPlateFigure()
{
    const QString measureName = figureCombo->currentText();
    const QImage figure = plateFigure(measureName);
    if (figure.isNull())
        return;
    // The window draws again when saving, from what it shows.
    const std::shared_ptr<const TrackTable> shownTable = table;
    const QVector<MeasureRow> shownRows = rows;
    openFigureWindow(this, figure, dataFile + QStringLiteral(".plate.png"),
        [shownTable, shownRows, measureName](QPainter &painter) {
            PlateFigure::draw(painter, *shownTable, shownRows, measureName);
        });
}
