#pragma once
// What became of each video of a batch, and the summary CSV that lists it: one row per video
// in the manifest's order, written whole or not at all. GUI-free; any thread.

#include <QString>
#include <QVector>

struct BatchOutcome
{
    enum class Status { NotStarted, Done, Failed, Skipped, Stopped, Running };

    QString video;
    QString dataFile;
    Status status = Status::NotStarted;
    int exitCode = -1; // the track run's exit code; -1 when it never ran or crashed
    QString message; // the run's last message, or why it was skipped
    qint64 rows = -1; // records tracked; -1 when unknown
    double seconds = 0.0; // wall-clock time of the run

    static QString statusName(Status status);
};

namespace BatchSummary {

// The CSV text: a header, then video,data_file,status,exit_code,message,rows,seconds per row.
QByteArray csv(const QVector<BatchOutcome> &outcomes);
// Writes csv(outcomes) to path atomically; false with the reason on failure.
bool write(const QString &path, const QVector<BatchOutcome> &outcomes, QString *error);

} // namespace BatchSummary
