#include "analysis/ui/AnalysisWindow.h"

#include "analysis/DataAnalysis.h"
#include "analysis/DataFileHeader.h"
#include "analysis/RecentDataFile.h"
#include "analysis/ResultsTable.h"
#include "analysis/ui/OnScreenPlacement.h"
#include "ui/Dialogs.h"

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QFile>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QScrollArea>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const char *const timeHeaders[]
    = { "", "Offset Time (sec)", "Time to Measure (sec)", "Time Between (sec)" };

} // namespace

AnalysisWindow::AnalysisWindow()
    : QMainWindow(nullptr)
    , variableTable(0, 4)
    , addVariableButton(QIcon(QStringLiteral(":/images/add.png")), tr("Add Variable"))
    , browseButton(QIcon(QStringLiteral(":/images/folder.png")), tr("Browse..."))
    , analyzeButton(QIcon(QStringLiteral(":/images/gear.png")), tr("Analyze"))
    , allConfidentCheck(tr("Confident in ALL data values"))
{
    setWindowTitle(tr("Data Analysis"));
    // Names the tests find the controls by.
    dataFileEdit.setObjectName(QStringLiteral("dataFileEdit"));
    browseButton.setObjectName(QStringLiteral("browseButton"));
    rulerXCombo.setObjectName(QStringLiteral("rulerXCombo"));
    rulerYCombo.setObjectName(QStringLiteral("rulerYCombo"));
    variableTable.setObjectName(QStringLiteral("variableTable"));
    addVariableButton.setObjectName(QStringLiteral("addVariableButton"));
    allConfidentCheck.setObjectName(QStringLiteral("allConfidentCheck"));
    analyzeButton.setObjectName(QStringLiteral("analyzeButton"));
    resultsEdit.setObjectName(QStringLiteral("resultsEdit"));

    variableTable.setHorizontalHeaderLabels({ tr("Variable to Measure"), tr("Offset Time (sec)"),
        tr("Time to Measure (sec)"), tr("Time Between (sec)") });
    variableTable.setMinimumSize(600, 150);
    variableTable.resizeColumnsToContents();

    auto *central = new QWidget;
    auto *layout = new QVBoxLayout(central);
    layout->addWidget(new QLabel(tr("Tracking data file to analyze:")));
    layout->addWidget(&dataFileEdit);
    layout->addWidget(&browseButton);
    layout->addWidget(
        new QLabel(tr("Ruler for X, Y Directions (required for analyzing Speed, ShoalAvgDist):")));
    layout->addWidget(&rulerXCombo);
    layout->addWidget(&rulerYCombo);
    layout->addWidget(new QLabel(tr("Variables to Measure:")));
    layout->addWidget(&variableTable);
    layout->addWidget(&addVariableButton);
    layout->addWidget(&allConfidentCheck);
    layout->addWidget(&analyzeButton);
    layout->addWidget(new QLabel(tr("Analysis Results:")));
    layout->addWidget(&resultsEdit);
    setCentralWidget(central);

    connect(&addVariableButton, &QPushButton::clicked, this, &AnalysisWindow::AddVariable);
    connect(&browseButton, &QPushButton::clicked, this, &AnalysisWindow::LoadDataFile);
    connect(&analyzeButton, &QPushButton::clicked, this, &AnalysisWindow::Analyze);

    setObjectName(QStringLiteral("analysisWindow"));
    statusBar();

    // The table and plot sit below the results text, in a dock of their own; the measures
    // per fish in a second dock, a tab beside it.
    const auto addDock = [this](const QString &title, const char *name, QWidget *panel) {
        auto *d = new QDockWidget(title, this);
        d->setObjectName(QLatin1String(name));
        d->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
        auto *scroll = new QScrollArea;
        scroll->setWidget(panel);
        scroll->setWidgetResizable(true);
        scroll->setFrameShape(QFrame::NoFrame);
        d->setWidget(scroll);
        addDockWidget(Qt::BottomDockWidgetArea, d);
        // A floating dock has the window manager's close button, and a dock closed there would
        // be gone until a restart: it comes back docked instead.
        connect(d, &QDockWidget::visibilityChanged, this, [this, d](bool visible) {
            if (visible)
                return;
            QTimer::singleShot(0, d, [this, d] {
                if (d->isHidden() && isVisible()) {
                    d->setFloating(false);
                    d->show();
                }
            });
        });
        return d;
    };
    QDockWidget *dock = addDock(tr("Results Table and Plot"), "resultsDock", &resultsPanel);
    QDockWidget *measuresDock
        = addDock(tr("Measures per Fish and Well"), "measuresDock", &measuresPanel);
    tabifyDockWidget(dock, measuresDock);
    dock->raise();
    connect(dock, &QDockWidget::dockLocationChanged, this, [this](Qt::DockWidgetArea area) {
        resultsPanel.setOrientation(
            area == Qt::BottomDockWidgetArea || area == Qt::TopDockWidgetArea ? Qt::Horizontal
                                                                              : Qt::Vertical);
    });

    // Return loads the typed path, or the file written last when the field is empty (offered
    // in the field whenever the window is shown).
    connect(&dataFileEdit, &QLineEdit::returnPressed, this, [this] {
        const QString typed = dataFileEdit.text().trimmed();
        const QString path = typed.isEmpty() ? RecentDataFile::path() : typed;
        if (!path.isEmpty())
            loadPath(path);
    });

    // A row goes with Delete while the table or its variable box has focus (a time field keeps
    // Delete for its text), or from the table's context menu.
    auto *remove = new QAction(tr("Remove Row"), &variableTable);
    remove->setObjectName(QStringLiteral("removeVariableRowAction"));
    remove->setShortcut(QKeySequence::Delete);
    remove->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    variableTable.addAction(remove);
    variableTable.setContextMenuPolicy(Qt::ActionsContextMenu);
    variableTable.setSelectionBehavior(QAbstractItemView::SelectRows);
    connect(remove, &QAction::triggered, this, [this] { removeCurrentRow(); });
    // A click into a row's field makes that row the current one.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
        for (QWidget *w = now; w; w = w->parentWidget()) {
            if (w->parentWidget() == variableTable.viewport()) {
                const int row = variableTable.indexAt(w->geometry().center()).row();
                if (row >= 0 && row != variableTable.currentRow())
                    variableTable.selectRow(row);
                return;
            }
        }
    });

    // Below the text where the screen is tall enough for both, beside it where it is not.
    resize(1300, 980);
    OnScreenPlacement::install(this, [this, dock, measuresDock](const QRect &free) {
        // Below 900 pixels (a 1366 x 768 laptop) the table and plot would get a strip under
        // the text: they go beside it, with half the width.
        if (free.height() < 900 || minimumSizeHint().height() + 40 > free.height()) {
            addDockWidget(Qt::RightDockWidgetArea, dock);
            addDockWidget(Qt::RightDockWidgetArea, measuresDock);
            tabifyDockWidget(dock, measuresDock);
            dock->raise();
            resize(std::min(free.width(), 1600), free.height());
            resizeDocks({ dock }, { std::min(free.width(), 1600) / 2 }, Qt::Horizontal);
        } else {
            resizeDocks({ dock }, { std::max(330, free.height() * 2 / 5) }, Qt::Vertical);
        }
    });
}

