#pragma once
// Where a command's table goes: the file given with --output, written whole or not at all, or
// standard output, whose write and flush are checked so that a full disk is never reported
// as done. And where its table comes from: a data file read for results, marked as an input
// so that no output replaces it.

#include <QByteArray>
#include <QString>

class CommandLine;
class TrackTable;

namespace ResultOutput {

// ExitOk, or ExitFailed with the reason reported through `line`.
int write(const CommandLine &line, const QString &output, const QByteArray &bytes);

// Reads `path` into *table, warning on standard error of rows left out. ExitOk, or ExitFailed
// with the reason reported through `line`.
int readTable(const CommandLine &line, const QString &path, TrackTable *table);

} // namespace ResultOutput
