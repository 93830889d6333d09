#pragma once
// What is wrong with an input file before it is read, in the words a message shows after the
// file's name: "not found", "is a folder", "Permission denied", "is empty", "is not a text
// file". Any thread; no shared state.

#include <QString>

namespace InputFile {

// Empty when `path` names a regular file that can be opened for reading.
QString problem(const QString &path);
// As problem(), and "is not a text file" when its first 64 KiB hold a NUL byte (a video
// given where a data file belongs).
QString textProblem(const QString &path);

} // namespace InputFile
