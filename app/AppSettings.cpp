#include "app/AppSettings.h"

#include <QCoreApplication>
#include <QSettings>

#include <algorithm>

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
    setup->wholeVideoBackground
        = s.value(QStringLiteral("method")).toString() == QLatin1String("background");
    setup->backgroundFrames
        = s.value(QStringLiteral("backgroundFrames"), setup->backgroundFrames).toInt();
    setup->backgroundMode = std::clamp(
        s.value(QStringLiteral("backgroundMode"), setup->backgroundMode).toInt(), 0, 3);
    setup->blobThreshold = s.value(QStringLiteral("blobThreshold"), setup->blobThreshold).toFloat();
    setup->minArea = s.value(QStringLiteral("minArea"), setup->minArea).toInt();
    setup->maxArea = s.value(QStringLiteral("maxArea"), setup->maxArea).toInt();
    setup->maxSpeed = s.value(QStringLiteral("maxSpeed"), setup->maxSpeed).toFloat();
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
    s.setValue(QStringLiteral("method"),
        setup.wholeVideoBackground ? QStringLiteral("background") : QStringLiteral("classic"));
    s.setValue(QStringLiteral("backgroundFrames"), setup.backgroundFrames);
    s.setValue(QStringLiteral("backgroundMode"), setup.backgroundMode);
    s.setValue(QStringLiteral("blobThreshold"), setup.blobThreshold);
    s.setValue(QStringLiteral("minArea"), setup.minArea);
    s.setValue(QStringLiteral("maxArea"), setup.maxArea);
    s.setValue(QStringLiteral("maxSpeed"), setup.maxSpeed);
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

QString AppSettings::exportFormat()
{
    const QString format
        = enabled() ? QSettings().value(QStringLiteral("export/format")).toString() : QString();
    return format == QLatin1String("mp4") ? format : QStringLiteral("mpeg");
}

void AppSettings::setExportFormat(const QString &format)
{
    if (enabled())
        QSettings().setValue(QStringLiteral("export/format"), format);
}
