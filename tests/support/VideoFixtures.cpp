#include "support/VideoFixtures.h"

#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QStringList>

#include <algorithm>
#include <random>

namespace fixtures {

namespace {

// Runs a tool to its end; returns its standard output, or a null array on failure.
QByteArray runTool(const QString &program, const QStringList &arguments, QString *error)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(10000) || !process.waitForFinished(120000)
        || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        if (error)
            *error = program + QLatin1String(" failed: ")
                + QString::fromLocal8Bit(process.readAllStandardError());
        return QByteArray();
    }
    QByteArray out = process.readAllStandardOutput();
    if (out.isNull())
        out = QByteArray("");
    return out;
}

QStringList videoCodecArguments(const VideoOptions &options)
{
    const QString gop = QString::number(std::max(1, options.keyInterval));
    // A fixed GOP without scene-cut key frames keeps the key frame positions predictable.
    const QStringList x264 = { "-c:v", "libx264", "-preset", "veryfast", "-crf", "16", "-bf", "2",
        "-g", gop, "-keyint_min", gop, "-sc_threshold", "0", "-pix_fmt", "yuv420p" };
    switch (options.format) {
    case VideoFormat::AviMpeg4:
        return { "-c:v", "mpeg4", "-q:v", "2", "-bf", "0", "-g", gop, "-pix_fmt", "yuv420p", "-f",
            "avi" };
    case VideoFormat::AviMjpeg:
        return { "-c:v", "mjpeg", "-q:v", "2", "-pix_fmt", "yuvj420p", "-f", "avi" };
    case VideoFormat::Mp4H264:
        return x264 + QStringList { "-f", "mp4" };
    case VideoFormat::MkvH264:
        return x264 + QStringList { "-f", "matroska" };
    case VideoFormat::MpegTsH264:
        return x264 + QStringList { "-f", "mpegts" };
    case VideoFormat::LosslessAvi:
        return { "-c:v", "ffv1", "-pix_fmt", "bgr0", "-f", "avi" };
    case VideoFormat::LosslessMkv:
        return { "-c:v", "ffv1", "-pix_fmt", "bgr0", "-f", "matroska" };
    }
    return {};
}

QStringList audioCodecArguments(VideoFormat format)
{
    switch (format) {
    case VideoFormat::Mp4H264:
        return { "-c:a", "aac" };
    case VideoFormat::AviMpeg4:
    case VideoFormat::AviMjpeg:
    case VideoFormat::LosslessAvi:
        return { "-c:a", "pcm_s16le" };
    default:
        return { "-c:a", "mp2" };
    }
}

} // namespace

QString suffixFor(VideoFormat format)
{
    switch (format) {
    case VideoFormat::AviMpeg4:
    case VideoFormat::AviMjpeg:
    case VideoFormat::LosslessAvi:
        return QStringLiteral(".avi");
    case VideoFormat::Mp4H264:
        return QStringLiteral(".mp4");
    case VideoFormat::MkvH264:
    case VideoFormat::LosslessMkv:
        return QStringLiteral(".mkv");
    case VideoFormat::MpegTsH264:
        return QStringLiteral(".ts");
    }
    return QString();
}

bool writeVideo(const QString &path, const VideoOptions &options, const FrameGenerator &generator,
    QString *error)
{
    const QSize size = options.size;
    QStringList args = { "-hide_banner", "-loglevel", "error", "-y", "-f", "rawvideo", "-pix_fmt",
        "rgb24", "-s", QStringLiteral("%1x%2").arg(size.width()).arg(size.height()), "-r",
        QString::number(options.fps), "-i", "-" };
    if (options.audio != AudioTrack::None) {
        const double seconds = double(options.frameCount) / options.fps;
        args << "-f"
             << "lavfi"
             << "-i"
             << QStringLiteral("sine=frequency=440:sample_rate=22050:duration=%1")
                    .arg(seconds, 0, 'f', 3);
        if (options.audio == AudioTrack::BeforeVideo)
            args << "-map"
                 << "1:a"
                 << "-map"
                 << "0:v";
        else
            args << "-map"
                 << "0:v"
                 << "-map"
                 << "1:a";
        args << audioCodecArguments(options.format);
    }
    if (options.startSeconds != 0.0)
        args << "-output_ts_offset" << QString::number(options.startSeconds, 'f', 3);
    args << videoCodecArguments(options) << path;

    QProcess process;
    process.start(QStringLiteral("ffmpeg"), args);
    if (!process.waitForStarted(10000)) {
        if (error)
            *error = QStringLiteral("cannot start ffmpeg");
        return false;
    }
    const qsizetype rowBytes = qsizetype(size.width()) * 3;
    for (int i = 0; i < options.frameCount; ++i) {
        QImage image = generator(i);
        if (image.size() != size)
            image = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        image = image.convertToFormat(QImage::Format_RGB888);
        for (int y = 0; y < size.height(); ++y)
            process.write(reinterpret_cast<const char *>(image.constScanLine(y)), rowBytes);
        // Keep the pipe from buffering the whole video in memory.
        while (process.bytesToWrite() > 0 && process.state() == QProcess::Running)
            process.waitForBytesWritten(10000);
    }
    process.closeWriteChannel();
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        if (error)
            *error = QStringLiteral("ffmpeg failed: ")
                + QString::fromLocal8Bit(process.readAllStandardError());
        return false;
    }
    return true;
}

