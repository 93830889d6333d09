#pragma once
// A multi-fish data file opened for a review of its identities: its rows, the moments where
// identities may have changed, every fish's stored position in a row, and identity swaps
// written whole through AtomicFile. A swap first checks that the file still holds the bytes
// it was read with, so that a file changed meanwhile by another program is never overwritten
// from an older copy; a swap that cannot be written leaves the file as it was. GUI-free.

#include "formats/DataFileRows.h"
#include "formats/IdentityEvents.h"
#include "model/TrackRecord.h"

#include <QByteArray>
#include <QPointF>
#include <QString>
#include <QVector>

class IdentityReviewFile
{
public:
    // Reads `path`. False with a one-line reason (naming no file) when it cannot be read or
    // is no multi-fish data file; what was open before stays open then.
    bool open(const QString &path, QString *error);
    bool isOpen() const { return !filePath.isEmpty(); }
    void close();

    QString path() const { return filePath; }
    const DataFileRows &rows() const { return table; }
    const QVector<IdentityEvent> &events() const { return found; }
    // Every fish's stored position in row `row`, fish 1 first (a fish not found is at the
    // place its row holds).
    QVector<QPointF> positions(int row) const;
    // Row `row` as the view draws a record: each fish's position (whole pixels), whether it
    // was found, and its heading and body length where the file has them.
    TrackRecord record(int row) const;
    // The row whose time is `ms` as the decoder reports a picture's time (whole ms), or the
    // first one after it; rowCount() when none.
    int rowAtMs(qint64 ms) const;
    // A row's time in whole ms, as the decoder reported it.
    qint64 msOf(int row) const;

    // Fish a and b (1-based) trade their columns in every row from frame `fromFrame` on, and
    // the file is rewritten. False with a one-line reason when the fish are not in the file,
    // the file changed since it was read, or it cannot be written (the file is then as it was).
    bool swap(int a, int b, qint64 fromFrame, QString *error);

private:
    bool take(const QByteArray &text, QString *error);

    QString filePath;
    QByteArray bytes; // the file as read or last written
    DataFileRows table;
    QVector<IdentityEvent> found;
};
