// The analysis window: its widgets, loading a data file's names, adding variable rows, and
// Analyze from the table to the results text, with every message box it shows.

#include "analysis/ui/AnalysisWindow.h"
#include "analysis/RecentDataFile.h"
#include "analysis/ResultsPlot.h"
#include "analysis/ResultsTable.h"
#include "support/AnalysisDataFiles.h"
#include "support/DialogScope.h"
#include "support/FindControl.h"
#include "support/TestUtils.h"

#include <QAction>
#include <QBoxLayout>
#include <QClipboard>
#include <QDockWidget>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMetaMethod>
#include <QScreen>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTest>

using analysisfiles::DataFileBuilder;

namespace {

// The window's widgets, found by name; the layout is kept for the checks of their order.
struct Ui
{
    explicit Ui(AnalysisWindow &w)
    {
        layout = qobject_cast<QVBoxLayout *>(w.centralWidget()->layout());
        path = findControl<QLineEdit>(w, "dataFileEdit");
        browse = findControl<QPushButton>(w, "browseButton");
        rulerX = findControl<QComboBox>(w, "rulerXCombo");
        rulerY = findControl<QComboBox>(w, "rulerYCombo");
        table = findControl<QTableWidget>(w, "variableTable");
        add = findControl<QPushButton>(w, "addVariableButton");
        allConfident = findControl<QCheckBox>(w, "allConfidentCheck");
        analyze = findControl<QPushButton>(w, "analyzeButton");
        results = findControl<QTextEdit>(w, "resultsEdit");
    }
    template<typename T> T *widget(int index) const
    {
        return layout ? qobject_cast<T *>(layout->itemAt(index)->widget()) : nullptr;
    }
    QComboBox *variable(int row) const
    {
        return qobject_cast<QComboBox *>(table->cellWidget(row, 0));
    }
    QLineEdit *time(int row, int column) const
    {
        return qobject_cast<QLineEdit *>(table->cellWidget(row, column));
    }
    QStringList items(QComboBox *combo) const
    {
        QStringList out;
        for (int i = 0; i < combo->count(); ++i)
            out << combo->itemText(i);
        return out;
    }
    void addRow(const QString &name, const QString &offset, const QString &measure,
        const QString &between) const
    {
        QTest::mouseClick(add, Qt::LeftButton);
        const int row = table->rowCount() - 1;
        variable(row)->setCurrentText(name);
        QCOMPARE(variable(row)->currentText(), name);
        time(row, 1)->setText(offset);
        time(row, 2)->setText(measure);
        time(row, 3)->setText(between);
    }

    QVBoxLayout *layout = nullptr;
    QLineEdit *path = nullptr;
    QPushButton *browse = nullptr, *add = nullptr, *analyze = nullptr;
    QComboBox *rulerX = nullptr, *rulerY = nullptr;
    QTableWidget *table = nullptr;
    QCheckBox *allConfident = nullptr;
    QTextEdit *results = nullptr;
};

const QStringList builtIn { "Speed", "RelativeTurnAngle", "AbsoluteTurnAngle" };

QString namesFile()
{
    const QString path = testutils::scratchPath("names.data.txt");
    QStringList lines;
    lines << "Tracking area (x1, y1, x2, y2): "
          << "0 0 640 480";
    lines << "Zone12extra (x1, y1, x2, y2): "
          << "1 1 5 5";
    lines << " Zone2 (x1, y1, x2, y2): "
          << "1 1 5 5";
    lines << "Zone3 big tank (x1, y1, x2, y2): "
          << "1 1 5 5";
    lines << "Ruler1-a (x1, y1, x2, y2, length): "
          << "0 0 10 0 1.00000000";
    lines << "Ruler2-b (x1, y1, x2, y2, length): "
          << "0 0 0 10 1.00000000";
    lines << "PointDist1 (centrex, centrey, radx, rady, length): "
          << "5 5 9 5 2.00000000";
    lines << "Seconds FishX FishY FishMovement Confidence Confidence>30.00000000 Zone12extra"
             " Zone3 big tank Ruler1-a Ruler2-b PointDist1";
    lines << "0.04000000 1 2 0.00000000 41.00000000 1 0 1 0.50000000 0.25000000 1.00000000";
    DataFileBuilder::writeLines(path, lines);
    return path;
}

// Seven frames moving along Ruler1 (X) while Ruler2 (Y) stays put; the sixth is unconfident.
QString motionFile()
{
    DataFileBuilder b;
    b.zone("Zone1", 0, 0, 15, 15)
        .ruler("Ruler1", 0, 0, 100, 0, 10)
        .ruler("Ruler2", 0, 0, 0, 100, 10);
    b.row(0.0, 0, 5, true, { 1, 0, 0.5 });
    b.row(0.5, 10, 5, true, { 1, 1, 0.5 });
    b.row(1.0, 20, 5, true, { 0, 2, 0.5 });
    b.row(1.5, 40, 5, true, { 0, 4, 0.5 });
    b.row(2.0, 70, 5, true, { 0, 7, 0.5 });
    b.row(2.5, 70, 5, false, { 1, 7, 0.5 });
    b.row(3.0, 70, 5, true, { 1, 7, 0.5 });
    return b.write(testutils::scratchPath("motion.data.txt"));
}

void load(const Ui &ui, ScriptedDialogs &dialogs, const QString &path)
{
    dialogs.queueFile(path);
    QTest::mouseClick(ui.browse, Qt::LeftButton);
}

} // namespace

class AnalysisWindowTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // The remembered data file goes to a test location, never the user's settings.
        QStandardPaths::setTestModeEnabled(true);
        QLoggingCategory::setFilterRules("default.debug=false");
    }

    void builtAsDescribed()
    {
        AnalysisWindow w;
        Ui ui(w);
        QCOMPARE(w.windowTitle(), QString("Data Analysis"));
        QVERIFY(w.parent() == nullptr);

        const QMetaObject *meta = w.metaObject();
        QStringList methods;
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i)
            methods << QString(meta->method(i).methodSignature()) + ":"
                    + QString::number(meta->method(i).methodType());
        QCOMPARE(methods, QStringList({ "AddVariable():2", "LoadDataFile():2", "Analyze():2" }));

        QVERIFY(ui.layout);
        QCOMPARE(ui.layout->count(), 13);
        const auto label = [&](int i) {
            return ui.widget<QLabel>(i) ? ui.widget<QLabel>(i)->text() : QString();
        };
        QCOMPARE(label(0), QString("Tracking data file to analyze:"));
        QCOMPARE(label(3),
            QString("Ruler for X, Y Directions (required for analyzing Speed, ShoalAvgDist):"));
        QCOMPARE(label(6), QString("Variables to Measure:"));
        QCOMPARE(label(11), QString("Analysis Results:"));
        for (int i = 0; i < ui.layout->count(); ++i)
            QCOMPARE(ui.layout->stretch(i), 0);
        QVERIFY(ui.path && ui.rulerX && ui.rulerY && ui.table && ui.allConfident && ui.results);
        const QList<QPair<int, QWidget *>> positions { { 1, ui.path }, { 2, ui.browse },
            { 4, ui.rulerX }, { 5, ui.rulerY }, { 7, ui.table }, { 8, ui.add },
            { 9, ui.allConfident }, { 10, ui.analyze }, { 12, ui.results } };
        for (const auto &[index, widget] : positions)
            QCOMPARE(ui.layout->itemAt(index)->widget(), widget);

        const QList<QPair<QPushButton *, QString>> buttons {
            { ui.browse, "Browse...|:/images/folder.png" },
            { ui.add, "Add Variable|:/images/add.png" }, { ui.analyze, "Analyze|:/images/gear.png" }
        };
        for (const auto &[button, expected] : buttons) {
            QVERIFY(button);
            const QStringList parts = expected.split('|');
            QCOMPARE(button->text(), parts[0]);
            // Both through the same icon path: a pixmap's premultiplied rounding differs
            // between processors, so the file's own pixels may not match it to the level.
            QCOMPARE(
                button->icon().pixmap(32, 32).toImage(), QIcon(parts[1]).pixmap(32, 32).toImage());
            QVERIFY(!QIcon(parts[1]).pixmap(32, 32).isNull());
        }
        QCOMPARE(ui.allConfident->text(), QString("Confident in ALL data values"));
        QVERIFY(!ui.allConfident->isChecked());

        QCOMPARE(ui.table->columnCount(), 4);
        QStringList headers;
        for (int c = 0; c < 4; ++c)
            headers << ui.table->horizontalHeaderItem(c)->text();
        QCOMPARE(headers,
            QStringList({ "Variable to Measure", "Offset Time (sec)", "Time to Measure (sec)",
                "Time Between (sec)" }));
        QCOMPARE(ui.table->minimumSize(), QSize(600, 150));
        QCOMPARE(ui.table->rowCount(), 0);
        QCOMPARE(ui.rulerX->count(), 0);
        QCOMPARE(ui.rulerY->count(), 0);
        QVERIFY(ui.path->text().isEmpty());
        QVERIFY(ui.results->toPlainText().isEmpty());
    }

    void addVariableAppendsOneRow()
    {
        DialogScope dialogs;
        AnalysisWindow w;
        Ui ui(w);
        QTest::mouseClick(ui.add, Qt::LeftButton);
        QTest::mouseClick(ui.add, Qt::LeftButton);
        QCOMPARE(ui.table->rowCount(), 2);
        for (int row = 0; row < 2; ++row) {
            QVERIFY(ui.variable(row));
            QCOMPARE(ui.items(ui.variable(row)), builtIn);
            QCOMPARE(ui.variable(row)->currentText(), QString("Speed"));
            QCOMPARE(ui.time(row, 1)->text(), QString("0"));
            QCOMPARE(ui.time(row, 2)->text(), QString("1"));
            QCOMPARE(ui.time(row, 3)->text(), QString("0"));
            for (int c = 0; c < 4; ++c)
                QVERIFY(ui.table->item(row, c) == nullptr);
        }
        QVERIFY(dialogs.unexpected.isEmpty());
        QVERIFY(dialogs.messages.isEmpty());
    }

    void loadingReadsNamesAndRulers()
    {
        DialogScope dialogs;
        AnalysisWindow w;
        Ui ui(w);
        QTest::mouseClick(ui.add, Qt::LeftButton);
        const QString path = namesFile();
        load(ui, dialogs, path);

        QCOMPARE(dialogs.questions.size(), 1);
        QCOMPARE(dialogs.questions[0].kind, QString("open"));
        QCOMPARE(dialogs.questions[0].caption, QString("Open Video Data File"));
        QCOMPARE(dialogs.questions[0].dir, QString("."));
        QCOMPARE(dialogs.questions[0].filter, QString("Video Data File (*.txt)"));
        QCOMPARE(ui.path->text(), path);
        QCOMPARE(ui.table->rowCount(), 0); // a load empties the table
        QCOMPARE(ui.items(ui.rulerX), QStringList({ "Ruler1-a", "Ruler2-b" }));
        QCOMPARE(ui.items(ui.rulerY), QStringList({ "Ruler1-a", "Ruler2-b" }));
        QCOMPARE(ui.rulerX->currentText(), QString("Ruler1-a"));
        QCOMPARE(ui.rulerY->currentText(), QString("Ruler1-a"));

        QTest::mouseClick(ui.add, Qt::LeftButton);
        QCOMPARE(ui.items(ui.variable(0)),
            builtIn
                + QStringList({ "Zone12extra", "Zone3", "Ruler1-a", "Ruler2-b", "PointDist1" }));

        // A second load replaces the lists rather than adding to them.
        load(ui, dialogs, path);
        QCOMPARE(ui.rulerX->count(), 2);
        QTest::mouseClick(ui.add, Qt::LeftButton);
        QCOMPARE(ui.variable(0)->count(), 8);
        QVERIFY(dialogs.unexpected.isEmpty());
        QVERIFY(dialogs.messages.isEmpty());
    }

    void failedLoadsKeepWhatWasThere()
    {
        DialogScope dialogs;
        AnalysisWindow w;
        Ui ui(w);
        const QString path = namesFile();
        load(ui, dialogs, path);
        QTest::mouseClick(ui.add, Qt::LeftButton);
        ui.rulerY->setCurrentIndex(1);

        // Cancelled: nothing changes and nothing is shown.
        load(ui, dialogs, QString());
        QCOMPARE(ui.path->text(), path);
        QCOMPARE(ui.table->rowCount(), 1);
        QCOMPARE(ui.rulerY->currentText(), QString("Ruler2-b"));
        QVERIFY(dialogs.messages.isEmpty());

        // Missing: the load error, and the path and table stay.
        load(ui, dialogs, testutils::scratchPath("absent.data.txt"));
        QList<RecordedMessage> messages = dialogs.takeMessages();
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].kind, QString("critical"));
        QCOMPARE(messages[0].title, QString("Can't load video data file."));
        QCOMPARE(messages[0].text, QString("Sorry."));
        QCOMPARE(ui.path->text(), path);
        QCOMPARE(ui.table->rowCount(), 1);

        // There but unreadable: the path is taken and the table emptied, the names stay.
        const QString folder = testutils::scratchPath("folder.txt");
        QDir().mkpath(folder);
        load(ui, dialogs, folder);
        messages = dialogs.takeMessages();
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].kind, QString("critical"));
        QCOMPARE(messages[0].title, QString("Can't open video data file for read."));
        QCOMPARE(messages[0].text, QString("Sorry."));
        QCOMPARE(ui.path->text(), folder);
        QCOMPARE(ui.table->rowCount(), 0);
        QCOMPARE(ui.rulerX->count(), 2);
        QTest::mouseClick(ui.add, Qt::LeftButton);
        QCOMPARE(ui.variable(0)->count(), 8);
        QVERIFY(dialogs.unexpected.isEmpty());
    }

    void analyzeEndToEnd()
    {
        DialogScope dialogs;
        AnalysisWindow w;
        Ui ui(w);
        load(ui, dialogs, motionFile());
        ui.rulerY->setCurrentText("Ruler2");
        ui.addRow("Speed", "0", "1", "0");
        ui.addRow("Zone1", "0", "0.5", "0.5");
        ui.addRow("Ruler1", "10", "1", "0");
        ui.addRow("Ruler1", "not a number", "2", ""); // both read as 0
        QTest::mouseClick(ui.analyze, Qt::LeftButton);

        // Speed along Ruler1 at rows three to five: 2, 4 and 6 units per second.
        const QString expected = "Speed\n"
                                 "Time 0.000000 1.000000 \n"
                                 "Mean 2.000000 5.000000 \n"
                                 "Variance 0.000000 1.000000 \n\n"
                                 "Zone1\n"
                                 "Time 0.000000 1.000000 2.000000 3.000000 \n"
                                 "Mean 1.000000 0.000000 0.000000 1.000000 \n"
                                 "Variance 0.000000 0.000000 0.000000 0.000000 \n\n"
                                 "Ruler1\n"
                                 "Time \n"
                                 "Mean \n"
                                 "Variance \n\n"
                                 "Ruler1\n"
                                 "Time 0.000000 2.000000 \n"
                                 "Mean 2.800000 7.000000 \n"
                                 "Variance 6.159999 0.000000 \n\n"; // summed in single precision
        QCOMPARE(ui.results->toPlainText(), expected);

        // All confident: the zone takes the unconfident frame at 2.5 s too; Speed does not.
        ui.allConfident->setChecked(true);
        QTest::mouseClick(ui.analyze, Qt::LeftButton);
        const QStringList lines = ui.results->toPlainText().split('\n');
        QCOMPARE(lines.mid(0, 4), expected.split('\n').mid(0, 4));
        QCOMPARE(lines[7], QString("Mean 1.000000 0.000000 0.500000 1.000000 "));
        QCOMPARE(lines[8], QString("Variance 0.000000 0.000000 0.250000 0.000000 "));

        QVERIFY(dialogs.unexpected.isEmpty());
        QVERIFY(dialogs.messages.isEmpty());
    }

    void analyzeErrors()
    {
        DialogScope dialogs;
        AnalysisWindow w;
        Ui ui(w);
        const auto expectMessage = [&](const QString &title) {
            const QList<RecordedMessage> messages = dialogs.takeMessages();
            QCOMPARE(messages.size(), 1);
            QCOMPARE(messages[0].kind, QString("critical"));
            QCOMPARE(messages[0].title, title);
            QCOMPARE(messages[0].text, QString("Sorry."));
            QVERIFY(ui.results->toPlainText().isEmpty());
        };

        // An empty path, even without rows.
        QTest::mouseClick(ui.analyze, Qt::LeftButton);
        expectMessage("Can't load video data file.");

        // No rows: empty results and no message.
        load(ui, dialogs, motionFile());
        ui.results->setPlainText("old");
        QTest::mouseClick(ui.analyze, Qt::LeftButton);
        QVERIFY(dialogs.messages.isEmpty());
        QVERIFY(ui.results->toPlainText().isEmpty());

        // A period that is not positive is refused, and the rows before it are not shown.
        ui.addRow("Speed", "0", "1", "0");
        ui.addRow("Zone1", "0", "0", "0");
        QTest::mouseClick(ui.analyze, Qt::LeftButton);
        expectMessage("Time to Measure plus Time Between must be positive.");
        ui.time(1, 2)->setText("2");
        ui.time(1, 3)->setText("-3");
        QTest::mouseClick(ui.analyze, Qt::LeftButton);
        expectMessage("Time to Measure plus Time Between must be positive.");

        // The path as typed: a folder cannot be read, a missing file is not there.
        ui.time(1, 3)->setText("0");
        QTest::mouseClick(ui.analyze, Qt::LeftButton);
        QVERIFY(!ui.results->toPlainText().isEmpty());
        const QString folder = testutils::scratchPath("folder2.txt");
        QDir().mkpath(folder);
        ui.path->setText(folder);
        QTest::mouseClick(ui.analyze, Qt::LeftButton);
        expectMessage("Can't open video data file.");
        ui.path->setText(testutils::scratchPath("absent.txt"));
        QTest::mouseClick(ui.analyze, Qt::LeftButton);
        expectMessage("Can't load video data file.");
        QVERIFY(dialogs.unexpected.isEmpty());
    }

    void collectSamplesReadsOneVariable()
    {
        AnalysisWindow w;
        const Samples s = w.collectSamples(motionFile(), "Zone1", "Ruler1", "Ruler2", true);
        QVERIFY(s.opened);
        QCOMPARE(s.values, QVector<float>({ 1, 1, 0, 0, 0, 1, 1 }));
        QVERIFY(
            !w.collectSamples(testutils::scratchPath("absent.txt"), "Zone1", "", "", true).opened);
    }

    // After Analyze the table holds the rows ResultsTable gives; Export CSV writes them (or
    // says why not), Copy puts them on the clipboard tab-separated, and the plot of the chosen
    // row is saved as SVG and PNG.
    void resultsTableExportCopyAndPlot()
    {
        DialogScope dialogs;
        AnalysisWindow w;
        Ui ui(w);
        const QString path = motionFile();
        load(ui, dialogs, path);
        ui.addRow("Speed", "0", "1", "0");
        ui.addRow("Zone1", "0", "0.5", "0.5");
        QTest::mouseClick(ui.analyze, Qt::LeftButton);

        AnalysisInput input;
        input.path = path;
        input.rulerX = input.rulerY = "Ruler1";
        input.rows = { { "Speed", { 0, 1, 0 } }, { "Zone1", { 0, 0.5f, 0.5f } } };
        const ResultsTable expected = ResultsTable::build(input, DataAnalysis::run(input).results);
        auto *view = w.findChild<QTableWidget *>("resultsTableView");
        QVERIFY(view);
        QCOMPARE(view->rowCount(), expected.rows.size());
        QCOMPARE(view->rowCount(), 6); // two Speed windows, four Zone1 windows
        for (int r = 0; r < view->rowCount(); ++r) {
            for (int c = 0; c < 10; ++c)
                QCOMPARE(view->item(r, c)->text(), expected.cells(expected.rows[r])[c]);
        }
        // The same means as the text above it.
        QCOMPARE(ui.results->toPlainText().split('\n')[2],
            "Mean " + view->item(0, 6)->text() + " " + view->item(1, 6)->text() + " ");

        const auto click = [&](const char *name) {
            auto *button = w.findChild<QPushButton *>(name);
            QVERIFY(button && button->isEnabled());
            QTest::mouseClick(button, Qt::LeftButton);
        };
        const QString csv = testutils::scratchPath("results.csv");
        dialogs.queueFile(csv);
        click("exportCsvButton");
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()), expected.csv());
        QCOMPARE(dialogs.questions.last().kind, QString("save"));
        const QString nowhere = testutils::scratchPath("no/such/folder/results.csv");
        dialogs.queueFile(nowhere);
        click("exportCsvButton");
        const QList<RecordedMessage> messages = dialogs.takeMessages();
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].title, QString("Can't write the table."));
        QVERIFY2(messages[0].text.contains(nowhere), qPrintable(messages[0].text));

        click("copyTableButton");
        QCOMPARE(QGuiApplication::clipboard()->text(), expected.tabSeparated());

        auto *plotChoice = w.findChild<QComboBox *>("plotVariableCombo");
        QVERIFY(plotChoice);
        QCOMPARE(plotChoice->count(), 2);
        plotChoice->setCurrentIndex(1);
        const QString svg = testutils::scratchPath("zone.svg");
        const QString png = testutils::scratchPath("zone.png");
        dialogs.queueFile(svg);
        click("savePlotButton");
        dialogs.queueFile(png);
        click("savePlotButton");
        QFile svgFile(svg);
        QVERIFY(svgFile.open(QIODevice::ReadOnly));
        QVERIFY(svgFile.readAll().contains("<title>zone</title>"));
        QCOMPARE(QImage(png).size(), ResultsPlot::defaultSize);
        QVERIFY(dialogs.unexpected.isEmpty());
        QVERIFY(dialogs.messages.isEmpty());

        // The SD band's lower edge: not below 0 for a variable no sample of which is (a
        // speed), where mean - SD may be; as it is for one that goes negative.
        ResultsTable bands;
        const struct
        {
            int variableRow;
            float mean, sd, min, low;
        } cases[] = { { 0, 1.0f, 3.0f, 0.0f, 0.0f }, { 0, 5.0f, 2.0f, 0.5f, 3.0f },
            { 1, 1.0f, 3.0f, -0.5f, -2.0f }, { 1, 4.0f, 1.0f, 2.0f, 3.0f } };
        for (const auto &c : cases) {
            ResultsRow row;
            row.variableRow = c.variableRow;
            row.mean = c.mean;
            row.sd = c.sd;
            row.min = c.min;
            bands.rows << row;
        }
        for (int v = 0; v < 2; ++v) {
            const QVector<ResultsPlot::Series> series = ResultsPlot::series(bands, v);
            QCOMPARE(series.size(), 1);
            QCOMPARE(series[0].lows, (QVector<float> { cases[2 * v].low, cases[2 * v + 1].low }));
        }
    }

    // Return loads a path (or the file written last), Delete removes the current row, a time
    // that is not a number and a bad window are marked at their fields and named in the
    // status bar, Speed without a ruler says why, several fish offer ShoalAvgDist, and the
    // window fits its screen.
    void guidanceAtTheFields()
    {
        DialogScope dialogs;
        const QString motion = motionFile();
        // The main window makes its analysis window at the start, before a run writes a file.
        RecentDataFile::remember(namesFile());
        AnalysisWindow w;
        Ui ui(w);
        RecentDataFile::remember(motion);
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        const QRect free = w.screen()->availableGeometry();
        QVERIFY2(free.contains(w.geometry()),
            qPrintable(QString("%1x%2").arg(w.width()).arg(w.height())));

        QVERIFY(ui.path->placeholderText().contains(motion));
        QTest::keyClick(ui.path, Qt::Key_Return);
        QCOMPARE(ui.path->text(), motion);
        QCOMPARE(ui.items(ui.rulerX), QStringList({ "Ruler1", "Ruler2" }));
        const QString names = namesFile();
        ui.path->setText(names);
        QTest::keyClick(ui.path, Qt::Key_Return);
        QCOMPARE(ui.rulerX->currentText(), QString("Ruler1-a"));
        ui.path->setText(motion);
        QTest::keyClick(ui.path, Qt::Key_Return);

        ui.addRow("Speed", "0", "1", "0");
        ui.addRow("Ruler2", "0", "1", "0");
        ui.addRow("Zone1", "abc", "1", "0");
        QAction *remove = w.findChild<QAction *>("removeVariableRowAction");
        QVERIFY(remove);
        QCOMPARE(remove->shortcut(), QKeySequence(QKeySequence::Delete));
        // Delete in a time field edits the text; on the row's variable it removes the row.
        ui.time(2, 2)->setFocus();
        ui.time(2, 2)->setCursorPosition(0);
        QTest::keyClick(ui.time(2, 2), Qt::Key_Delete);
        QCOMPARE(ui.table->rowCount(), 3);
        QCOMPARE(ui.time(2, 2)->text(), QString());
        ui.time(2, 2)->setText("1");
        ui.variable(1)->setFocus();
        QCOMPARE(ui.table->currentRow(), 1);
        QTest::keyClick(ui.variable(1), Qt::Key_Delete);
        QCOMPARE(ui.table->rowCount(), 2);
        QCOMPARE(ui.variable(1)->currentText(), QString("Zone1"));

        // "abc" still counts as 0, and says so at the field and in the window.
        QTest::mouseClick(ui.analyze, Qt::LeftButton);
        QVERIFY(ui.results->toPlainText().startsWith("Speed\nTime 0.000000"));
        QVERIFY(!ui.time(1, 1)->styleSheet().isEmpty());
        QVERIFY(ui.time(1, 2)->styleSheet().isEmpty());
        QVERIFY2(ui.time(1, 1)->toolTip().startsWith("Row 2: \"abc\" in Offset Time (sec)"),
            qPrintable(ui.time(1, 1)->toolTip()));
        QVERIFY(w.statusBar()->currentMessage().contains("Row 2: \"abc\""));

        // A window that never moves on: the box as always, the row named in the window.
        ui.time(1, 1)->setText("0");
        ui.time(1, 2)->setText("0");
        QTest::mouseClick(ui.analyze, Qt::LeftButton);
        const QList<RecordedMessage> messages = dialogs.takeMessages();
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].text, QString("Sorry."));
        QVERIFY2(w.statusBar()->currentMessage().startsWith("Row 2 (Zone1): Time to Measure"),
            qPrintable(w.statusBar()->currentMessage()));
        QVERIFY(!ui.time(1, 2)->styleSheet().isEmpty());
        QVERIFY(ui.time(1, 1)->styleSheet().isEmpty());

        // Speed in a file without a ruler.
        DataFileBuilder bare;
        bare.zone("Zone1", 0, 0, 9, 9);
        for (int i = 0; i < 5; ++i)
            bare.row(0.1 * i, i, i, true, { 1 });
        ui.path->setText(bare.write(testutils::scratchPath("bare.data.txt")));
        QTest::keyClick(ui.path, Qt::Key_Return);
        ui.addRow("Speed", "0", "1", "0");
        QTest::mouseClick(ui.analyze, Qt::LeftButton);
        QVERIFY2(w.statusBar()->currentMessage().contains("Speed: empty because the file has no "
                                                          "ruler"),
            qPrintable(w.statusBar()->currentMessage()));
        QVERIFY(w.findChild<QLabel *>("resultsNotesLabel")->text().contains("no ruler"));
        QVERIFY(!ui.items(ui.variable(0)).contains("ShoalAvgDist"));

        // Several fish: ShoalAvgDist is offered, after the file's names.
        const QString multi = testutils::scratchPath("three.datamulti.txt");
        DataFileBuilder::writeLines(multi,
            { "NumFish: ", "3", "Tracking area (x1, y1, x2, y2): ", "0 0 100 100",
                "ZoneA (x1, y1, x2, y2): ", "0 0 10 10",
                "Time Fish1Conf? Fish1HowConf Fish1X Fish1Y Fish1ZoneA Fish2Conf? Fish2HowConf "
                "Fish2X Fish2Y Fish2ZoneA Fish3Conf? Fish3HowConf Fish3X Fish3Y Fish3ZoneA " });
        ui.path->setText(multi);
        QTest::keyClick(ui.path, Qt::Key_Return);
        QTest::mouseClick(ui.add, Qt::LeftButton);
        QCOMPARE(ui.items(ui.variable(0)), builtIn + QStringList({ "ZoneA", "ShoalAvgDist" }));
        QVERIFY(dialogs.unexpected.isEmpty());
        QVERIFY(dialogs.messages.isEmpty());

        // The results dock, floated and closed by the window manager, comes back docked.
        auto *dock = findControl<QDockWidget>(w, "resultsDock");
        dock->setFloating(true);
        QVERIFY(dock->close());
        QVERIFY(dock->isHidden());
        QTRY_VERIFY(!dock->isHidden() && !dock->isFloating());
    }
};

QTEST_MAIN(AnalysisWindowTest)
#include "AnalysisWindowTest.moc"
