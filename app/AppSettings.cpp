#include "app/AppSettings.h"

#include <QCoreApplication>
#include <QSettings>

bool AppSettings::enabled()
{
    return !QCoreApplication::organizationName().isEmpty();
}

bool AppSettings::readParameters(TrackingSetup *setup)
{
    if (!enabled())
        return false;
    QSettings s;
    if (!s.contains(QStringLiteral("parameters/fish")))
        return false;
    s.beginGroup(QStringLiteral("parameters"));
    setup->fishCount = s.value(QStringLiteral("fish"), setup->fishCount).toInt();
    setup->framesToAverage = s.value(QStringLiteral("average"), setup->framesToAverage).toInt();
    setup->confidenceThreshold
        = s.value(QStringLiteral("threshold"), setup->confidenceThreshold).toFloat();
    setup->gaussianVariance
        = s.value(QStringLiteral("variance"), setup->gaussianVariance).toFloat();
    setup->meanFilterSize = s.value(QStringLiteral("filter"), setup->meanFilterSize).toInt();
    setup->signedDifference = s.value(QStringLiteral("signed"), setup->signedDifference).toBool();
    setup->brightObject = s.value(QStringLiteral("bright"), setup->brightObject).toBool();
    s.endGroup();
    setup->hasParameters = true;
    return true;
}

void AppSettings::writeParameters(const TrackingSetup &setup)
{
    if (!enabled())
        return;
    QSettings s;
    s.beginGroup(QStringLiteral("parameters"));
    s.setValue(QStringLiteral("fish"), setup.fishCount);
    s.setValue(QStringLiteral("average"), setup.framesToAverage);
    s.setValue(QStringLiteral("threshold"), setup.confidenceThreshold);
    s.setValue(QStringLiteral("variance"), setup.gaussianVariance);
    s.setValue(QStringLiteral("filter"), setup.meanFilterSize);
    s.setValue(QStringLiteral("signed"), setup.signedDifference);
    s.setValue(QStringLiteral("bright"), setup.brightObject);
    s.endGroup();
}

QByteArray AppSettings::geometry()
{
    return enabled() ? QSettings().value(QStringLiteral("window/geometry")).toByteArray()
                     : QByteArray();
}

void AppSettings::setGeometry(const QByteArray &geometry)
{
    if (enabled())
        QSettings().setValue(QStringLiteral("window/geometry"), geometry);
}

QString AppSettings::lastFolder()
{
    const QString folder
        = enabled() ? QSettings().value(QStringLiteral("files/lastFolder")).toString() : QString();
    return folder.isEmpty() ? QStringLiteral(".") : folder;
}

void AppSettings::setLastFolder(const QString &folder)
{
    if (enabled())
        QSettings().setValue(QStringLiteral("files/lastFolder"), folder);
}

QStringList AppSettings::recentFiles()
{
    return enabled() ? QSettings().value(QStringLiteral("files/recent")).toStringList()
                     : QStringList();
}

void AppSettings::setRecentFiles(const QStringList &files)
{
    if (enabled())
        QSettings().setValue(QStringLiteral("files/recent"), files.mid(0, maxRecentFiles));
}
