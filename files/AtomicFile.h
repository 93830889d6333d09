#pragma once
// Writes a whole file or nothing. The bytes go to a temporary file beside the target, which
// replaces the target only once every byte is written and flushed; when anything fails (a
// full disk, a file-size limit, a signal or a crash midway), an earlier file of that name is
// left as it was. Used for every output Pondwatch writes. Any thread; no shared state.

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

// For outputs written by another library (the video encoder): a fresh, empty file beside
// `path` whose name ends as path's does (the encoder picks the container from it), to be
// moved over `path` by commit() once complete, or removed by discard(). Empty on failure.
// commit() gives it the permissions of the file it replaces, else those of a new file.
QString temporarySibling(const QString &path, QString *reason);
bool commit(const QString &temporary, const QString &path, QString *reason);
void discard(const QString &temporary);

} // namespace AtomicFile
