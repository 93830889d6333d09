#include "support/ScriptedDialogs.h"

ScriptedDialogs::ScriptedDialogs()
{
    previous = Dialogs::install(this);
}
ScriptedDialogs::~ScriptedDialogs()
{
    Dialogs::install(previous);
}

void ScriptedDialogs::queueFile(const QString &path)
{
    files.enqueue(path);
}
void ScriptedDialogs::queueText(const QString &text)
{
    texts.enqueue(text);
}
void ScriptedDialogs::queueInteger(int value, bool ok)
{
    integers.enqueue({ value, ok });
}
void ScriptedDialogs::queueReal(double value, bool ok)
{
    reals.enqueue({ value, ok });
}

QString ScriptedDialogs::openFileName(
    QWidget *, const QString &caption, const QString &dir, const QString &filter)
{
    questions.append({ "open", caption, dir, filter });
    if (files.isEmpty()) {
        unexpected << "open file dialog: " + caption;
        return QString();
    }
    return files.dequeue();
}

QString ScriptedDialogs::saveFileName(
    QWidget *, const QString &caption, const QString &dir, const QString &filter)
{
    questions.append({ "save", caption, dir, filter });
    if (files.isEmpty()) {
        unexpected << "save file dialog: " + caption;
        return QString();
    }
    return files.dequeue();
}

QString ScriptedDialogs::text(QWidget *, const QString &title, const QString &label)
{
    questions.append({ "text", title, QString(), label });
    if (texts.isEmpty()) {
        unexpected << "text dialog: " + label;
        return QString();
    }
    return texts.dequeue();
}

QString ScriptedDialogs::item(
    QWidget *, const QString &title, const QString &label, const QStringList &items)
{
    questions.append({ "item", title, items.join(QLatin1Char('|')), label });
    if (texts.isEmpty()) {
        unexpected << "item dialog: " + label;
        return QString();
    }
    return texts.dequeue();
}

int ScriptedDialogs::integer(
    QWidget *, const QString &title, const QString &label, int value, int, int, int, bool *ok)
{
    questions.append({ "integer", title, QString(), label });
    if (integers.isEmpty()) {
        unexpected << "integer dialog: " + label;
        if (ok)
            *ok = false;
        return value;
    }
    const auto answer = integers.dequeue();
    if (ok)
        *ok = answer.second;
    return answer.second ? answer.first : value;
}

double ScriptedDialogs::real(QWidget *, const QString &title, const QString &label, double value,
    double, double, int, bool *ok)
{
    questions.append({ "real", title, QString(), label });
    if (reals.isEmpty()) {
        unexpected << "real dialog: " + label;
        if (ok)
            *ok = false;
        return value;
    }
    const auto answer = reals.dequeue();
    if (ok)
        *ok = answer.second;
    return answer.second ? answer.first : value;
}

void ScriptedDialogs::queueChoice(int index)
{
    choices.enqueue(index);
}

int ScriptedDialogs::choice(
    QWidget *, const QString &title, const QString &text, const QStringList &buttons)
{
    questions.append({ "choice", title, buttons.join('|'), text });
    if (choices.isEmpty()) {
        unexpected << "choice: " + title;
        return -1;
    }
    return choices.dequeue();
}

void ScriptedDialogs::critical(QWidget *, const QString &title, const QString &text)
{
    messages.append({ "critical", title, text });
}

void ScriptedDialogs::information(QWidget *, const QString &title, const QString &text)
{
    messages.append({ "information", title, text });
}

QString ScriptedDialogs::unexpectedSummary() const
{
    QStringList lines = unexpected;
    for (const RecordedMessage &m : messages)
        lines << "unexpected message: " + m.title + " / " + m.text;
    return lines.join('\n');
}

QList<RecordedMessage> ScriptedDialogs::takeMessages()
{
    QList<RecordedMessage> taken = messages;
    messages.clear();
    return taken;
}