void AnalysisWindow::showEvent(QShowEvent *event)
{
    const QString recent = RecentDataFile::path();
    dataFileEdit.setPlaceholderText(
        recent.isEmpty() ? QString() : tr("Last written: %1 (press Return to load)").arg(recent));
    QMainWindow::showEvent(event);
}

void AnalysisWindow::removeCurrentRow()
{
    const int row = variableTable.currentRow();
    if (row < 0 || row >= variableTable.rowCount())
        return;
    variableTable.removeRow(row);
    statusBar()->showMessage(tr("Row %1 removed.").arg(row + 1));
}

QLineEdit *AnalysisWindow::timeEdit(int row, int column) const
{
    return qobject_cast<QLineEdit *>(variableTable.cellWidget(row, column));
}

void AnalysisWindow::markField(int row, int column, const QString &why)
{
    if (QLineEdit *edit = timeEdit(row, column)) {
        edit->setStyleSheet(QStringLiteral("QLineEdit { border: 2px solid #d00000; }"));
        edit->setToolTip(why);
    }
}

void AnalysisWindow::clearMarks()
{
    for (int row = 0; row < variableTable.rowCount(); ++row) {
        for (int column = 1; column <= 3; ++column) {
            if (QLineEdit *edit = timeEdit(row, column)) {
                edit->setStyleSheet(QString());
                edit->setToolTip(QString());
            }
        }
    }
}

void AnalysisWindow::AddVariable()
{
    auto *variableCombo = new QComboBox;
    variableCombo->addItems(DataFileHeader::variablesFor(measurableNames, loadedMultiFish));

    const int row = variableTable.rowCount();
    variableTable.setRowCount(row + 1);
    variableTable.setCellWidget(row, 0, variableCombo);
    variableTable.setCellWidget(row, 1, new QLineEdit(QStringLiteral("0")));
    variableTable.setCellWidget(row, 2, new QLineEdit(QStringLiteral("1")));
    variableTable.setCellWidget(row, 3, new QLineEdit(QStringLiteral("0")));
}

void AnalysisWindow::LoadDataFile()
{
    const QString path = Dialogs::current().openFileName(
        this, tr("Open Video Data File"), QStringLiteral("."), tr("Video Data File (*.txt)"));
    if (path.isNull())
        return;
    loadPath(path);
}

