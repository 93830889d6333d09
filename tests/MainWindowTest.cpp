// The main window as built: controls, their order, defaults, ranges, enabled states,
// the slots of the meta-object and the read accessors.

#include "app/MainWindow.h"
#include "support/DialogScope.h"
#include "support/FindControl.h"
#include "view/ui/VideoView.h"

#include <QGroupBox>
#include <QMetaMethod>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QVBoxLayout>

#include <optional>

namespace {

// The widgets of the control column, top to bottom.
QList<QWidget *> controlColumn(MainWindow &w)
{
    QList<QWidget *> widgets;
    auto *layout = qobject_cast<QVBoxLayout *>(findControl<QWidget>(w, "controlColumn")->layout());
    for (int i = 0; i < layout->count(); ++i)
        widgets << layout->itemAt(i)->widget();
    return widgets;
}

QString describe(QWidget *w)
{
    if (auto *b = qobject_cast<QPushButton *>(w))
        return "button:" + b->text();
    if (auto *l = qobject_cast<QLabel *>(w))
        return "label:" + l->text();
    if (auto *g = qobject_cast<QGroupBox *>(w))
        return "group:" + g->title();
    if (auto *c = qobject_cast<QCheckBox *>(w))
        return "check:" + c->text();
    if (qobject_cast<QDoubleSpinBox *>(w))
        return "doublespin";
    if (qobject_cast<QSpinBox *>(w))
        return "spin";
    return w->metaObject()->className();
}

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

    std::optional<DialogScope> dialogs;

private Q_SLOTS:
    void init() { dialogs.emplace(); }
    void cleanup() { dialogs.reset(); }

    void controlColumnOrderAndLabels()
    {
        MainWindow w;
        QStringList seen;
        for (QWidget *widget : controlColumn(w))
            seen << describe(widget);
        const QStringList expected = {
            "button:Open Video File...",
            "button:Set Tracking Area",
            "button:Add New Zone...",
            "button:Add New Ruler...",
            "button:Add Point Distance...",
            "label:# Fish to Track",
            "spin",
            "label:Frames to Average",
            "spin",
            "label:Confidence Threshold",
            "doublespin",
            "label:Gaussian Variance",
            "doublespin",
            "label:Mean Filter Size (pixels)",
            "spin",
            "group:Signed Image Difference",
            "DetectionControls",
            "ArenaControls",
            "check:Show Tracker View",
            "button:Process Video",
            "button:Stop Processing",
            "button:Analyze Data...",
        };
        QCOMPARE(seen, expected);
        QCOMPARE(controlColumn(w).first()->parentWidget()->maximumWidth(), 200);
    }

    void defaultsRangesAndSteps()
    {
        MainWindow w;
        auto *fish = findControl<QSpinBox>(w, "fishCountSpin");
        auto *frames = findControl<QSpinBox>(w, "framesToAverageSpin");
        auto *threshold = findControl<QDoubleSpinBox>(w, "confidenceThresholdSpin");
        auto *variance = findControl<QDoubleSpinBox>(w, "gaussianVarianceSpin");
        auto *filter = findControl<QSpinBox>(w, "meanFilterSizeSpin");
        auto *group = findControl<QGroupBox>(w, "signedDifferenceBox");
        auto *trackerView = findControl<QCheckBox>(w, "showTrackerViewCheck");
        // The named controls are the ones at their places in the column.
        const QList<QWidget *> column = controlColumn(w);
        QCOMPARE(column[6], fish);
        QCOMPARE(column[8], frames);
        QCOMPARE(column[10], threshold);
        QCOMPARE(column[12], variance);
        QCOMPARE(column[14], filter);
        QCOMPARE(column[15], group);
        QCOMPARE(column[18], trackerView);

        QCOMPARE(fish->value(), 1);
        QCOMPARE(fish->minimum(), 1);
        QCOMPARE(fish->maximum(), 25);
        QCOMPARE(frames->value(), 300);
        QCOMPARE(frames->maximum(), 1000);
        QCOMPARE(frames->singleStep(), 10);
        QCOMPARE(threshold->text(), QString("30.00"));
        QCOMPARE(threshold->decimals(), 2);
        QCOMPARE(threshold->maximum(), 255.0);
        QCOMPARE(threshold->singleStep(), 5.0);
        QCOMPARE(variance->text(), QString("0.010"));
        QCOMPARE(variance->decimals(), 3);
        QCOMPARE(variance->maximum(), 1.0);
        QCOMPARE(filter->value(), 3);
        QVERIFY(group->isCheckable());
        QVERIFY(!group->isChecked());
        const auto radios = group->findChildren<QRadioButton *>();
        QCOMPARE(radios.size(), 2);
        QCOMPARE(radios[0]->text(), QString("Bright object (+)"));
        QVERIFY(radios[0]->isChecked());
        QCOMPARE(radios[1]->text(), QString("Dark object (-)"));
        QVERIFY(!radios[1]->isChecked());
        QVERIFY(!trackerView->isChecked());

        // The mean filter steps through odd sizes with the arrows but takes even values typed in.
        filter->stepUp();
        QCOMPARE(filter->value(), 5);
        filter->stepUp();
        QCOMPARE(filter->value(), 7);
        filter->setValue(4);
        QCOMPARE(filter->value(), 4);

        // The accessors follow the controls.
        QCOMPARE(w.fishCount(), 1);
        QCOMPARE(w.framesToAverage(), 300);
        QCOMPARE(w.confidenceThreshold(), 30.0f);
        QCOMPARE(w.gaussianVariance(), 0.01f);
        QCOMPARE(w.meanFilterSize(), 4);
        QVERIFY(!w.signedDifference());
        QVERIFY(w.brightObject());
        group->setChecked(true);
        radios[1]->setChecked(true);
        QVERIFY(w.signedDifference());
        QVERIFY(!w.brightObject());
        threshold->setValue(42.5);
        QCOMPARE(w.confidenceThreshold(), 42.5f);
        QVERIFY(w.fileName().isNull());
        QCOMPARE(w.reviewIndex(), 0);
    }

