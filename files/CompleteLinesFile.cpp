#include "files/CompleteLinesFile.h"

#include <QMutex>
#include <QMutexLocker>
#include <QSet>

#include <algorithm>

namespace {

QMutex warnedLock;
QSet<QString> warned; // guarded by warnedLock

// The digits after the decimal point, or -1 for a field without one.
int decimals(const QByteArray &field)
{
    const int dot = int(field.indexOf('.'));
    return dot < 0 ? -1 : int(field.size()) - dot - 1;
}

// Whether `last` (no newline after it) is a whole row by the measure of the row before it.
bool wholeRow(const QByteArray &before, const QByteArray &last)
{
    const QList<QByteArray> a = before.simplified().split(' ');
    const QList<QByteArray> b = last.simplified().split(' ');
    if (a.size() != b.size() || last.trimmed().isEmpty())
        return false;
    for (int i = 0; i < a.size(); ++i)
        if (decimals(a[i]) != decimals(b[i]))
            return false;
    return true;
}

} // namespace

CompleteLinesFile::CompleteLinesFile(const QString &path)
    : file(path)
{
}

bool CompleteLinesFile::open(OpenMode mode)
{
    if ((mode & WriteOnly) || !file.open(QIODevice::ReadOnly)) {
        setErrorString(file.errorString());
        return false;
    }
    limit = file.size();
    // The tail holds the last two lines unless they are long; a longer one is no row a
    // writer of this program cut short, and is read as it is.
    const qint64 tail = std::min<qint64>(limit, 1 << 16);
    file.seek(limit - tail);
    const QByteArray end = file.read(tail);
    if (!end.isEmpty() && !end.endsWith('\n')) {
        const int lastNewline = int(end.lastIndexOf('\n'));
        const QByteArray last = end.mid(lastNewline + 1);
        const int before = lastNewline > 0 ? int(end.lastIndexOf('\n', lastNewline - 1)) : -1;
        const QByteArray previous
            = lastNewline >= 0 ? end.mid(before + 1, lastNewline - before - 1) : QByteArray();
        if ((lastNewline >= 0 || tail == limit) && !wholeRow(previous, last)) {
            limit -= last.size();
            QMutexLocker locker(&warnedLock);
            if (!warned.contains(file.fileName())) {
                warned.insert(file.fileName());
                qWarning("%s ends in a line cut short (%lld bytes without a newline, as a "
                         "session that was killed leaves it); the rows before it are read",
                    qPrintable(file.fileName()), static_cast<long long>(last.size()));
            }
        }
    }
    file.seek(0);
    return QIODevice::open(mode & (ReadOnly | Text));
}

void CompleteLinesFile::close()
{
    QIODevice::close();
    file.close();
}

bool CompleteLinesFile::seek(qint64 pos)
{
    return pos <= limit && QIODevice::seek(pos) && file.seek(pos);
}

qint64 CompleteLinesFile::readData(char *data, qint64 maxSize)
{
    const qint64 n = std::min(maxSize, limit - file.pos());
    return n <= 0 ? 0 : file.read(data, n);
}