void AnalysisWindow::loadPath(const QString &path)
{
    if (!QFile::exists(path)) {
        statusBar()->showMessage(tr("No file %1").arg(path));
        Dialogs::current().critical(
            this, QStringLiteral("Can't load video data file."), QStringLiteral("Sorry."));
        return;
    }

    dataFileEdit.setText(path);
    measuresPanel.setDataFile(path);
    variableTable.clearContents();
    variableTable.setRowCount(0);

    // A file that cannot be read keeps the names and rulers of the previous one.
    DataFileHeader header;
    if (!header.read(path)) {
        statusBar()->showMessage(tr("Cannot read %1").arg(path));
        Dialogs::current().critical(
            this, QStringLiteral("Can't open video data file for read."), QStringLiteral("Sorry."));
        return;
    }
    measurableNames = header.measurableNames;
    rulerXCombo.clear();
    rulerYCombo.clear();
    rulerXCombo.addItems(header.rulerNames);
    rulerYCombo.addItems(header.rulerNames);
    loadedMultiFish = header.multiFish;
    statusBar()->showMessage(
        header.multiFish ? tr("Loaded %1 (several fish).").arg(path) : tr("Loaded %1.").arg(path));
}

Samples AnalysisWindow::collectSamples(const QString &path, const QString &variable,
    const QString &rulerX, const QString &rulerY, bool allConfident) const
{
    return SampleCollector::collect(SampleRequest { path, variable, rulerX, rulerY, allConfident });
}

void AnalysisWindow::Analyze()
{
    resultsEdit.clear();
    resultsPanel.clear();
    clearMarks();
    QStringList notNumbers;

    AnalysisInput input;
    input.path = dataFileEdit.text();
    input.rulerX = rulerXCombo.currentText();
    input.rulerY = rulerYCombo.currentText();
    input.allConfident = allConfidentCheck.isChecked();
    for (int row = 0; row < variableTable.rowCount(); ++row) {
        const auto *variable = qobject_cast<QComboBox *>(variableTable.cellWidget(row, 0));
        const auto timeText = [&](int column) {
            const auto *edit = qobject_cast<QLineEdit *>(variableTable.cellWidget(row, column));
            const QString text = edit ? edit->text() : QString();
            bool ok = false;
            text.toFloat(&ok);
            if (edit && !ok) {
                const QString why = tr("Row %1: \"%2\" in %3 is not a number and counts as 0.")
                                        .arg(row + 1)
                                        .arg(text, QLatin1String(timeHeaders[column]));
                markField(row, column, why);
                notNumbers << why;
            }
            return text;
        };
        VariableRow entry;
        entry.name = variable ? variable->currentText() : QString();
        entry.window.offset = VariableRow::parseTime(timeText(1));
        entry.window.measure = VariableRow::parseTime(timeText(2));
        entry.window.between = VariableRow::parseTime(timeText(3));
        input.rows.append(entry);
    }

    const AnalysisOutcome outcome = DataAnalysis::run(input, [this](const SampleRequest &request) {
        return collectSamples(
            request.path, request.variable, request.rulerX, request.rulerY, request.allConfident);
    });
    if (outcome.status != AnalysisOutcome::Status::Done) {
        // The box keeps its words; the window says which row and field.
        QString detail;
        const int row = outcome.failedRow;
        if (outcome.status == AnalysisOutcome::Status::PeriodNotPositive && row >= 0) {
            const WindowSettings &w = input.rows[row].window;
            detail = tr("Row %1 (%2): Time to Measure plus Time Between is %3 + %4; it must be "
                        "positive.")
                         .arg(row + 1)
                         .arg(input.rows[row].name)
                         .arg(double(w.measure))
                         .arg(double(w.between));
            markField(row, 2, detail);
            markField(row, 3, detail);
        } else if (outcome.status == AnalysisOutcome::Status::CannotOpen) {
            detail = tr("Row %1: cannot read %2").arg(row + 1).arg(input.path);
        } else {
            detail = input.path.isEmpty() ? tr("No tracking data file given.")
                                          : tr("No file %1").arg(input.path);
        }
        statusBar()->showMessage(detail);
        Dialogs::current().critical(this, outcome.errorTitle(), AnalysisOutcome::errorText());
        return;
    }
    // Plain text: a variable name must never be taken for markup.
    resultsEdit.setPlainText(AnalysisReport::text(outcome.results));

    const ResultsTable table = ResultsTable::build(input, outcome.results);
    resultsPanel.showResults(input, table);
    QStringList said = notNumbers + table.notes;
    statusBar()->showMessage(said.isEmpty()
            ? tr("%n window(s) in the results table.", nullptr, int(table.rows.size()))
            : said.join(QLatin1Char(' ')));
}