bool writeAudioOnly(const QString &path, double seconds, QString *error)
{
    const QString codec = path.endsWith(QLatin1String(".wav"), Qt::CaseInsensitive)
        ? QStringLiteral("pcm_s16le")
        : QStringLiteral("mp2");
    const QStringList args = { "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
        QStringLiteral("sine=frequency=440:sample_rate=22050:duration=%1").arg(seconds, 0, 'f', 3),
        "-c:a", codec, path };
    return !runTool(QStringLiteral("ffmpeg"), args, error).isNull();
}

bool writeTruncatedCopy(const QString &source, const QString &target, qint64 keepBytes)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = in.read(keepBytes);
    QFile out(target);
    return out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(head) == head.size();
}

bool writeTextFile(const QString &path)
{
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return false;
    out.write("This is not a video.\nIt is a plain text file with a few lines\nof words.\n");
    return true;
}

// ---- Pictures that carry their index ---------------------------------------------------------

namespace {
constexpr int indexBits = 16;
constexpr int blockColumns = 8;

// Cell of bit b: two rows of eight cells across the middle half of the picture.
QRect bitCell(QSize size, int bit)
{
    const int cw = size.width() / blockColumns;
    const int ch = size.height() / 4;
    const int row = bit / blockColumns, col = bit % blockColumns;
    return QRect(col * cw, size.height() / 4 + row * ch, cw, ch);
}
} // namespace

QImage numberedFrame(QSize size, int index)
{
    QImage image(size, QImage::Format_RGB888);
    for (int y = 0; y < size.height(); ++y) {
        uchar *line = image.scanLine(y);
        for (int x = 0; x < size.width(); ++x) {
            line[3 * x + 0] = uchar(60 + (x * 120) / std::max(1, size.width()));
            line[3 * x + 1] = uchar(60 + (y * 120) / std::max(1, size.height()));
            line[3 * x + 2] = uchar(128);
        }
    }
    QPainter painter(&image);
    // A square that moves from picture to picture, so neighbouring pictures differ outside
    // the index blocks as well.
    const int side = std::max(2, size.height() / 8);
    painter.fillRect(
        QRect((index * 3) % std::max(1, size.width() - side), size.height() / 16, side, side),
        QColor(230, 40, 40));
    for (int bit = 0; bit < indexBits; ++bit) {
        const QRect cell = bitCell(size, bit).adjusted(1, 1, -1, -1);
        painter.fillRect(cell, (index >> bit) & 1 ? Qt::white : Qt::black);
    }
    painter.end();
    return image;
}

int frameIndexOf(const QImage &source)
{
    if (source.isNull())
        return -1;
    const QImage image = source.convertToFormat(QImage::Format_Grayscale8);
    int index = 0;
    for (int bit = 0; bit < indexBits; ++bit) {
        const QRect cell = bitCell(image.size(), bit);
        // The middle half of the cell, away from block edges that lossy codecs smear.
        const QRect inner(cell.x() + cell.width() / 4, cell.y() + cell.height() / 4,
            std::max(1, cell.width() / 2), std::max(1, cell.height() / 2));
        qint64 sum = 0;
        for (int y = inner.top(); y <= inner.bottom(); ++y)
            for (int x = inner.left(); x <= inner.right(); ++x)
                sum += image.constScanLine(y)[x];
        const int mean = int(sum / (qint64(inner.width()) * inner.height()));
        if (mean > 192)
            index |= 1 << bit;
        else if (mean >= 64)
            return -1;
    }
    return index;
}

