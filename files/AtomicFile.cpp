#include "files/AtomicFile.h"

#include <QBuffer>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace AtomicFile {

Outcome write(
    const QString &path, const std::function<void(QIODevice &device)> &fill, QString *reason)
{
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        fill(buffer);
    }
    return write(path, bytes, reason);
}

Outcome write(const QString &path, const QByteArray &bytes, QString *reason)
{
    const auto fail = [reason](Outcome outcome, const QString &why) {
        if (reason)
            *reason = why;
        return outcome;
    };
    if (path.isEmpty())
        return fail(Outcome::NotCreated, QStringLiteral("no file name given"));
    if (QFileInfo(path).isDir())
        return fail(Outcome::NotCreated, QStringLiteral("is a folder"));
    QSaveFile file(path);
    // Unbuffered, so that every write reaches the system here and a short write is seen: the
    // write after it fails with the system's reason (past a file-size limit, a write stops at
    // the limit and only the next one reports "File too large").
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(Outcome::NotCreated, file.errorString());
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0) {
            const QString why = file.errorString();
            file.cancelWriting();
            return fail(Outcome::NotWritten, why);
        }
        done += written;
    }
    if (!file.commit())
        return fail(Outcome::NotWritten, file.errorString());
    return Outcome::Written;
}

QString temporarySibling(const QString &path, QString *reason)
{
    const QFileInfo target(path);
    if (target.isDir()) {
        if (reason)
            *reason = QStringLiteral("is a folder");
        return QString();
    }
    const QString suffix
        = target.suffix().isEmpty() ? QString() : QLatin1Char('.') + target.suffix();
    QTemporaryFile file(target.absolutePath() + QLatin1Char('/') + target.completeBaseName()
        + QStringLiteral(".XXXXXX.part") + suffix);
    file.setAutoRemove(false);
    if (!file.open()) {
        if (reason)
            *reason = file.errorString();
        return QString();
    }
    return file.fileName();
}

bool commit(const QString &temporary, const QString &path, QString *reason)
{
    // rename(2) replaces the target in one step; QFile::rename would refuse an existing one.
    if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData())
        != 0) {
        if (reason)
            *reason = QString::fromLocal8Bit(std::strerror(errno));
        QFile::remove(temporary);
        return false;
    }
    return true;
}

void discard(const QString &temporary)
{
    if (!temporary.isEmpty())
        QFile::remove(temporary);
}

} // namespace AtomicFile
