#include "files/AtomicFile.h"

#include <QBuffer>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct Input
{
    dev_t device;
    ino_t inode;
    QString path;
};
// The inputs of this run (protectInput), guarded by inputsLock: the CLI marks them on its main
// thread, the window each video it opens, and outputs may be written from any thread.
std::mutex inputsLock;
std::vector<Input> inputs;

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Why the existing file `status` describes may not take an output at all; empty when it may.
QString inputProblem(const QString &path, const struct stat &status)
{
    if (S_ISDIR(status.st_mode))
        return QStringLiteral("is a folder");
    const std::lock_guard<std::mutex> lock(inputsLock);
    for (const Input &input : inputs)
        if (input.device == status.st_dev && input.inode == status.st_ino)
            return input.path == path
                ? QStringLiteral("is an input of this run; an output never replaces it")
                : QStringLiteral("is the same file as the input %1; an output never replaces "
                                 "an input")
                      .arg(input.path);
    return QString();
}

// Why the existing file may not be replaced by a new regular file; empty when it may.
QString replaceProblem(const QString &path, const struct stat &status)
{
    const QString problem = inputProblem(path, status);
    if (!problem.isEmpty())
        return problem;
    if (S_ISFIFO(status.st_mode))
        return QStringLiteral("is a FIFO; this output is written to a regular file only");
    if (S_ISCHR(status.st_mode))
        return QStringLiteral(
            "is a character device; this output is written to a regular file only");
    if (!S_ISREG(status.st_mode))
        return QStringLiteral("is not a regular file");
    return QString();
}

bool writesThrough(const struct stat &status)
{
    return S_ISFIFO(status.st_mode) || S_ISCHR(status.st_mode);
}

// A FIFO or a character device takes the bytes as they come: there is nothing to replace, and
// renaming a file over it would take the node away from whoever reads it.
AtomicFile::Outcome writeThrough(const QByteArray &path, const QByteArray &bytes, QString *why)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        *why = systemReason(errno);
        return AtomicFile::Outcome::NotCreated;
    }
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            *why = systemReason(written < 0 ? errno : ENOSPC);
            ::close(fd);
            return AtomicFile::Outcome::NotWritten;
        }
        done += written;
    }
    if (::close(fd) != 0 && errno != EINTR) {
        *why = systemReason(errno);
        return AtomicFile::Outcome::NotWritten;
    }
    return AtomicFile::Outcome::Written;
}

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

// Passes every byte on to `file`: a write past a file-size limit stops short without an error,
// and a QTextStream on top would drop the rest unseen; here the rest is written again, which
// fails with the system's reason ("File too large"), kept in `failure`.
class WholeWrites : public QIODevice
{
public:
    explicit WholeWrites(QFileDevice &target)
        : file(target)
    {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    QString failure;

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        qint64 done = 0;
        while (done < size) {
            const qint64 written = file.write(data + done, size - done);
            if (written <= 0) {
                if (failure.isEmpty())
                    failure = file.errorString();
                return -1;
            }
            done += written;
        }
        return size;
    }

private:
    QFileDevice &file;
};

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
    struct stat status = {};
    if (::stat(QFile::encodeName(path).constData(), &status) == 0) {
        if (writesThrough(status)) {
            // What goes into a pipe or a device is written as it comes, in one piece.
            QByteArray bytes;
            {
                QBuffer buffer(&bytes);
                buffer.open(QIODevice::WriteOnly);
                fill(buffer);
            }
            return write(path, bytes, reason);
        }
        const QString problem = replaceProblem(path, status);
        if (!problem.isEmpty())
            return fail(Outcome::NotCreated, problem);
    }
    QSaveFile file(path);
    // The bytes go straight to the temporary file, never whole into memory first: a plate's
    // data file is hundreds of MB.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(Outcome::NotCreated, file.errorString());
    WholeWrites writer(file);
    fill(writer);
    if (!writer.failure.isEmpty() || file.error() != QFileDevice::NoError) {
        const QString why = writer.failure.isEmpty() ? file.errorString() : writer.failure;
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
    // stat() follows a symbolic link: its target is what is written or replaced.
    const QByteArray encoded = QFile::encodeName(path);
    struct stat status = {};
    if (::stat(encoded.constData(), &status) == 0) {
        const QString problem
            = writesThrough(status) ? inputProblem(path, status) : replaceProblem(path, status);
        if (!problem.isEmpty())
            return fail(Outcome::NotCreated, problem);
        if (writesThrough(status)) {
            QString why;
            const Outcome outcome = writeThrough(encoded, bytes, &why);
            return outcome == Outcome::Written ? outcome : fail(outcome, why);
        }
    }
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
    struct stat status = {};
    if (::stat(QFile::encodeName(path).constData(), &status) == 0) {
        const QString problem = replaceProblem(path, status);
        if (!problem.isEmpty()) {
            if (reason)
                *reason = problem;
            return QString();
        }
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
    const bool exists = ::stat(target.constData(), &existing) == 0;
    // Checked again: the node may have come since the temporary file was made.
    const QString problem = exists ? replaceProblem(path, existing) : QString();
    if (!problem.isEmpty()) {
        if (reason)
            *reason = problem;
        QFile::remove(temporary);
        return false;
    }
    ::chmod(QFile::encodeName(temporary).constData(),
        exists ? existing.st_mode & 07777 : newFileMode());
    // rename(2) replaces the target in one step; QFile::rename would refuse an existing one.
    if (std::rename(QFile::encodeName(temporary).constData(), target.constData()) != 0) {
        if (reason)
            *reason = QString::fromLocal8Bit(std::strerror(errno));
        QFile::remove(temporary);
        return false;
    }
    return true;
}

void protectInput(const QString &path)
{
    struct stat status = {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &status) != 0)
        return;
    const std::lock_guard<std::mutex> lock(inputsLock);
    for (const Input &input : inputs)
        if (input.device == status.st_dev && input.inode == status.st_ino && input.path == path)
            return; // a video opened again
    inputs.push_back(Input { status.st_dev, status.st_ino, path });
}

QString problem(const QString &path)
{
    if (path.isEmpty())
        return QStringLiteral("no file name given");
    const QByteArray encoded = QFile::encodeName(path);
    struct stat status = {};
    if (::stat(encoded.constData(), &status) == 0) {
        if (writesThrough(status)) {
            const QString why = inputProblem(path, status);
            if (!why.isEmpty())
                return why;
            // Opening a FIFO to try it would wait for a reader.
            return ::access(encoded.constData(), W_OK) == 0 ? QString() : systemReason(errno);
        }
        const QString why = replaceProblem(path, status);
        if (!why.isEmpty())
            return why;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    file.cancelWriting();
    return QString();
}

void discard(const QString &temporary)
{
    if (!temporary.isEmpty())
        QFile::remove(temporary);
}

} // namespace AtomicFile
