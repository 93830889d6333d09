#include "support/TestUtils.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>

namespace testutils {

QString scratchDir()
{
    static const QString dir = [] {
        QString path = qEnvironmentVariable("POND_TEST_SCRATCH");
        if (path.isEmpty())
            path = QDir::temp().filePath(
                QStringLiteral("pondwatch-test-%1").arg(QCoreApplication::applicationPid()));
        QDir(path).removeRecursively();
        QDir().mkpath(path);
        return path;
    }();
    return dir;
}

QString scratchPath(const QString &name)
{
    return QDir(scratchDir()).filePath(name);
}

ProgramRun runProgram(const QString &program, const QStringList &args, int timeoutMs)
{
    QProcess process;
    process.start(program, args);
    ProgramRun run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    if (process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

} // namespace testutils
