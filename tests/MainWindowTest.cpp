// The main window as built: controls, their order, defaults, ranges, enabled states,
// the slots of the meta-object and the read accessors.

#include "app/MainWindow.h"
#include "support/ScriptedDialogs.h"

#include <QGroupBox>
#include <QMetaMethod>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QVBoxLayout>

namespace {

// The widgets of the control column, top to bottom.
QList<QWidget *> controlColumn(MainWindow &w)
{
    auto *open = w.findChild<QPushButton *>(QString(), Qt::FindChildrenRecursively);
    QList<QWidget *> widgets;
    for (QPushButton *b : w.findChildren<QPushButton *>())
        if (b->text() == "Open Video File...")
            open = b;
    auto *layout = qobject_cast<QVBoxLayout *>(open->parentWidget()->layout());
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

QPushButton *button(MainWindow &w, const QString &text)
{
    for (QPushButton *b : w.findChildren<QPushButton *>())
        if (b->text() == text)
            return b;
    return nullptr;
}

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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
        const QList<QWidget *> column = controlColumn(w);
        auto *fish = qobject_cast<QSpinBox *>(column[6]);
        auto *frames = qobject_cast<QSpinBox *>(column[8]);
        auto *threshold = qobject_cast<QDoubleSpinBox *>(column[10]);
        auto *variance = qobject_cast<QDoubleSpinBox *>(column[12]);
        auto *filter = qobject_cast<QSpinBox *>(column[14]);
        auto *group = qobject_cast<QGroupBox *>(column[15]);
        auto *trackerView = qobject_cast<QCheckBox *>(column[17]);

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

    void initialEnabledStates()
    {
        MainWindow w;
        for (const char *text : { "Process Video", "Stop Processing", "Back", "Pause", "Forward" })
            QVERIFY2(!button(w, text)->isEnabled(), text);
        for (const char *text : { "Open Video File...", "Set Tracking Area", "Add New Zone...",
                 "Add New Ruler...", "Add Point Distance...", "Analyze Data..." })
            QVERIFY2(button(w, text)->isEnabled(), text);
        QVERIFY(w.findChild<QSlider *>()->isEnabled());
        QVERIFY(w.findChild<QSlider *>()->orientation() == Qt::Horizontal);
        // The review buttons carry text only.
        QVERIFY(button(w, "Back")->icon().isNull());
        QVERIFY(!button(w, "Open Video File...")->icon().isNull());
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

    void titleAndMinimumSize()
    {
        MainWindow w;
        QCOMPARE(w.windowTitle(), QString("Pondwatch (0.4.0) by Marrowick"));
        QCOMPARE(w.minimumSize(), QSize(600, 400));
        w.show();
        w.resize(100, 100);
        QVERIFY(w.width() >= 600);
        QVERIFY(w.height() >= 400);
    }

    void analysisWindowIsOneTopLevelWindow()
    {
        MainWindow w;
        button(w, "Analyze Data...")->click();
        QWidget *analysis = nullptr;
        for (QWidget *top : QApplication::topLevelWidgets())
            if (top->windowTitle() == "Data Analysis")
                analysis = top;
        QVERIFY(analysis);
        QVERIFY(analysis->isVisible());
        QVERIFY(!analysis->parentWidget());
        button(w, "Analyze Data...")->click();
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
