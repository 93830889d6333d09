#pragma once
// What the main window remembers from one start of the program to the next: the tracking
// parameters, the window's geometry, the last folder a video came from and the recent videos.
// Kept in QSettings under the application's organisation and name; without an organisation
// (tests that did not ask for it) nothing is read or written. GUI thread only.

#include "formats/SetupFile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

class AppSettings
{
public:
    static bool enabled();

    static bool readParameters(TrackingSetup *setup);
    static void writeParameters(const TrackingSetup &setup);
    static QByteArray geometry();
    static void setGeometry(const QByteArray &geometry);
    static QString lastFolder(); // "." when none is known
    static void setLastFolder(const QString &folder);
    // The annotated export's format last chosen: "mpeg" or "mp4" ("mpeg" when none).
    static QString exportFormat();
    static void setExportFormat(const QString &format);
    static QStringList recentFiles();
    static void setRecentFiles(const QStringList &files);

    static constexpr int maxRecentFiles = 8;
};
