#include "files/UserPath.h"

namespace UserPath {

QString local(const QString &path)
{
    return path.startsWith(QLatin1Char(':')) ? QStringLiteral("./") + path : path;
}

} // namespace UserPath
