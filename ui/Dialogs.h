#pragma once
// Every file dialog, input dialog and message box of the windows goes through this
// interface. The default shows Qt's static dialogs; tests install a scripted one that
// answers from a queue and records each message, so nothing waits on a real modal dialog.

#include <QString>
#include <QStringList>

class QWidget;

class Dialogs
{
public:
    virtual ~Dialogs() = default;

    virtual QString openFileName(
        QWidget *parent, const QString &caption, const QString &dir, const QString &filter)
        = 0;
    virtual QString saveFileName(
        QWidget *parent, const QString &caption, const QString &dir, const QString &filter)
        = 0;
    // A null string when cancelled.
    virtual QString text(QWidget *parent, const QString &title, const QString &label) = 0;
    virtual int integer(QWidget *parent, const QString &title, const QString &label, int value,
        int min, int max, int step, bool *ok)
        = 0;
    virtual double real(QWidget *parent, const QString &title, const QString &label, double value,
        double min, double max, int decimals, bool *ok)
        = 0;
    // One of `items` (the first preselected); a null string when cancelled.
    virtual QString item(
        QWidget *parent, const QString &title, const QString &label, const QStringList &items)
        = 0;
    virtual void critical(QWidget *parent, const QString &title, const QString &text) = 0;
    virtual void information(QWidget *parent, const QString &title, const QString &text) = 0;
    // A question answered by one of `buttons` (the last one is the safe choice that Escape
    // picks): the index of the button chosen, or -1 when the box was closed.
    virtual int choice(
        QWidget *parent, const QString &title, const QString &text, const QStringList &buttons)
        = 0;

    // `path` with `extension` (".txt") added when its file name has none, as the filter the
    // dialog showed promised; an empty path stays empty.
    static QString withExtension(const QString &path, const QString &extension);

    // The dialogs in use; Qt's own unless a test installed others.
    static Dialogs &current();
    // Installs `dialogs` (not owned) and returns the previous ones; nullptr restores Qt's.
    static Dialogs *install(Dialogs *dialogs);
};

// Qt's static dialogs, with the parent, captions, filters and texts given.
class QtDialogs : public Dialogs
{
public:
    QString openFileName(QWidget *parent, const QString &caption, const QString &dir,
        const QString &filter) override;
    QString saveFileName(QWidget *parent, const QString &caption, const QString &dir,
        const QString &filter) override;
    QString text(QWidget *parent, const QString &title, const QString &label) override;
    int integer(QWidget *parent, const QString &title, const QString &label, int value, int min,
        int max, int step, bool *ok) override;
    double real(QWidget *parent, const QString &title, const QString &label, double value,
        double min, double max, int decimals, bool *ok) override;
    QString item(QWidget *parent, const QString &title, const QString &label,
        const QStringList &items) override;
    void critical(QWidget *parent, const QString &title, const QString &text) override;
    void information(QWidget *parent, const QString &title, const QString &text) override;
    int choice(QWidget *parent, const QString &title, const QString &text,
        const QStringList &buttons) override;
};
