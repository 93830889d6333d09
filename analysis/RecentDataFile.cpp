#include "analysis/RecentDataFile.h"

#include <QFileInfo>
#include <QSettings>

namespace {

const char key[] = "analysis/lastDataFile";

QSettings settings()
{
    return QSettings(QStringLiteral("Pondwatch"), QStringLiteral("Pondwatch"));
}

} // namespace

void RecentDataFile::remember(const QString &path)
{
    settings().setValue(QLatin1String(key), QFileInfo(path).absoluteFilePath());
}

QString RecentDataFile::path()
{
    const QString path = settings().value(QLatin1String(key)).toString();
    return !path.isEmpty() && QFileInfo::exists(path) ? path : QString();
}
