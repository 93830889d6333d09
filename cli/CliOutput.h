#pragma once
// Where pondwatch-cli writes its own standard output: the video library prints its banner and
// stream dumps with printf, so the real standard output is kept aside for the command's
// results, and what is printed to file descriptor 1 goes nowhere (or to standard error with
// --verbose). Main thread only, at start-up.

#include <QByteArray>
#include <QString>

#include <cstdio>

namespace CliOutput {

// Sets the real standard output aside; call once, before anything is printed.
void divertLibraryOutput();
// --verbose: what is printed to file descriptor 1 goes to standard error instead.
void showLibraryOutputOnStandardError();
// Where the command's own results go (standard output as the caller gave it).
FILE *standardOutput();
// A path the user gave, with /dev/stdout (and its other names) meaning the standard output
// the caller gave, not the null device file descriptor 1 now is; any other path as it is.
QString outputPath(const QString &path);
// Writes `bytes` to standardOutput() and flushes it. False with the system's reason when the
// write or the flush fails ("No space left on device" for a full disk or /dev/full): a
// command's results that did not arrive are a failure, not a success.
bool print(const QByteArray &bytes, QString *reason);

} // namespace CliOutput
