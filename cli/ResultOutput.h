#pragma once
// Where a command's table goes: the file given with --output, written whole or not at all, or
// standard output, whose write and flush are checked so that a full disk is never reported
// as done.

#include <QByteArray>
#include <QString>

class CommandLine;

namespace ResultOutput {

// ExitOk, or ExitFailed with the reason reported through `line`.
int write(const CommandLine &line, const QString &output, const QByteArray &bytes);

} // namespace ResultOutput
