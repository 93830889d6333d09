#pragma once
// The data file of a live session, which cannot be redone: the header is written whole
// (through AtomicFile, so an input is never replaced and only a regular file is), then each
// row is appended and handed to the system as it is made, so that a crash or SIGKILL leaves
// every row made; the rows are forced to the disk at least once a second, so that a power cut
// leaves those up to the last second. A reader ignores a last row cut short (CompleteLinesFile).
// Tracker thread.

#include "formats/TrackingDataFile.h"
#include "model/ArenaLayout.h"

#include <QString>

#include <cstdint>
#include <memory>

class LiveDataFile
{
public:
    LiveDataFile() = default;
    ~LiveDataFile();
    LiveDataFile(const LiveDataFile &) = delete;
    LiveDataFile &operator=(const LiveDataFile &) = delete;

    // Writes the header of `content` (its records too, if any); false with the reason.
    bool start(
        const QString &path, const TrackingDataFile::Content &content, bool bodies, QString *error);
    // Appends one row; false with the reason (a full disk...).
    bool append(const TrackRecord &record, QString *error);
    // Forces what was appended to the disk; false with the reason.
    bool sync(QString *error);
    int rows() const { return rowCount; }

private:
    QString path;
    TrackingDataFile::Content content; // the header's overlays and kind, without records
    std::unique_ptr<ArenaLayout::ZoneMembership> zones; // over content.overlays
    bool bodies = false;
    int fd = -1;
    int rowCount = 0;
    int64_t lastSyncNs = 0;
};
