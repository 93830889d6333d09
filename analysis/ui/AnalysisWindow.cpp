#include "analysis/ui/AnalysisWindow.h"

#include "analysis/DataAnalysis.h"
#include "analysis/DataFileHeader.h"
#include "ui/Dialogs.h"

#include <QFile>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

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
}

void AnalysisWindow::AddVariable()
{
    auto *variableCombo = new QComboBox;
    variableCombo->addItems({ QStringLiteral("Speed"), QStringLiteral("RelativeTurnAngle"),
        QStringLiteral("AbsoluteTurnAngle") });
    variableCombo->addItems(measurableNames);

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
    if (!QFile::exists(path)) {
        Dialogs::current().critical(
            this, QStringLiteral("Can't load video data file."), QStringLiteral("Sorry."));
        return;
    }

    dataFileEdit.setText(path);
    variableTable.clearContents();
    variableTable.setRowCount(0);

    // A file that cannot be read keeps the names and rulers of the previous one.
    DataFileHeader header;
    if (!header.read(path)) {
        Dialogs::current().critical(
            this, QStringLiteral("Can't open video data file for read."), QStringLiteral("Sorry."));
        return;
    }
    measurableNames = header.measurableNames;
    rulerXCombo.clear();
    rulerYCombo.clear();
    rulerXCombo.addItems(header.rulerNames);
    rulerYCombo.addItems(header.rulerNames);
}

Samples AnalysisWindow::collectSamples(const QString &path, const QString &variable,
    const QString &rulerX, const QString &rulerY, bool allConfident) const
{
    return SampleCollector::collect(SampleRequest { path, variable, rulerX, rulerY, allConfident });
}

void AnalysisWindow::Analyze()
{
    resultsEdit.clear();

    AnalysisInput input;
    input.path = dataFileEdit.text();
    input.rulerX = rulerXCombo.currentText();
    input.rulerY = rulerYCombo.currentText();
    input.allConfident = allConfidentCheck.isChecked();
    for (int row = 0; row < variableTable.rowCount(); ++row) {
        const auto *variable = qobject_cast<QComboBox *>(variableTable.cellWidget(row, 0));
        const auto timeText = [&](int column) {
            const auto *edit = qobject_cast<QLineEdit *>(variableTable.cellWidget(row, column));
            return edit ? edit->text() : QString();
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
        Dialogs::current().critical(this, outcome.errorTitle(), AnalysisOutcome::errorText());
        return;
    }
    // Plain text: a variable name must never be taken for markup.
    resultsEdit.setPlainText(AnalysisReport::text(outcome.results));
}
