#pragma once
// Answers the next "Add Arena Grid" dialog as a user would: fills its fields and presses OK,
// from a timer that fires once the dialog is open. A grid the dialog refuses (OK disabled) is
// cancelled. `said`, when given, receives what the dialog said of the wells and fish.

#include "ui/ArenaGridDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

inline void answerGridDialog(const GridChoice &c, QString *said = nullptr)
{
    QTimer::singleShot(0, [c, said] {
        auto *dialog = qobject_cast<ArenaGridDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            qFatal("no arena grid dialog is open");
        const auto spin = [dialog](const char *name) {
            return dialog->findChild<QSpinBox *>(QLatin1String(name));
        };
        spin("gridRowsSpin")->setValue(c.rows);
        spin("gridColumnsSpin")->setValue(c.columns);
        dialog->findChild<QComboBox *>(QStringLiteral("gridShapeCombo"))
            ->setCurrentIndex(c.shape == Arena::Shape::Ellipse ? 0 : 1);
        spin("gridFishSpin")->setValue(c.fishPerWell);
        dialog->findChild<QDoubleSpinBox *>(QStringLiteral("gridWellSpin"))->setValue(c.wellMm);
        if (said)
            *said = dialog->findChild<QLabel *>(QStringLiteral("gridTotalLabel"))->text();
        QPushButton *ok = dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
        if (ok->isEnabled())
            ok->click();
        else
            dialog->reject();
    });
}
