// libFuzzer target: SetupFile::read on any bytes (a setup file, a data file's header or
// neither) returns without crashing, and a setup it accepts writes out and reads back the same.

#include "tracking/SetupFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    static const QString input = dir.filePath(QStringLiteral("input"));
    static const QString output = dir.filePath(QStringLiteral("output"));
    QFile file(input);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    file.write(reinterpret_cast<const char *>(data), qint64(size));
    file.close();

    TrackingSetup setup;
    QString error;
    if (!SetupFile::read(input, &setup, &error) || !setup.hasParameters)
        return 0;
    TrackingSetup again;
    if (!SetupFile::write(output, setup, &error) || !SetupFile::read(output, &again, &error))
        std::abort();
    if (SetupFile::text(again) != SetupFile::text(setup))
        std::abort();
    return 0;
}