    // Before a video is open, what needs one is disabled and the view says how to start.
    void initialEnabledStates()
    {
        MainWindow w;
        for (const char *name : { "processVideoButton", "stopProcessingButton", "backButton",
                 "pauseButton", "forwardButton", "setTrackingAreaButton", "addZoneButton",
                 "addRulerButton", "addPointDistButton" })
            QVERIFY2(!findControl<QPushButton>(w, name)->isEnabled(), name);
        for (const char *name : { "openVideoButton", "analyzeDataButton" })
            QVERIFY2(findControl<QPushButton>(w, name)->isEnabled(), name);
        QVERIFY(!w.findChild<QSlider *>()->isEnabled());
        QCOMPARE(w.view()->text(), QString("Open a video to start"));
        QVERIFY(w.findChild<QSlider *>()->orientation() == Qt::Horizontal);
        // The review buttons carry text only.
        QCOMPARE(findControl<QPushButton>(w, "backButton")->text(), QString("Back"));
        QCOMPARE(findControl<QPushButton>(w, "pauseButton")->text(), QString("Pause"));
        QCOMPARE(findControl<QPushButton>(w, "forwardButton")->text(), QString("Forward"));
        QVERIFY(findControl<QPushButton>(w, "backButton")->icon().isNull());
        QVERIFY(!findControl<QPushButton>(w, "openVideoButton")->icon().isNull());
    }

    void slotsInMetaObjectOrder()
    {
        const QMetaObject &mo = MainWindow::staticMetaObject;
        QStringList slotNames;
        int signalCount = 0;
        for (int i = mo.methodOffset(); i < mo.methodCount(); ++i) {
            const QMetaMethod m = mo.method(i);
            if (m.methodType() == QMetaMethod::Slot)
                slotNames << QString::fromLatin1(m.methodSignature());
            if (m.methodType() == QMetaMethod::Signal)
                ++signalCount;
        }
        const QStringList expected = {
            "LoadVideoFile()",
            "SeekInVideo()",
            "ProcessVideo()",
            "StopProcessing()",
            "ExportVideo()",
            "SetFishArea()",
            "AddNewArea()",
            "AddNewRuler()",
            "AddNewPointDist()",
            "ShowAnalysisWindow()",
            "DoDataProcessing()",
            "GFABlender()",
            "UpdateUI()",
            "EditBack()",
            "EditPauseResume()",
            "EditForward()",
        };
        QCOMPARE(slotNames, expected);
        QCOMPARE(signalCount, 0);
    }

    // The window cannot be made smaller than its controls need, and at start nothing in the
    // control column is squeezed: the two radio buttons lie one under the other.
    void titleAndMinimumSize()
    {
        MainWindow w;
        QCOMPARE(w.windowTitle(), QString("Pondwatch (0.4.0) by Marrowick"));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto *group = w.findChild<QGroupBox *>();
        const auto radios = group->findChildren<QRadioButton *>();
        QVERIFY(radios[0]->geometry().bottom() < radios[1]->geometry().top());
        QVERIFY(radios[1]->geometry().bottom() < group->contentsRect().bottom());
        for (QRadioButton *r : radios)
            QVERIFY(r->width() >= r->sizeHint().width());
        w.resize(100, 100);
        QVERIFY(w.width() >= w.minimumSizeHint().width());
        QVERIFY(w.height() >= w.minimumSizeHint().height());
        QVERIFY(radios[0]->geometry().bottom() < radios[1]->geometry().top());
        QVERIFY(w.width() >= 400);
    }

    void analysisWindowIsOneTopLevelWindow()
    {
        MainWindow w;
        findControl<QPushButton>(w, "analyzeDataButton")->click();
        QWidget *analysis = nullptr;
        for (QWidget *top : QApplication::topLevelWidgets())
            if (top->windowTitle() == "Data Analysis")
                analysis = top;
        QVERIFY(analysis);
        QVERIFY(analysis->isVisible());
        QVERIFY(!analysis->parentWidget());
        findControl<QPushButton>(w, "analyzeDataButton")->click();
        int count = 0;
        for (QWidget *top : QApplication::topLevelWidgets())
            count += top->windowTitle() == "Data Analysis";
        QCOMPARE(count, 1);
    }

    void iconsAreEmbedded()
    {
        for (const char *name : { "fish", "ruler", "record", "export", "add", "fish2", "fish3",
                 "fish4", "video", "folder", "stop", "gear", "pointdist" }) {
            QImage icon(QString(":/images/%1.png").arg(name));
            QVERIFY2(!icon.isNull(), name);
            QCOMPARE(icon.size(), QSize(32, 32));
        }
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
