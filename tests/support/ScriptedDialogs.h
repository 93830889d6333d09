#pragma once
// Dialogs for tests: answers come from queues filled by the test, and every message box is
// recorded. An unexpected dialog (an empty queue) or an unexpected message fails the test
// through QTest's failure reporting at the next check.

#include "ui/Dialogs.h"

#include <QList>
#include <QQueue>
#include <QStringList>
#include <QVariant>

struct RecordedMessage
{
    QString kind; // "critical" or "information"
    QString title;
    QString text;
};

struct RecordedQuestion
{
    QString kind; // "open", "save", "text", "item", "integer", "real", "choice"
    QString caption;
    QString dir;
    QString filter; // for input dialogs: the label
};

class ScriptedDialogs : public Dialogs
{
public:
    // Installs itself for its lifetime.
    ScriptedDialogs();
    ~ScriptedDialogs() override;

    // Queue answers. A null QString answers a file or text dialog as cancelled.
    void queueFile(const QString &path);
    void queueText(const QString &text);
    void queueInteger(int value, bool ok = true);
    void queueReal(double value, bool ok = true);
    // The index of the button a choice() answers with (-1: the box closed).
    void queueChoice(int index);

    QList<RecordedMessage> messages;
    QList<RecordedQuestion> questions;
    // Dialogs asked for with nothing queued (each one is a test failure).
    QStringList unexpected;

    QString openFileName(QWidget *parent, const QString &caption, const QString &dir,
        const QString &filter) override;
    QString saveFileName(QWidget *parent, const QString &caption, const QString &dir,
        const QString &filter) override;
    QString text(QWidget *parent, const QString &title, const QString &label) override;
    int integer(QWidget *parent, const QString &title, const QString &label, int value, int min,
        int max, int step, bool *ok) override;
    double real(QWidget *parent, const QString &title, const QString &label, double value,
        double min, double max, int decimals, bool *ok) override;
    // Answered from the text queue.
    QString item(QWidget *parent, const QString &title, const QString &label,
        const QStringList &items) override;
    void critical(QWidget *parent, const QString &title, const QString &text) override;
    void information(QWidget *parent, const QString &title, const QString &text) override;
    // Records the question (caption: title, dir: the buttons joined by '|', filter: the text).
    int choice(QWidget *parent, const QString &title, const QString &text,
        const QStringList &buttons) override;

    // Every dialog asked for with nothing queued and every message shown, one per line;
    // empty when the test saw none it did not take.
    QString unexpectedSummary() const;

    // Takes the recorded messages (so the next check starts empty).
    QList<RecordedMessage> takeMessages();

private:
    Dialogs *previous = nullptr;
    QQueue<QString> files;
    QQueue<QString> texts;
    QQueue<QPair<int, bool>> integers;
    QQueue<QPair<double, bool>> reals;
    QQueue<int> choices;
};
