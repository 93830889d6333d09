#include "support/TestUtils.h"

#include <QCoreApplication>
#include <QDir>

namespace testutils {

QString scratchDir()
{
    static const QString dir = [] {
        QString path = qEnvironmentVariable("POND_TEST_SCRATCH");
        if (path.isEmpty())
            path = QDir::temp().filePath(QStringLiteral("pondwatch-test-%1").arg(QCoreApplication::applicationPid()));
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

} // namespace testutils
