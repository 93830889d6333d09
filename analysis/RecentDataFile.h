#pragma once
// The tracking data file written last, remembered across sessions so the analysis window can
// offer it. The main window (or whoever writes a data file) calls remember(); GUI-free, any
// thread (QSettings is reentrant and each call makes its own).

#include <QString>

class RecentDataFile
{
public:
    static void remember(const QString &path);
    // Empty when none was remembered or the file is gone.
    static QString path();
};
