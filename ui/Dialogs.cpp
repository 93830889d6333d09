#include "ui/Dialogs.h"

#include "files/UserPath.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace {
QtDialogs qtDialogs;
Dialogs *installed = nullptr; // GUI thread only
} // namespace

Dialogs &Dialogs::current()
{
    return installed ? *installed : qtDialogs;
}

Dialogs *Dialogs::install(Dialogs *dialogs)
{
    Dialogs *previous = installed;
    installed = dialogs;
    return previous;
}

QString QtDialogs::openFileName(
    QWidget *parent, const QString &caption, const QString &dir, const QString &filter)
{
    // A name typed into Qt's own dialog may start with ':'; it is a file, never a resource.
    return UserPath::local(QFileDialog::getOpenFileName(parent, caption, dir, filter));
}

QString QtDialogs::saveFileName(
    QWidget *parent, const QString &caption, const QString &dir, const QString &filter)
{
    return UserPath::local(QFileDialog::getSaveFileName(parent, caption, dir, filter));
}

QString QtDialogs::text(QWidget *parent, const QString &title, const QString &label)
{
    bool ok = false;
    const QString result
        = QInputDialog::getText(parent, title, label, QLineEdit::Normal, QString(), &ok);
    return ok ? (result.isNull() ? QStringLiteral("") : result) : QString();
}

int QtDialogs::integer(QWidget *parent, const QString &title, const QString &label, int value,
    int min, int max, int step, bool *ok)
{
    return QInputDialog::getInt(parent, title, label, value, min, max, step, ok);
}

double QtDialogs::real(QWidget *parent, const QString &title, const QString &label, double value,
    double min, double max, int decimals, bool *ok)
{
    return QInputDialog::getDouble(parent, title, label, value, min, max, decimals, ok);
}

QString QtDialogs::item(
    QWidget *parent, const QString &title, const QString &label, const QStringList &items)
{
    bool ok = false;
    const QString chosen = QInputDialog::getItem(parent, title, label, items, 0, false, &ok);
    return ok ? chosen : QString();
}

void QtDialogs::critical(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox::critical(parent, title, text, QMessageBox::Ok);
}

void QtDialogs::information(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox::information(parent, title, text, QMessageBox::Ok);
}

int QtDialogs::choice(
    QWidget *parent, const QString &title, const QString &text, const QStringList &buttons)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, parent);
    QList<QAbstractButton *> added;
    for (int i = 0; i < buttons.size(); ++i)
        added << box.addButton(buttons[i],
            i + 1 == buttons.size() ? QMessageBox::RejectRole : QMessageBox::AcceptRole);
    if (!added.isEmpty()) {
        box.setDefaultButton(qobject_cast<QPushButton *>(added.first()));
        box.setEscapeButton(added.last());
    }
    box.exec();
    return int(added.indexOf(box.clickedButton()));
}

QString Dialogs::withExtension(const QString &path, const QString &extension)
{
    if (path.isEmpty() || !QFileInfo(path).suffix().isEmpty())
        return path;
    return path + extension;
}
