#include "formats/IdentityReviewFile.h"

#include "files/AtomicFile.h"
#include "files/InputFile.h"
#include "formats/IdentitySwap.h"

#include <QFile>

#include <algorithm>
#include <cmath>

namespace {

// The whole file; false with the system's reason.
bool readAll(const QString &path, QByteArray *text, QString *error)
{
    const QString problem = InputFile::textProblem(path);
    if (!problem.isEmpty()) {
        *error = problem;
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    *text = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace

bool IdentityReviewFile::open(const QString &path, QString *error)
{
    QByteArray text;
    QString why;
    IdentityReviewFile next;
    if (!readAll(path, &text, &why) || !next.take(text, &why)) {
        if (error)
            *error = why;
        return false;
    }
    next.filePath = path;
    *this = std::move(next);
    return true;
}

void IdentityReviewFile::close()
{
    *this = IdentityReviewFile();
}

bool IdentityReviewFile::take(const QByteArray &text, QString *error)
{
    DataFileRows parsed;
    if (!parsed.parse(text, error))
        return false;
    if (parsed.rowCount() == 0) {
        if (error)
            *error = QStringLiteral("it has no rows");
        return false;
    }
    table = std::move(parsed);
    bytes = text;
    found = IdentityEvents::find(table);
    return true;
}

QVector<QPointF> IdentityReviewFile::positions(int row) const
{
    QVector<QPointF> result;
    for (int k = 1; k <= table.fishCount(); ++k) {
        const double x = table.number(row, table.column(QStringLiteral("Fish%1X").arg(k)));
        const double y = table.number(row, table.column(QStringLiteral("Fish%1Y").arg(k)));
        result << (std::isfinite(x) && std::isfinite(y) ? QPointF(x, y) : QPointF());
    }
    return result;
}

TrackRecord IdentityReviewFile::record(int row) const
{
    TrackRecord r;
    r.frameNumber = table.frame(row);
    r.seconds = float(table.seconds(row));
    const QVector<QPointF> at = positions(row);
    for (int k = 1; k <= table.fishCount(); ++k) {
        const QPointF p = at[k - 1];
        r.fishPositions << QPoint(int(std::lround(p.x())), int(std::lround(p.y())));
        r.fishFoundFlags
            << (table.field(row, table.column(QStringLiteral("Fish%1Conf?").arg(k))).toInt() != 0);
        const int heading = table.column(QStringLiteral("Fish%1Heading").arg(k));
        const int length = table.column(QStringLiteral("Fish%1BodyLength").arg(k));
        if (heading >= 0 && length >= 0) {
            const double h = table.number(row, heading), l = table.number(row, length);
            r.headings << float(std::isfinite(h) ? h : 0.0);
            r.bodyLengths << float(std::isfinite(l) && l > 0 && l < 1e6 ? l : 0.0);
        }
    }
    return r;
}

qint64 IdentityReviewFile::msOf(int row) const
{
    const double ms = table.seconds(row) * 1000.0;
    return std::isfinite(ms) && std::fabs(ms) < 1e15 ? qint64(std::llround(ms)) : 0;
}

int IdentityReviewFile::rowAtMs(qint64 ms) const
{
    // Rows ascend in time; a binary search over their whole-ms times.
    int low = 0, high = table.rowCount();
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (msOf(middle) < ms)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

bool IdentityReviewFile::swap(int a, int b, qint64 fromFrame, QString *error)
{
    QString why;
    auto fail = [error, &why]() {
        if (error)
            *error = why;
        return false;
    };
    QByteArray now;
    if (!readAll(filePath, &now, &why))
        return fail();
    if (now != bytes) {
        why = QStringLiteral("it was changed by another program since it was opened; open it "
                             "for review again");
        return fail();
    }
    QByteArray mended;
    if (!IdentitySwap::swap(table, a, b, fromFrame, &mended, &why))
        return fail();
    if (AtomicFile::write(filePath, mended, &why) != AtomicFile::Outcome::Written)
        return fail();
    // The mended text parses as the original did: only fields traded places.
    if (!take(mended, &why))
        return fail();
    return true;
}
