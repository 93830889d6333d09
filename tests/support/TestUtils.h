#pragma once
// Small helpers shared by the test programs.

#include <QString>
#include <QStringList>

namespace testutils {

// A fresh, empty folder for this test program's files (under the build tree).
QString scratchDir();
// A path inside scratchDir().
QString scratchPath(const QString &name);

// The outcome of running a program to its end.
struct ProgramRun
{
    int exitCode = -1; // -1 when it crashed or did not finish in time
    QString out;
    QString err;
};

// Runs program with args and waits for it (killing it after timeoutMs).
ProgramRun runProgram(const QString &program, const QStringList &args, int timeoutMs = 120000);

} // namespace testutils
