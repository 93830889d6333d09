#include "files/InputFile.h"

#include <QFile>
#include <QFileInfo>

namespace InputFile {

QString problem(const QString &path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        return QStringLiteral("not found");
    if (info.isDir())
        return QStringLiteral("is a folder");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return file.errorString();
    return QString();
}

QString textProblem(const QString &path)
{
    const QString reason = problem(path);
    if (!reason.isEmpty())
        return reason;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return file.errorString();
    if (file.read(64 * 1024).contains('\0'))
        return QStringLiteral("is not a text file");
    return QString();
}

} // namespace InputFile
