#include "files/AtomicFile.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {

// The permissions a file created now gets: 0666 less the process's umask, which Linux shows
// in /proc (setting the umask to read it would race with files other threads create).
mode_t newFileMode()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        while (!status.atEnd()) {
            const QByteArray line = status.readLine();
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok)
                    return mode_t(0666 & ~mask);
            }
        }
    }
    return 0644;
}

} // namespace

namespace AtomicFile {

Outcome write(
    const QString &path, const std::function<void(QIODevice &device)> &fill, QString *reason)
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
    // The bytes go straight to the temporary file, never whole into memory first: a plate's
    // data file is hundreds of MB. A write that fails leaves the device's error set.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(Outcome::NotCreated, file.errorString());
    fill(file);
    if (file.error() != QFileDevice::NoError) {
        const QString why = file.errorString();
        file.cancelWriting();
        return fail(Outcome::NotWritten, why);
    }
    if (!file.commit())
        return fail(Outcome::NotWritten, file.errorString());
    return Outcome::Written;
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
    // The temporary file was made for its owner alone; the output gets the permissions of the
    // file it replaces, or those of a new file, as QSaveFile gives them to the other outputs.
    const QByteArray target = QFile::encodeName(path);
    struct stat existing = {};
    ::chmod(QFile::encodeName(temporary).constData(),
        ::stat(target.constData(), &existing) == 0 ? existing.st_mode & 07777 : newFileMode());
    // rename(2) replaces the target in one step; QFile::rename would refuse an existing one.
    if (std::rename(QFile::encodeName(temporary).constData(), target.constData()) != 0) {
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
