#include "analysis/ui/ResultsPanel.h"

#include "analysis/PictureFile.h"
#include "analysis/ResultsPlot.h"
#include "analysis/ui/TrackPictureWindow.h"
#include "files/AtomicFile.h"
#include "ui/Dialogs.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPainter>
#include <QVBoxLayout>

ResultsPanel::ResultsPanel(QWidget *parent)
    : QWidget(parent)
    , exportButton(tr("Export CSV..."))
    , copyButton(tr("Copy"))
    , savePlotButton(tr("Save Image..."))
    , trajectoryButton(tr("Trajectory..."))
    , heatMapButton(tr("Heat Map..."))
{
    setObjectName(QStringLiteral("resultsPanel"));
    notesLabel.setObjectName(QStringLiteral("resultsNotesLabel"));
    tableView.setObjectName(QStringLiteral("resultsTableView"));
    exportButton.setObjectName(QStringLiteral("exportCsvButton"));
    copyButton.setObjectName(QStringLiteral("copyTableButton"));
    plotVariableCombo.setObjectName(QStringLiteral("plotVariableCombo"));
    plot.setObjectName(QStringLiteral("resultsPlot"));
    savePlotButton.setObjectName(QStringLiteral("savePlotButton"));
    trajectoryButton.setObjectName(QStringLiteral("trajectoryButton"));
    heatMapButton.setObjectName(QStringLiteral("heatMapButton"));

    notesLabel.setWordWrap(true);
    notesLabel.setStyleSheet(QStringLiteral("color: #a00000"));
    notesLabel.hide();

    const QStringList headers { tr("Variable"), tr("Unit"), tr("Fish"), tr("Start (s)"),
        tr("End (s)"), tr("n"), tr("Mean"), tr("SD"), tr("Min"), tr("Max") };
    tableView.setColumnCount(int(headers.size()));
    tableView.setHorizontalHeaderLabels(headers);
    tableView.setEditTriggers(QAbstractItemView::NoEditTriggers);
    tableView.setSelectionBehavior(QAbstractItemView::SelectRows);
    tableView.verticalHeader()->setVisible(false);
    tableView.horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tableView.verticalHeader()->setDefaultSectionSize(tableView.fontMetrics().height() + 6);

    auto *tablePage = new QWidget;
    auto *tableLayout = new QVBoxLayout(tablePage);
    tableLayout->setContentsMargins(0, 0, 0, 0);
    tableLayout->addWidget(&tableView);
    auto *tableButtons = new QHBoxLayout;
    tableButtons->addWidget(&exportButton);
    tableButtons->addWidget(&copyButton);
    tableButtons->addStretch();
    tableLayout->addLayout(tableButtons);

    auto *plotPage = new QWidget;
    auto *plotLayout = new QVBoxLayout(plotPage);
    auto *plotChoice = new QHBoxLayout;
    plotChoice->addWidget(new QLabel(tr("Variable:")));
    plotChoice->addWidget(&plotVariableCombo, 1);
    plotChoice->addWidget(&savePlotButton);
    plotLayout->addLayout(plotChoice);
    plotLayout->setContentsMargins(0, 0, 0, 0);
    plotLayout->addWidget(&plot, 1);

    split.addWidget(tablePage);
    split.addWidget(plotPage);
    split.setChildrenCollapsible(false);
    split.setStretchFactor(0, 3);
    split.setStretchFactor(1, 2);

    auto *pictures = new QHBoxLayout;
    pictures->addWidget(new QLabel(tr("Where the fish went (needs the tracked video):")));
    pictures->addWidget(&trajectoryButton);
    pictures->addWidget(&heatMapButton);
    pictures->addStretch();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(&notesLabel);
    layout->addWidget(&split, 1);
    layout->addLayout(pictures);

    connect(&exportButton, &QPushButton::clicked, this, [this] { exportCsv(); });
    connect(&copyButton, &QPushButton::clicked, this, [this] { copyTable(); });
    connect(&savePlotButton, &QPushButton::clicked, this, [this] { savePlot(); });
    connect(&plotVariableCombo, &QComboBox::currentIndexChanged, this, [this] { showPlot(); });
    connect(&trajectoryButton, &QPushButton::clicked, this, [this] {
        TrackPictureWindow::open(analysed.path, QString(), TrackPicture::Kind::Trajectory, this);
    });
    connect(&heatMapButton, &QPushButton::clicked, this, [this] {
        TrackPictureWindow::open(analysed.path, QString(), TrackPicture::Kind::HeatMap, this);
    });
    clear();
}

void ResultsPanel::clear()
{
    showResults(AnalysisInput {}, ResultsTable {});
}

void ResultsPanel::showResults(const AnalysisInput &input, const ResultsTable &table)
{
    analysed = input;
    results = table;

    tableView.setRowCount(int(table.rows.size()));
    for (int r = 0; r < table.rows.size(); ++r) {
        const QStringList cells = table.cells(table.rows[r]);
        for (int c = 0; c < cells.size(); ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            if (c >= 2)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            tableView.setItem(r, c, item);
        }
    }
    notesLabel.setText(table.notes.join(QLatin1Char('\n')));
    notesLabel.setVisible(!table.notes.isEmpty());

    {
        const QSignalBlocker block(plotVariableCombo);
        plotVariableCombo.clear();
        for (int i = 0; i < input.rows.size(); ++i) {
            const VariableRow &row = input.rows[i];
            plotVariableCombo.addItem(QStringLiteral("%1: %2 (%3 / %4 / %5 s)")
                                          .arg(i + 1)
                                          .arg(row.name)
                                          .arg(double(row.window.offset))
                                          .arg(double(row.window.measure))
                                          .arg(double(row.window.between)),
                i);
        }
    }
    showPlot();

    const bool any = !table.rows.isEmpty();
    exportButton.setEnabled(any);
    copyButton.setEnabled(any);
    savePlotButton.setEnabled(any);
    trajectoryButton.setEnabled(!input.path.isEmpty());
    heatMapButton.setEnabled(!input.path.isEmpty());
}

void ResultsPanel::showPlot()
{
    plot.setTable(results,
        plotVariableCombo.currentData().isValid() ? plotVariableCombo.currentData().toInt() : -1);
}

void ResultsPanel::exportCsv()
{
    const QString path = Dialogs::withExtension(
        Dialogs::current().saveFileName(this, tr("Export CSV"),
            analysed.path + QStringLiteral(".results.csv"), tr("CSV table (*.csv)")),
        QStringLiteral(".csv"));
    if (path.isEmpty())
        return;
    QString reason;
    if (AtomicFile::write(path, results.csv().toUtf8(), &reason) != AtomicFile::Outcome::Written)
        Dialogs::current().critical(
            this, tr("Can't write the table."), tr("Cannot write %1: %2").arg(path, reason));
}

void ResultsPanel::copyTable()
{
    QGuiApplication::clipboard()->setText(results.tabSeparated());
}

void ResultsPanel::savePlot()
{
    const QString path = Dialogs::current().saveFileName(this, tr("Save Image"),
        analysed.path + QStringLiteral(".plot.png"), tr("PNG image (*.png);;SVG drawing (*.svg)"));
    if (path.isEmpty())
        return;
    QString error;
    const int row = plot.variableRow();
    const QSize size = ResultsPlot::defaultSize;
    if (!PictureFile::save(
            path, size,
            [&](QPainter &painter) {
                ResultsPlot::draw(painter, QRectF(QPointF(0, 0), size), results, row);
            },
            &error))
        Dialogs::current().critical(this, tr("Can't save the image."), error);
}