// ---- Synthetic scenes ------------------------------------------------------------------------

QImage texturedBackground(QSize size, quint32 seed)
{
    // Value noise: random grey levels on a coarse grid, interpolated bilinearly, plus a little
    // per-pixel grain. std::mt19937 gives the same sequence on every platform.
    std::mt19937 random(seed);
    constexpr int cell = 8;
    const int gw = size.width() / cell + 2, gh = size.height() / cell + 2;
    QVector<int> grid(gw * gh);
    for (int &v : grid)
        v = 104 + int(random() % 49);
    QImage image(size, QImage::Format_RGB888);
    for (int y = 0; y < size.height(); ++y) {
        uchar *line = image.scanLine(y);
        const int gy = y / cell, fy = y % cell;
        for (int x = 0; x < size.width(); ++x) {
            const int gx = x / cell, fx = x % cell;
            const int top = grid[gy * gw + gx] * (cell - fx) + grid[gy * gw + gx + 1] * fx;
            const int bottom
                = grid[(gy + 1) * gw + gx] * (cell - fx) + grid[(gy + 1) * gw + gx + 1] * fx;
            const int value
                = (top * (cell - fy) + bottom * fy) / (cell * cell) + int(random() % 9) - 4;
            const uchar v = uchar(std::clamp(value, 0, 255));
            line[3 * x + 0] = v;
            line[3 * x + 1] = v;
            line[3 * x + 2] = v;
        }
    }
    return image;
}

QImage drawScene(QSize size, const QVector<FishSpec> &fish, quint32 seed)
{
    QImage image = texturedBackground(size, seed).convertToFormat(QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    for (const FishSpec &f : fish) {
        painter.save();
        painter.translate(f.center);
        painter.rotate(f.angleDegrees);
        painter.setBrush(f.dark ? QColor(20, 20, 20) : QColor(235, 235, 235));
        painter.drawEllipse(QPointF(0, 0), f.size.width() / 2.0, f.size.height() / 2.0);
        painter.restore();
    }
    painter.end();
    return image.convertToFormat(QImage::Format_RGB888);
}

// ---- ffprobe ---------------------------------------------------------------------------------

namespace {
QString firstLine(const QByteArray &out)
{
    return QString::fromLatin1(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts).value(0).trimmed();
}
} // namespace

qint64 ffprobeFrameCount(const QString &path)
{
    const QByteArray out = runTool(QStringLiteral("ffprobe"),
        { "-v", "error", "-select_streams", "v:0", "-count_frames", "-show_entries",
            "stream=nb_read_frames", "-of", "csv=p=0", path },
        nullptr);
    // Transport streams list the stream once more under their program: take the first line.
    bool ok = false;
    const qint64 count = firstLine(out).toLongLong(&ok);
    return ok ? count : -1;
}

QVector<ProbedFrame> ffprobeFrames(const QString &path)
{
    QVector<ProbedFrame> frames;
    const QByteArray out = runTool(QStringLiteral("ffprobe"),
        { "-v", "error", "-threads", "1", "-select_streams", "v:0", "-show_entries",
            "frame=key_frame,pkt_dts,best_effort_timestamp", "-of", "csv=p=0:nk=0", path },
        nullptr);
    const QStringList lines = QString::fromLatin1(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        ProbedFrame frame;
        for (const QString &field : line.trimmed().split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QString key = field.section(QLatin1Char('='), 0, 0);
            const QString value = field.section(QLatin1Char('='), 1);
            bool ok = false;
            const qint64 number = value.toLongLong(&ok);
            if (key == QLatin1String("key_frame"))
                frame.keyFrame = ok && number != 0;
            else if (key == QLatin1String("pkt_dts"))
                frame.pktDts = ok ? number : noPts;
            else if (key == QLatin1String("best_effort_timestamp"))
                frame.bestEffort = ok ? number : noPts;
        }
        frames.append(frame);
    }
    return frames;
}

QPair<int, int> ffprobeTimeBase(const QString &path)
{
    const QByteArray out = runTool(QStringLiteral("ffprobe"),
        { "-v", "error", "-select_streams", "v:0", "-show_entries", "stream=time_base", "-of",
            "csv=p=0", path },
        nullptr);
    const QStringList parts = firstLine(out).split(QLatin1Char('/'));
    if (parts.size() != 2)
        return { 0, 0 };
    return { parts[0].toInt(), parts[1].toInt() };
}

} // namespace fixtures
