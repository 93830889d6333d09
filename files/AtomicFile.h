#pragma once
// Writes a whole file or nothing. The bytes go to a temporary file beside the target, which
// replaces the target only once every byte is written and flushed; when anything fails (a
// full disk, a file-size limit, a signal or a crash midway), an earlier file of that name is
// left as it was. Only a regular file is ever replaced: a FIFO or a character device (a pipe
// to another program, /dev/null) is written straight into, anything else that is no regular
// file is refused, and so is a file that is one of the run's inputs under any name. Used for
// every output Pondwatch writes. Any thread; the inputs are guarded by one mutex.

#include <QString>

#include <functional>

class QIODevice;

namespace AtomicFile {

enum class Outcome {
    Written,
    NotCreated, // the file could not be created (no such folder, permission denied...)
    NotWritten, // created, but a write failed (no space left, file size limit...)
};
// Writes what fill() writes to `device`. On failure sets *reason to the system's reason
// ("No space left on device", "File too large", "Permission denied"...).
Outcome write(
    const QString &path, const std::function<void(QIODevice &device)> &fill, QString *reason);
Outcome write(const QString &path, const QByteArray &bytes, QString *reason);

// Marks `path` as an input of this run: no output may replace it, whatever name it is given
// (hard links and symbolic links included: the device and inode are compared). A path that
// names no file is ignored.
void protectInput(const QString &path);
// Why `path` cannot take an output, in the words a message shows after its name ("is a
// folder", "is the input ...", "Permission denied"); empty when it can. For finding out
// before a long run what would only fail at its end. Nothing is created.
QString problem(const QString &path);

// For outputs written by another library (the video encoder): a fresh, empty file beside
// `path` whose name ends as path's does (the encoder picks the container from it), to be
// moved over `path` by commit() once complete, or removed by discard(). Empty on failure.
// commit() gives it the permissions of the file it replaces, else those of a new file.
QString temporarySibling(const QString &path, QString *reason);
bool commit(const QString &temporary, const QString &path, QString *reason);
void discard(const QString &temporary);

} // namespace AtomicFile
