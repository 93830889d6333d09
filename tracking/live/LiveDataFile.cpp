#include "tracking/live/LiveDataFile.h"

#include "files/AtomicFile.h"
#include "video/LiveSource.h"

#include <QBuffer>
#include <QTextStream>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

QString systemReason()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

LiveDataFile::~LiveDataFile()
{
    if (fd >= 0)
        ::close(fd);
}

bool LiveDataFile::start(const QString &filePath, const TrackingDataFile::Content &header,
    bool withBodies, QString *error)
{
    path = filePath;
    content = header;
    bodies = withBodies;
    zones = std::make_unique<ArenaLayout::ZoneMembership>(content.overlays);
    QString reason;
    const AtomicFile::Outcome outcome = AtomicFile::write(
        path,
        [this](QIODevice &device) {
            QTextStream out(&device);
            TrackingDataFile::writeHeader(out, content, { bodies, false });
            for (const TrackRecord &record : std::as_const(content.records))
                TrackingDataFile::writeRow(out, content, *zones, record, { bodies, false });
            out.flush();
        },
        &reason);
    if (outcome != AtomicFile::Outcome::Written) {
        *error = QStringLiteral("Cannot write %1: %2").arg(path, reason);
        return false;
    }
    rowCount = int(content.records.size());
    content.records.clear();
    fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) {
        *error = QStringLiteral("Cannot append to %1: %2").arg(path, systemReason());
        return false;
    }
    lastSyncNs = LiveSource::nowNs();
    return true;
}

bool LiveDataFile::append(const TrackRecord &record, QString *error)
{
    if (fd < 0)
        return false;
    QByteArray row;
    {
        QBuffer buffer(&row);
        buffer.open(QIODevice::WriteOnly);
        QTextStream out(&buffer);
        TrackingDataFile::writeRow(out, content, *zones, record, { bodies, false });
    }
    // One write per row: what a crash leaves is the rows before it and at most one cut short.
    qint64 done = 0;
    while (done < row.size()) {
        const ssize_t n = ::write(fd, row.constData() + done, size_t(row.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = QStringLiteral("Cannot append to %1: %2").arg(path, systemReason());
            return false;
        }
        done += n;
    }
    ++rowCount;
    if (LiveSource::nowNs() - lastSyncNs >= 1000000000LL)
        return sync(error);
    return true;
}

bool LiveDataFile::sync(QString *error)
{
    if (fd < 0)
        return false;
    lastSyncNs = LiveSource::nowNs();
    // A pipe or a device (written straight into) has nothing to force.
    if (::fdatasync(fd) != 0 && errno != EINVAL && errno != EROFS) {
        *error = QStringLiteral("Cannot write %1 to the disk: %2").arg(path, systemReason());
        return false;
    }
    return true;
}
