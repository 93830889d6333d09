#include "batch/BatchSummary.h"

#include "files/AtomicFile.h"

namespace {

// A CSV cell: quoted when it holds a comma, a quote or a line break.
QString cell(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"'))
        && !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

QString BatchOutcome::statusName(Status status)
{
    switch (status) {
    case Status::NotStarted:
        return QStringLiteral("not started");
    case Status::Done:
        return QStringLiteral("done");
    case Status::Failed:
        return QStringLiteral("failed");
    case Status::Skipped:
        return QStringLiteral("skipped");
    case Status::Stopped:
        return QStringLiteral("stopped");
    case Status::Running:
        return QStringLiteral("running");
    }
    return QString();
}

namespace BatchSummary {

QByteArray csv(const QVector<BatchOutcome> &outcomes)
{
    QString text = QStringLiteral("video,data_file,status,exit_code,message,rows,seconds\n");
    for (const BatchOutcome &o : outcomes) {
        const QStringList cells {
            cell(o.video),
            cell(o.dataFile),
            BatchOutcome::statusName(o.status),
            o.exitCode >= 0 ? QString::number(o.exitCode) : QString(),
            cell(o.message),
            o.rows >= 0 ? QString::number(o.rows) : QString(),
            QString::number(o.seconds, 'f', 1),
        };
        text += cells.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    return text.toUtf8();
}

bool write(const QString &path, const QVector<BatchOutcome> &outcomes, QString *error)
{
    QString reason;
    if (AtomicFile::write(path, csv(outcomes), &reason) == AtomicFile::Outcome::Written)
        return true;
    *error = QStringLiteral("cannot write %1: %2").arg(path, reason);
    return false;
}

} // namespace BatchSummary
