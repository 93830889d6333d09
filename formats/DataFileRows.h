#pragma once
// The rows of a multi-fish tracking data file as text, for tools that read columns by name and
// may rewrite some fields while leaving every other byte as it was (the identity swap). Each
// row's frame is the 0-based index of its decoded picture: its "Frame" field when the file has
// that column (the whole-video background method writes it), else counted from the first
// row, whose index is its time over the rows' own frame period (exact only for a video whose
// first picture lies at 0 s and whose pictures come at an even rate). GUI-free; any thread.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

class DataFileRows
{
public:
    // Reads a multi-fish file's text. False with a one-line reason (naming no file) when it
    // is no multi-fish data file, a row has fewer fields than the column header has names,
    // or the fish count is beyond the limits.
    bool parse(const QByteArray &text, QString *error);

    int fishCount() const { return fish; }
    int rowCount() const { return int(rowLines.size()); }
    // The column of `name` (-1: none).
    int column(const QString &name) const { return columns.value(name, -1); }
    const QStringList &columnNames() const { return names; }
    // Field `column` of row `row`, as written.
    QString field(int row, int column) const;
    double number(int row, int column) const { return field(row, column).toDouble(); }
    double seconds(int row) const { return times[row]; }
    qint64 frame(int row) const { return frames.isEmpty() ? firstFrame + row : frames[row]; }
    // The first row at frame `frame` or after (rowCount() when none).
    int rowAtFrame(qint64 frame) const;

    // The text with fields `a` and `b` of every row from `fromRow` on exchanged; every other
    // byte as it was.
    QByteArray withFieldsSwapped(const QVector<QPair<int, int>> &pairs, int fromRow) const;

private:
    // Where each field of a line lies: start and length in the line.
    static QVector<QPair<int, int>> spans(const QByteArray &line);

    QList<QByteArray> lines; // split at '\n', each without it
    QStringList names;
    QHash<QString, int> columns;
    QVector<int> rowLines; // the line of each row
    QVector<QVector<QPair<int, int>>> rowSpans;
    QVector<double> times;
    QVector<qint64> frames; // each row's "Frame" field; empty when the file has none
    int fish = 0;
    qint64 firstFrame = 0;
};
