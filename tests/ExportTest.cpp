// The annotated video export: reading the rows, the frame loop (which row lands on which
// picture), what the pictures show after MPEG-1 compression (marker, Tracking Area colour),
// the failures, the ExportVideo slot through scripted dialogs, 'pondwatch-cli export', and
// the H.264 MP4 for showing.
//
// Pictures are checked by averaging colours along the drawn lines and comparing them with the
// plain background: MPEG-1 at 25 kbit/s smears thin lines, but never that far.

#include "app/ExportJob.h"
#include "app/MainWindow.h"
#include "formats/TrackingDataFile.h"
#include "model/ArenaLayout.h"
#include "support/DialogScope.h"
#include "support/TestUtils.h"
#include "support/VideoFixtures.h"
#include "tools/AnnotatedExport.h"
#include "video/QVideoDecoder.h"
#include "view/ui/VideoView.h"
#include "view/ui/VideoViewport.h"

#include <QAction>
#include <QDir>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSemaphore>
#include <QSettings>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>

#include <cmath>
#include <limits>

#include <optional>

namespace {

const QColor background(40, 40, 40);
const QColor trackingAreaColour(128, 255, 128);

struct Row
{
    double seconds;
    double x;
    double y;
    int found;
};

// Eight rows, one per frame from time 0, each moving the marker 14 pixels to the right along
// y = 40; row 5 is not found and sits lower, at y = 88.
QList<Row> movingRows()
{
    QList<Row> rows;
    for (int i = 0; i < 8; ++i)
        rows.append({ i * 0.04, 32.0 + 14 * i, i == 5 ? 88.0 : 40.0, i == 5 ? 0 : 1 });
    return rows;
}

QString writeFile(const QString &name, const QByteArray &content)
{
    const QString path = testutils::scratchPath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    file.write(content);
    return path;
}

// A single-fish data file with the Tracking Area (x1, y1)-(x2, y2) inclusive.
QString dataFile(const QString &name, const QList<Row> &rows,
    const QRect &area = QRect(QPoint(4, 4), QPoint(155, 115)))
{
    QByteArray text = "Tracking area (x1, y1, x2, y2): \n" + QByteArray::number(area.left()) + ' '
        + QByteArray::number(area.top()) + ' ' + QByteArray::number(area.right() + 1) + ' '
        + QByteArray::number(area.bottom() + 1) + '\n'
        + "Seconds FishX FishY FishMovement Confidence Confidence>30.00000000\n";
    for (const Row &row : rows)
        text += QString::asprintf(
            "%.8f %g %g 1.00000000 40.00000000 %d\n", row.seconds, row.x, row.y, row.found)
                    .toLatin1();
    return writeFile(name, text);
}

// A plain grey video (lossless, so the background is exact before the export).
QString plainVideo(const QString &name, QSize size, int frames,
    fixtures::VideoFormat format = fixtures::VideoFormat::LosslessAvi)
{
    fixtures::VideoOptions options;
    options.format = format;
    options.size = size;
    options.frameCount = frames;
    const QString path = testutils::scratchPath(name);
    QString error;
    QImage frame(size, QImage::Format_RGB888);
    frame.fill(background);
    if (!fixtures::writeVideo(
            path, options, [&](int) { return frame; }, &error))
        qFatal("cannot make %s: %s", qPrintable(path), qPrintable(error));
    return path;
}

// A Matroska file cut inside its first picture: it opens, but holds no whole picture.
QString videoWithoutPictures()
{
    QFile whole(plainVideo("whole.mkv", QSize(160, 120), 3, fixtures::VideoFormat::LosslessMkv));
    if (!whole.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray bytes = whole.readAll();
    const qsizetype cluster = bytes.indexOf(QByteArray("\x1F\x43\xB6\x75"));
    if (cluster < 0)
        return QString();
    // The demuxer needs to see the cluster begin to accept the file; its first block is cut.
    return writeFile("no-pictures.mkv", bytes.left(cluster + 24));
}

QVector<QImage> decodeAll(const QString &path)
{
    QVector<QImage> pictures;
    QVideoDecoder decoder;
    // Stepping from open starts with the second picture: the first is reached by seeking.
    QImage image;
    if (!decoder.open(path) || !decoder.seekToFrame(0) || !decoder.copyFrame(image))
        return pictures;
    do
        pictures << image.convertToFormat(QImage::Format_RGB32);
    while (decoder.seekNextFrame() && decoder.copyFrame(image));
    return pictures;
}

struct Mean
{
    double r = 0, g = 0, b = 0;
    double luma() const { return 0.299 * r + 0.587 * g + 0.114 * b; }
};

Mean meanOf(const QImage &image, const QVector<QPoint> &points)
{
    Mean m;
    int n = 0;
    for (const QPoint &p : points) {
        if (!image.rect().contains(p))
            continue;
        const QColor c = image.pixelColor(p);
        m.r += c.red();
        m.g += c.green();
        m.b += c.blue();
        ++n;
    }
    if (n > 0) {
        m.r /= n;
        m.g /= n;
        m.b /= n;
    }
    return m;
}

// The pixels of the square outline through centre ± half.
QVector<QPoint> outline(const QPoint &centre, int half)
{
    QVector<QPoint> points;
    for (int d = -half; d <= half; ++d) {
        points << centre + QPoint(d, -half) << centre + QPoint(d, half);
        points << centre + QPoint(-half, d) << centre + QPoint(half, d);
    }
    return points;
}

QVector<QPoint> block(const QRect &rect)
{
    QVector<QPoint> points;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            points << QPoint(x, y);
    return points;
}

// How much brighter than the background the outline around `centre` is.
double outlineContrast(const QImage &picture, const QPoint &centre, int half)
{
    return meanOf(picture, outline(centre, half)).luma() - QColor(background).lightness();
}

// How much brighter the outline around `centre` is than the ring just outside it, for
// pictures whose background is not plain.
double localContrast(const QImage &picture, const QPoint &centre, int half)
{
    return meanOf(picture, outline(centre, half)).luma()
        - meanOf(picture, outline(centre, half + 3)).luma();
}

// A white marker (found: half-size h) or a red one (not found: half-size 2h) at `centre`.
bool whiteMarkerAt(const QImage &picture, const QPoint &centre, int half)
{
    const Mean m = meanOf(picture, outline(centre, half));
    return outlineContrast(picture, centre, half) > 80 && std::abs(m.r - m.g) < 40;
}

bool redMarkerAt(const QImage &picture, const QPoint &centre, int half)
{
    const Mean m = meanOf(picture, outline(centre, 2 * half));
    return m.r - background.red() > 60 && m.r - m.g > 60 && m.r - m.b > 60;
}

bool nothingAt(const QImage &picture, const QPoint &centre, int half)
{
    return std::abs(outlineContrast(picture, centre, half)) < 25
        && std::abs(outlineContrast(picture, centre, 2 * half)) < 25;
}

// The left edge of a Tracking Area (away from its label) has the area's colour.
bool areaEdgeAt(const QImage &picture, int x, int top, int bottom)
{
    const Mean m = meanOf(picture, block(QRect(QPoint(x, top), QPoint(x, bottom))));
    return std::abs(m.r - trackingAreaColour.red()) < 40
        && std::abs(m.g - trackingAreaColour.green()) < 40
        && std::abs(m.b - trackingAreaColour.blue()) < 40;
}

QStringList outputsIn(const QString &dir)
{
    return QDir(dir).entryList({ "*.out.mpeg", "*.out.mp4" }, QDir::Files);
}

// What ffprobe says of the first video stream: "codec_name=h264", "r_frame_rate=25/1", ...
QStringList probedStream(const QString &path)
{
    const testutils::ProgramRun r = testutils::runProgram("ffprobe",
        { "-v", "error", "-select_streams", "v:0", "-count_frames", "-show_entries",
            "stream=codec_name,pix_fmt,width,height,r_frame_rate,nb_read_frames", "-of",
            "default=noprint_wrappers=1", path });
    return r.out.split('\n', Qt::SkipEmptyParts);
}

OverlaySet areaOnly(const QRect &area)
{
    OverlaySet overlays;
    overlays.areas << area;
    overlays.areaLabels << "Tracking Area";
    return overlays;
}

constexpr int half = 6; // marker half-size for a Mean Filter Size of 13

} // namespace

class ExportTest : public QObject
{
    Q_OBJECT

    std::optional<DialogScope> dialogs;
    QString video; // 14 grey pictures, 160 x 120, 25 fps: the export writes 12
    QString rowsFile; // movingRows() with the Tracking Area (4, 4)-(155, 115)

    // Pictures i >= 1 show row i - 1, the last row repeated once the rows run out. With
    // `trails`, also the trail: the segments between the rows up to the one shown, and none
    // ahead of it (only the MP4 keeps a one-pixel line clear enough to be measured).
    void checkMovingRows(const QVector<QImage> &pictures, bool trails = false)
    {
        const QList<Row> rows = movingRows();
        for (int i = 0; i < pictures.size(); ++i) {
            const QImage &picture = pictures[i];
            const int shown = i == 0 ? -1 : std::min(i - 1, int(rows.size()) - 1);
            // The segments between neighbouring rows on y = 40, sampled away from the
            // markers' outlines (6 pixels either side of a row).
            for (int r = 0; trails && r + 1 < rows.size(); ++r) {
                if (rows[r].y != 40 || rows[r + 1].y != 40)
                    continue;
                const int a = int(rows[r].x);
                const QVector<QPoint> line = { { a + 2, 40 }, { a + 3, 40 }, { a + 4, 40 },
                    { a + 5, 40 }, { a + 9, 40 }, { a + 10, 40 }, { a + 11, 40 }, { a + 12, 40 } };
                const double contrast = meanOf(picture, line).luma() - background.lightness();
                const QString where
                    = QString("picture %1, trail %2-%3: %4").arg(i).arg(r).arg(r + 1).arg(contrast);
                if (r + 1 <= shown)
                    QVERIFY2(contrast > 50, qPrintable(where));
                else
                    QVERIFY2(std::abs(contrast) < 20, qPrintable(where));
            }
            for (int r = 0; r < rows.size(); ++r) {
                const QPoint at(int(rows[r].x), int(rows[r].y));
                const QString where = QString("picture %1, row %2").arg(i).arg(r);
                if (r != shown)
                    QVERIFY2(nothingAt(picture, at, half), qPrintable(where));
                else if (rows[r].found)
                    QVERIFY2(whiteMarkerAt(picture, at, half), qPrintable(where));
                else
                    QVERIFY2(redMarkerAt(picture, at, half), qPrintable(where));
            }
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        video = plainVideo("plain.avi", QSize(160, 120), 14);
        rowsFile = dataFile("moving.data.txt", movingRows());
    }

    void init() { dialogs.emplace(); }

    void cleanup()
    {
        dialogs.reset();
        for (const QString &name : outputsIn(testutils::scratchDir()))
            QFile::remove(testutils::scratchPath(name));
    }

    // The header ends with the line whose first field is "Seconds"; rows too short to hold
    // the found flag are passed over; CR LF line ends read as LF.
    void readsRowsAfterTheHeader()
    {
        const QString path = writeFile("mixed.data.txt",
            "Tracking area (x1, y1, x2, y2): \r\n0 0 100 100\r\n"
            "Feeder (x1, y1, x2, y2): \r\n1 2 3 4\r\n"
            "Seconds  FishX FishY FishMovement Confidence Confidence>30.00000000 Feeder\r\n"
            "0.00000000 12 34 0.00000000 40.00000000 1 0\r\n"
            "\r\n"
            "0.04000000 13 35 1.0\r\n"
            "0.08000000  12.9 -3.7 1.00000000 20.00000000 0 1\r\n"
            "0.12000000 x 7 1.00000000 20.00000000 2 1\r\n"
            "0.16000000 5 6 1.00000000 50.00000000 1");
        AnnotationRows rows;
        QCOMPARE(rows.read(path), AnnotationRows::Error::None);
        QCOMPARE(rows.times, (QVector<float> { 0.0f, 0.08f, 0.12f, 0.16f }));
        QCOMPARE(rows.xs, (QVector<float> { 12.0f, 12.9f, 0.0f, 5.0f }));
        QCOMPARE(rows.ys, (QVector<float> { 34.0f, -3.7f, 7.0f, 6.0f }));
        QCOMPARE(rows.found, (QVector<bool> { true, false, false, true }));

        // A multi-fish file's column header starts with "Time": every fish of a row, the
        // first fish as the row's position.
        const QString multi = writeFile("multi.datamulti.txt",
            "NumFish: \n2\nTracking area (x1, y1, x2, y2): \n0 0 9 9\n"
            "Time Fish1Conf? Fish1HowConf Fish1X Fish1Y \n"
            "0.00000000 1 40.00000000 3 4 0 40.00000000 5 6 \n");
        QCOMPARE(rows.read(multi), AnnotationRows::Error::None);
        QCOMPARE(rows.times, QVector<float> { 0.0f });
        QCOMPARE(rows.xs, QVector<float> { 3.0f });
        QCOMPARE(rows.fishPositions,
            QVector<QVector<QPointF>> { (QVector<QPointF> { QPointF(3, 4), QPointF(5, 6) }) });
        QCOMPARE(rows.fishFound, QVector<QVector<bool>> { (QVector<bool> { true, false }) });

        QCOMPARE(
            rows.read(testutils::scratchPath("none.data.txt")), AnnotationRows::Error::Missing);
        QCOMPARE(rows.read(testutils::scratchDir()), AnnotationRows::Error::Unreadable);
        QCOMPARE(AnnotationRows::message(AnnotationRows::Error::Missing),
            QString("Can't load video file."));
        QCOMPARE(AnnotationRows::message(AnnotationRows::Error::Unreadable),
            QString("Can't open video file."));

        // Positions become pixels by truncation toward zero, and never by undefined behaviour.
        QCOMPARE(AnnotatedExport::toPixel(12.9f), 12);
        QCOMPARE(AnnotatedExport::toPixel(-3.7f), -3);
        QCOMPARE(AnnotatedExport::toPixel(std::numeric_limits<float>::quiet_NaN()), 0);
        QCOMPARE(AnnotatedExport::toPixel(1e30f), std::numeric_limits<int>::max());
        QCOMPARE(AnnotatedExport::toPixel(-1e30f), std::numeric_limits<int>::min());
    }

    // The first decoded frame gives only the size; with a first row at time 0 the counter is
    // set on the second frame and the first row is drawn on the third (output picture 1).
    void drawsOneRowPerFrame()
    {
        AnnotationRows rows;
        QCOMPARE(rows.read(rowsFile), AnnotationRows::Error::None);
        AnnotatedExport exporter;
        exporter.overlays = areaOnly(QRect(QPoint(4, 4), QPoint(155, 115)));
        // The marker starts in the area's middle, as after drawing the area in the window: the
        // area is highlighted (4 pixels wide) on every picture, wide enough to keep its colour
        // through the encoder's halved colour resolution.
        exporter.initialState.fishPosition = QPoint(80, 60);
        exporter.initialState.meanFilterSize = 13;
        int calls = 0;
        exporter.progress = [&](int frames, qint64, qint64 lengthMs) {
            ++calls;
            QCOMPARE(frames, calls + 1);
            QVERIFY(lengthMs > 0);
        };
        const AnnotatedExport::Result result = exporter.run(rows, video);
        QCOMPARE(result.error, AnnotatedExport::Error::None);
        QVERIFY(result.outputOpened);
        // The decoder's first step passes over picture 0: 13 pictures decoded, 12 written.
        QCOMPARE(result.framesDecoded, 13);
        QCOMPARE(result.framesEncoded, 12);
        QCOMPARE(result.rowsApplied, 8);
        QCOMPARE(calls, 12);
        QCOMPARE(result.finalState.fishPosition, QPoint(130, 40));
        QVERIFY(result.finalState.fishFound);
        QVERIFY(result.finalState.showResults);

        const QString output = video + ".out.mpeg";
        QCOMPARE(AnnotatedExport::outputFileName(video), output);
        QCOMPARE(fixtures::ffprobeFrameCount(output), qint64(12));
        const QVector<QImage> pictures = decodeAll(output);
        QCOMPARE(pictures.size(), 12);
        QCOMPARE(pictures.first().size(), QSize(160, 120));
        checkMovingRows(pictures);
        // The fish is inside the Tracking Area, which is drawn in its colour on every picture.
        for (const QImage &picture : pictures)
            QVERIFY(areaEdgeAt(picture, 4, 40, 100));
    }

    // The counter starts on the frame whose time reaches the first row's time exactly, also
    // when that time is not exact in binary (0.2 s is the frame at 200 ms).
    void rowsStartWhereTheFrameTimeReachesThem()
    {
        const QList<Row> later = { { 0.2, 40.0, 40.0, 1 }, { 0.24, 72.9, 40.99, 0 } };
        AnnotationRows rows;
        QCOMPARE(rows.read(dataFile("later.data.txt", later)), AnnotationRows::Error::None);
        AnnotatedExport exporter;
        exporter.initialState.meanFilterSize = 13;
        const AnnotatedExport::Result result = exporter.run(rows, video);
        QCOMPARE(result.rowsApplied, 2);
        QCOMPARE(result.finalState.fishPosition, QPoint(72, 40));
        QVERIFY(!result.finalState.fishFound);

        // Output picture i is video picture i + 2 (at (i + 2) * 40 ms): the picture at 200 ms
        // is output picture 3 and sets the counter, the next one shows row 0.
        const QVector<QImage> pictures = decodeAll(AnnotatedExport::outputFileName(video));
        QCOMPARE(pictures.size(), 12);
        for (int i = 0; i <= 3; ++i)
            QVERIFY2(nothingAt(pictures[i], QPoint(40, 40), half), qPrintable(QString::number(i)));
        QVERIFY(whiteMarkerAt(pictures[4], QPoint(40, 40), half));
        for (int i = 5; i < pictures.size(); ++i) {
            QVERIFY(redMarkerAt(pictures[i], QPoint(72, 40), half));
            QVERIFY(nothingAt(pictures[i], QPoint(40, 40), half));
        }
    }

    // No column header: no rows, nothing annotated, every frame still written with the overlays.
    void withoutColumnHeaderNothingIsAnnotated()
    {
        QByteArray text = "Tracking area (x1, y1, x2, y2): \n4 4 156 116\n";
        for (const Row &row : movingRows())
            text += QString::asprintf(
                "%.8f %g %g 1.00000000 40.00000000 1\n", row.seconds, row.x, row.y)
                        .toLatin1();
        AnnotationRows rows;
        QCOMPARE(rows.read(writeFile("headless.data.txt", text)), AnnotationRows::Error::None);
        QVERIFY(rows.isEmpty());

        AnnotatedExport exporter;
        exporter.overlays = areaOnly(QRect(QPoint(4, 4), QPoint(155, 115)));
        // The marker starts in the area's middle, as after drawing the area in the window: the
        // area is highlighted (4 pixels wide) on every picture, wide enough to keep its colour
        // through the encoder's halved colour resolution.
        exporter.initialState.fishPosition = QPoint(80, 60);
        exporter.initialState.meanFilterSize = 13;
        const AnnotatedExport::Result result = exporter.run(rows, video);
        QCOMPARE(result.error, AnnotatedExport::Error::None);
        QCOMPARE(result.rowsApplied, 0);
        QVERIFY(!result.finalState.showResults);
        const QVector<QImage> pictures = decodeAll(AnnotatedExport::outputFileName(video));
        QCOMPARE(pictures.size(), 12);
        for (const QImage &picture : pictures) {
            QVERIFY(areaEdgeAt(picture, 4, 40, 100));
            for (const Row &row : movingRows())
                QVERIFY(nothingAt(picture, QPoint(int(row.x), int(row.y)), half));
        }
    }

    // The encoder takes sides that are multiples of 8 only: other frames are padded with
    // black at the right and bottom, and the result says so.
    void sizeNotMultipleOfEightIsPadded()
    {
        const QString odd = plainVideo("odd.avi", QSize(154, 115), 6);
        AnnotationRows rows;
        QCOMPARE(rows.read(rowsFile), AnnotationRows::Error::None);
        AnnotatedExport exporter;
        const AnnotatedExport::Result result = exporter.run(rows, odd);
        QCOMPARE(result.error, AnnotatedExport::Error::None);
        QVERIFY(result.outputOpened);
        QCOMPARE(result.framesDecoded, 5);
        QCOMPARE(result.framesEncoded, 4);
        QCOMPARE(result.rowsApplied, 3);
        QVERIFY2(result.warning.contains("154x115") && result.warning.contains("160x120"),
            qPrintable(result.warning));
        const QVector<QImage> pictures = decodeAll(AnnotatedExport::outputFileName(odd));
        QCOMPARE(pictures.size(), 4);
        QCOMPARE(pictures[0].size(), QSize(160, 120));
        QVERIFY(qGray(pictures[0].pixel(158, 60)) < 24 && qGray(pictures[0].pixel(60, 118)) < 24);
        QVERIFY(QFile::remove(AnnotatedExport::outputFileName(odd)));
    }

    // The MP4 for showing: H.264 in yuv420p at the video's own frame rate, every frame of the
    // video (the first too, which the MPEG leaves out), the rows on the pictures where the MPEG
    // has them; odd sides padded to even with a warning; without the encoder, no file and the
    // reason. Sources with B-frames and a fine time base count their frames too.
    void mp4ForShowing()
    {
        AnnotationRows rows;
        QCOMPARE(rows.read(rowsFile), AnnotationRows::Error::None);
        AnnotatedExport exporter;
        exporter.format = AnnotatedExport::Format::Mp4;
        exporter.initialState.meanFilterSize = 13;
        const QString output = video + ".out.mp4";
        QCOMPARE(AnnotatedExport::outputFileName(video, exporter.format), output);
        AnnotatedExport::Result result = exporter.run(rows, video);
        QCOMPARE(result.error, AnnotatedExport::Error::None);
        QCOMPARE(result.framesEncoded, 14);
        QVERIFY(result.warning.isEmpty());
        QCOMPARE(probedStream(output),
            (QStringList { "codec_name=h264", "width=160", "height=120", "pix_fmt=yuv420p",
                "r_frame_rate=25/1", "nb_read_frames=14" }));
        // Picture 0 aside, the MP4 holds what the MPEG holds, with the trail that follows
        // the marker.
        checkMovingRows(decodeAll(output).mid(1), true);
        // The command line draws the same pictures.
        QVERIFY(QFile::remove(output));
        const testutils::ProgramRun trailRun = testutils::runProgram(POND_CLI,
            { "export", rowsFile, video, "--format", "mp4", "--filter", "13", "--quiet" }, 60000);
        QCOMPARE(trailRun.exitCode, 0);
        checkMovingRows(decodeAll(output).mid(1), true);
        QVERIFY(!QFile::exists(video + ".out.mpeg"));
        // Readable by whoever may read a new file here, not by its owner alone.
        const QString fresh = writeFile("fresh.txt", "x");
        QCOMPARE(QFile::permissions(output), QFile::permissions(fresh));

        fixtures::VideoOptions options;
        options.format = fixtures::VideoFormat::Mp4H264;
        options.fps = 30;
        options.frameCount = 17;
        const QString h264 = testutils::scratchPath("b-frames.mp4");
        QVERIFY(fixtures::writeVideo(h264, options, [](int) {
            QImage frame(160, 120, QImage::Format_RGB888);
            frame.fill(background);
            return frame;
        }));
        QCOMPARE(exporter.run(rows, h264).error, AnnotatedExport::Error::None);
        const QStringList probed = probedStream(h264 + ".out.mp4");
        QVERIFY2(probed.contains("r_frame_rate=30/1") && probed.contains("nb_read_frames=17"),
            qPrintable(probed.join(' ')));

        const QString odd = plainVideo("odd-mp4.avi", QSize(153, 115), 5);
        const testutils::ProgramRun cli = testutils::runProgram(
            POND_CLI, { "export", rowsFile, odd, "--format", "mp4", "--quiet" }, 60000);
        QCOMPARE(cli.exitCode, 0);
        QVERIFY2(
            cli.err.contains("the 153x115 frames are written as 154x116"), qPrintable(cli.err));
        QVERIFY(probedStream(odd + ".out.mp4").contains("height=116"));
        QVERIFY(!QFile::exists(odd + ".out.mpeg"));

        // The window's Results menu offers the choice and says where the MP4 went and why it
        // was padded.
        QVERIFY(QFile::remove(odd + ".out.mp4"));
        {
            MainWindow w;
            dialogs->queueText("H.264 MP4 (VIDEO.out.mp4, fit to show)");
            dialogs->queueFile(rowsFile);
            dialogs->queueFile(odd);
            w.findChild<QAction *>("actionExportVideo")->trigger();
            QTRY_VERIFY_WITH_TIMEOUT(!w.findChild<ExportJob *>()->isRunning(), 60000);
            const QList<RecordedMessage> told = dialogs->takeMessages();
            QCOMPARE(told.size(), 1);
            QVERIFY2(told[0].kind == "information" && told[0].text.contains(odd + ".out.mp4")
                    && told[0].text.contains("153x115") && told[0].text.contains("154x116"),
                qPrintable(told[0].text));
            QVERIFY(probedStream(odd + ".out.mp4").contains("codec_name=h264"));
            QVERIFY(!QFile::exists(odd + ".out.mpeg"));
        }

        QVERIFY(QFile::remove(output));
        exporter.h264Encoder = "no-such-encoder";
        result = exporter.run(rows, video);
        QCOMPARE(result.error, AnnotatedExport::Error::OutputNotWritten);
        QVERIFY2(
            result.detail.startsWith(output + ": ") && result.detail.contains("no-such-encoder"),
            qPrintable(result.detail));
        QCOMPARE(
            QDir(testutils::scratchDir()).entryList({ "plain*mp4" }, QDir::Files), QStringList());
    }

    // The Results menu's export runs beside the window: progress and Cancel in the status bar
    // while it runs (a cancelled export writes nothing), a question before an earlier output is
    // replaced (Cancel keeps it, Save As writes elsewhere and adds the extension), the format
    // chosen last offered first, and the video beside the data file offered.
    void menuExportRunsBesideTheWindow()
    {
        QCoreApplication::setOrganizationName("PondwatchTest");
        QCoreApplication::setApplicationName("export");
        QSettings().clear();
        const QString mp4Item = "H.264 MP4 (VIDEO.out.mp4, fit to show)";
        const QString beside = testutils::scratchPath("beside.avi");
        QVERIFY(QFile::copy(video, beside));
        const QString besideRows = beside + ".data.txt";
        QVERIFY(QFile::copy(rowsFile, besideRows));
        const QString output = beside + ".out.mp4";

        MainWindow w;
        for (QSpinBox *spin : w.findChildren<QSpinBox *>())
            if (spin->maximum() == 99 && spin->singleStep() == 2)
                spin->setValue(13); // the marker size checkMovingRows looks for
        auto *job = w.findChild<ExportJob *>();
        QVERIFY(job);
        QAction *exportAction = w.findChild<QAction *>("actionExportVideo");
        QSemaphore reached, proceed;
        job->frameHook = [&](int frames) {
            if (frames == 4) {
                reached.release();
                proceed.acquire();
            }
        };
        dialogs->queueText(mp4Item);
        dialogs->queueFile(besideRows);
        dialogs->queueFile(beside);
        exportAction->trigger();
        QCOMPARE(dialogs->questions.size(), 3);
        QCOMPARE(dialogs->questions[0].dir.split('|').first(),
            QString("MPEG-1 (VIDEO.out.mpeg, small)"));
        QCOMPARE(dialogs->questions[2].dir, beside);
        // The worker is held after its fourth frame: the window answers meanwhile.
        QVERIFY(reached.tryAcquire(1, 60000));
        QVERIFY(job->isRunning());
        QVERIFY(!job->progressBar()->isHidden() && !job->cancelButton()->isHidden());
        QVERIFY(!exportAction->isEnabled());
        QTest::mouseClick(job->cancelButton(), Qt::LeftButton);
        proceed.release();
        QTRY_VERIFY_WITH_TIMEOUT(!job->isRunning(), 60000);
        job->frameHook = nullptr;
        QVERIFY(job->progressBar()->isHidden() && job->cancelButton()->isHidden());
        QVERIFY(exportAction->isEnabled());
        QVERIFY(w.statusBar()->currentMessage().contains("cancelled"));
        QCOMPARE(outputsIn(testutils::scratchDir()), QStringList());
        QCOMPARE(dialogs->takeMessages().size(), 0);

        // An earlier output: Cancel keeps it; Save As to a name without the extension.
        writeFile(QFileInfo(output).fileName(), "earlier");
        dialogs->questions.clear();
        dialogs->queueText(mp4Item);
        dialogs->queueFile(besideRows);
        dialogs->queueFile(beside);
        dialogs->queueChoice(2);
        exportAction->trigger();
        QVERIFY(!job->isRunning());
        QCOMPARE(dialogs->questions.size(), 4);
        // MP4 was chosen last: it comes first now.
        QCOMPARE(dialogs->questions[0].dir.split('|').first(), mp4Item);
        QCOMPARE(dialogs->questions[3].kind, QString("choice"));
        QVERIFY(dialogs->questions[3].filter.contains(output));

        const QString savedAs = testutils::scratchPath("saved-as");
        dialogs->queueText(mp4Item);
        dialogs->queueFile(besideRows);
        dialogs->queueFile(beside);
        dialogs->queueChoice(1);
        dialogs->queueFile(savedAs);
        exportAction->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!job->isRunning(), 60000);
        const QList<RecordedMessage> told = dialogs->takeMessages();
        QCOMPARE(told.size(), 1);
        QVERIFY2(told[0].text.contains(savedAs + ".mp4"), qPrintable(told[0].text));
        QVERIFY(probedStream(savedAs + ".mp4").contains("nb_read_frames=14"));
        checkMovingRows(decodeAll(savedAs + ".mp4").mid(1), true);
        QFile earlier(output);
        QVERIFY(earlier.open(QIODevice::ReadOnly));
        QCOMPARE(earlier.readAll(), QByteArray("earlier"));
        QSettings().clear();
        QCoreApplication::setOrganizationName(QString());
        for (const QString &f : { output, savedAs + ".mp4", beside, besideRows })
            QFile::remove(f);
    }

    void videosThatGiveNoPicture()
    {
        AnnotationRows rows;
        QCOMPARE(rows.read(rowsFile), AnnotationRows::Error::None);
        AnnotatedExport exporter;
        const QString text = testutils::scratchPath("notes.avi");
        QVERIFY(fixtures::writeTextFile(text));
        for (const QString &path : { text, testutils::scratchPath("missing.avi") }) {
            const AnnotatedExport::Result result = exporter.run(rows, path);
            QCOMPARE(result.error, AnnotatedExport::Error::VideoNotLoaded);
            QCOMPARE(result.framesDecoded, 0);
            QVERIFY(!QFile::exists(AnnotatedExport::outputFileName(path)));
        }
        const QString empty = videoWithoutPictures();
        QVERIFY(!empty.isEmpty());
        const AnnotatedExport::Result result = exporter.run(rows, empty);
        QCOMPARE(result.error, AnnotatedExport::Error::SeekFailed);
        QVERIFY(!QFile::exists(AnnotatedExport::outputFileName(empty)));

        QCOMPARE(AnnotatedExport::message(AnnotatedExport::Error::VideoNotLoaded),
            QString("Error loading the video"));
        QCOMPARE(AnnotatedExport::message(AnnotatedExport::Error::SeekFailed),
            QString("seekNextFrame failed"));
        QCOMPARE(AnnotatedExport::message(AnnotatedExport::Error::DecodeFailed),
            QString("Error decoding the frame"));
    }

    // The slot's questions and messages; every path that stops early writes nothing.
    void slotAsksAndStops()
    {
        MainWindow w;
        auto checkQuestions = [&](int count) {
            QCOMPARE(dialogs->questions.size(), count);
            const RecordedQuestion data = dialogs->questions[0];
            QCOMPARE(data.kind, QString("open"));
            QCOMPARE(data.caption, QString("Load Input Data"));
            QCOMPARE(data.dir, QString("."));
            QCOMPARE(data.filter, QString("Video Data File (*.txt)"));
            if (count > 1) {
                const RecordedQuestion input = dialogs->questions[1];
                QCOMPARE(input.kind, QString("open"));
                QCOMPARE(input.caption, QString("Load Input Video"));
                QCOMPARE(input.dir, QString("."));
                QCOMPARE(input.filter, QString("Video Files (*.*)"));
            }
            dialogs->questions.clear();
        };

        dialogs->queueFile(QString());
        w.ExportVideo();
        checkQuestions(1);

        dialogs->queueFile(testutils::scratchPath("missing.data.txt"));
        w.ExportVideo();
        checkQuestions(1);
        QList<RecordedMessage> messages = dialogs->takeMessages();
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].kind, QString("critical"));
        QCOMPARE(messages[0].title, QString("Can't load video file."));
        QCOMPARE(messages[0].text, QString("Sorry."));

        dialogs->queueFile(testutils::scratchDir());
        w.ExportVideo();
        checkQuestions(1);
        messages = dialogs->takeMessages();
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].title, QString("Can't open video file."));
        QCOMPARE(messages[0].text, QString("Sorry."));

        dialogs->queueFile(rowsFile);
        dialogs->queueFile(QString());
        w.ExportVideo();
        checkQuestions(2);

        dialogs->queueFile(rowsFile);
        dialogs->queueFile(testutils::scratchPath("missing.avi"));
        w.ExportVideo();
        checkQuestions(2);
        messages = dialogs->takeMessages();
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].kind, QString("critical"));
        QCOMPARE(messages[0].title, QString("Error"));
        QCOMPARE(messages[0].text,
            "Error loading the video\n" + testutils::scratchPath("missing.avi") + ": not found");

        dialogs->queueFile(rowsFile);
        dialogs->queueFile(videoWithoutPictures());
        w.ExportVideo();
        checkQuestions(2);
        messages = dialogs->takeMessages();
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].title, QString("Error"));
        QVERIFY(messages[0].text.startsWith("seekNextFrame failed\n"));

        QCOMPARE(outputsIn(testutils::scratchDir()), QStringList());
        QVERIFY(!w.view()->FishFound());
        QCOMPARE(w.view()->FishPosition(), QPoint(0, 0));
    }

    // A finished export: the window's overlays and marker size, its video still open, and
    // the view left with the last row's marker.
    void slotExportsWithTheWindowsOverlays()
    {
        const QString windowVideo = plainVideo("window.avi", QSize(160, 120), 5);
        MainWindow w;
        dialogs->queueFile(windowVideo);
        w.LoadVideoFile();
        w.videoViewport()->showActualSize(); // the drawing below is in frame pixels
        QVERIFY(w.videoDecoder()->isOpen());
        const qint64 windowFrame = w.videoDecoder()->frameNumber();

        // The Tracking Area drawn with the mouse, the marker sized by the window's setting.
        w.SetFishArea();
        QTest::mousePress(w.view(), Qt::LeftButton, {}, QPoint(12, 4));
        QTest::mouseRelease(w.view(), Qt::LeftButton, {}, QPoint(150, 115));
        for (QSpinBox *spin : w.findChildren<QSpinBox *>())
            if (spin->maximum() == 99 && spin->singleStep() == 2)
                spin->setValue(13);
        QCOMPARE(w.meanFilterSize(), 13);

        dialogs->queueFile(rowsFile);
        dialogs->queueFile(video);
        w.ExportVideo();
        QCOMPARE(dialogs->questions.size(), 3);
        QCOMPARE(outputsIn(testutils::scratchDir()), QStringList { "plain.avi.out.mpeg" });

        // The window's video is still the one open, where it was.
        QCOMPARE(w.fileName(), windowVideo);
        QVERIFY(w.videoDecoder()->isOpen());
        QCOMPARE(w.videoDecoder()->frameNumber(), windowFrame);
        QCOMPARE(w.view()->FishPosition(), QPoint(130, 40));
        QVERIFY(w.view()->FishFound());

        const QVector<QImage> pictures = decodeAll(AnnotatedExport::outputFileName(video));
        QCOMPARE(pictures.size(), 12);
        checkMovingRows(pictures);
        for (const QImage &picture : pictures) {
            QVERIFY(areaEdgeAt(picture, 12, 40, 100));
            QVERIFY(!areaEdgeAt(picture, 4, 40, 100));
        }
    }

    // A data file written by a real tracking run: the command line and the slot invoked by
    // name both draw its overlays and the marker at each recorded position.
    void fromARealTrackingRun()
    {
        // A dark fish swimming right across a textured pond, 3 pixels per frame.
        fixtures::VideoOptions options;
        options.format = fixtures::VideoFormat::LosslessAvi;
        options.frameCount = 30;
        const QString scene = testutils::scratchPath("pond.avi");
        QString error;
        QVERIFY2(fixtures::writeVideo(scene, options,
                     [&](int i) {
                         fixtures::FishSpec fish;
                         fish.center = QPointF(40 + 3 * i, 60);
                         fish.size = QSizeF(16, 8);
                         return fixtures::drawScene(options.size, { fish }, 7);
                     }),
            qPrintable(error));

        QProcess track;
        track.start(POND_CLI,
            { "track", scene, "--area", "8,8,151,111", "--zone", "right=110,20,140,100",
                "--average", "5", "--filter", "7", "--quiet" });
        QVERIFY(track.waitForFinished(60000));
        QCOMPARE(track.exitCode(), 0);
        const QString data = scene + ".data.txt";
        AnnotationRows rows;
        QCOMPARE(rows.read(data), AnnotationRows::Error::None);
        QVERIFY(rows.size() > 10);

        auto checkOutput = [&](const QString &what) {
            const QVector<QImage> pictures = decodeAll(scene + ".out.mpeg");
            QCOMPARE(pictures.size(), 28);
            int found = 0, lost = 0;
            // Picture i shows row i - 1 (the data file's first row is the export's third frame).
            for (int i = 1; i < pictures.size(); ++i) {
                const int r = std::min(i - 1, rows.size() - 1);
                const QPoint at(int(rows.xs[r]), int(rows.ys[r]));
                const QString where = QString("%1: picture %2 at %3,%4, contrast %5")
                                          .arg(what)
                                          .arg(i)
                                          .arg(at.x())
                                          .arg(at.y())
                                          .arg(localContrast(pictures[i], at, half));
                if (rows.found[r])
                    QVERIFY2(localContrast(pictures[i], at, half) > 50, qPrintable(where));
                else
                    QVERIFY2(redMarkerAt(pictures[i], at, half), qPrintable(where));
                ++(rows.found[r] ? found : lost);
                QVERIFY2(areaEdgeAt(pictures[i], 8, 30, 100), qPrintable(where));
                // The zone's left edge, in its own colour (255, 128, 128).
                const Mean zone
                    = meanOf(pictures[i], block(QRect(QPoint(110, 70), QPoint(110, 100))));
                QVERIFY2(zone.r - zone.g > 40, qPrintable(where));
            }
            // The tracker needs a few frames for its background, then finds the fish.
            QVERIFY(lost >= 1);
            QVERIFY(found >= 20);
        };

        QProcess exportRun;
        exportRun.start(POND_CLI, { "export", data, scene, "--filter", "13", "--quiet" });
        QVERIFY(exportRun.waitForFinished(60000));
        QCOMPARE(exportRun.exitCode(), 0);
        checkOutput("command line");
        QVERIFY(QFile::remove(scene + ".out.mpeg"));

        // The slot, invoked by name as the only way to reach it, with the same overlays drawn
        // in the window.
        MainWindow w;
        dialogs->queueFile(scene);
        w.LoadVideoFile();
        w.videoViewport()->showActualSize(); // the drawing below is in frame pixels
        w.SetFishArea();
        QTest::mousePress(w.view(), Qt::LeftButton, {}, QPoint(8, 8));
        QTest::mouseRelease(w.view(), Qt::LeftButton, {}, QPoint(151, 111));
        dialogs->queueText("right");
        w.AddNewArea();
        QTest::mousePress(w.view(), Qt::LeftButton, {}, QPoint(110, 20));
        QTest::mouseRelease(w.view(), Qt::LeftButton, {}, QPoint(140, 100));
        for (QSpinBox *spin : w.findChildren<QSpinBox *>())
            if (spin->maximum() == 99 && spin->singleStep() == 2)
                spin->setValue(13);
        dialogs->queueFile(data);
        dialogs->queueFile(scene);
        QVERIFY(QMetaObject::invokeMethod(&w, "ExportVideo"));
        checkOutput("slot");
        QCOMPARE(w.fileName(), scene);
    }

    void commandLine()
    {
        const QString cli = POND_CLI;
        auto run = [&](const QStringList &args, QByteArray *err = nullptr) {
            const testutils::ProgramRun r
                = testutils::runProgram(cli, QStringList { "export" } + args, 60000);
            if (err)
                *err = r.err.toUtf8();
            return r.exitCode;
        };
        const QString output = AnnotatedExport::outputFileName(video);
        QByteArray err;

        // Overlays from the data file's header; progress on standard error.
        QCOMPARE(run({ rowsFile, video, "--filter", "13" }, &err), 0);
        QVERIFY2(err.contains("13 frames"), err.constData());
        QVector<QImage> pictures = decodeAll(output);
        QCOMPARE(pictures.size(), 12);
        QVERIFY(areaEdgeAt(pictures.last(), 4, 40, 100));
        QVERIFY(whiteMarkerAt(pictures[1], QPoint(32, 40), half));
        QVERIFY(whiteMarkerAt(pictures.last(), QPoint(130, 40), half));
        QVERIFY(redMarkerAt(pictures[6], QPoint(102, 88), half));
        QVERIFY(QFile::remove(output));

        // Overlays from another file; --quiet prints no progress.
        const QString other
            = dataFile("other.data.txt", {}, QRect(QPoint(12, 4), QPoint(150, 115)));
        QCOMPARE(run({ rowsFile, video, "--overlays-from", other, "--quiet" }, &err), 0);
        QVERIFY2(!err.contains("frames"), err.constData());
        pictures = decodeAll(output);
        QCOMPARE(pictures.size(), 12);
        QVERIFY(areaEdgeAt(pictures.last(), 12, 40, 100));
        QVERIFY(!areaEdgeAt(pictures.last(), 4, 40, 100));
        QVERIFY(QFile::remove(output));

        // A whole-video background run's round arena is drawn round, as the window draws it:
        // its outline where the circle meets its bounding square's sides, none at the square's
        // corners.
        Arena well;
        well.rect = QRect(30, 10, 100, 100);
        well.shape = Arena::Shape::Ellipse;
        TrackingDataFile::Content plate;
        plate.multiFish = true;
        plate.overlays = ArenaLayout::withArenaZones(areaOnly(QRect(4, 4, 152, 112)), { well });
        plate.detection
            = QStringLiteral("blobs %1 %2")
                  .arg(ArenaLayout::describeShapes({ well }), ArenaLayout::describeFish({ well }));
        const QString wells = testutils::scratchPath("well.datamulti.txt");
        QVERIFY(TrackingDataFile::save(wells, plate));
        QCOMPARE(run({ rowsFile, video, "--overlays-from", wells, "--quiet" }, &err), 0);
        QVERIFY2(!err.contains("underflow"), err.constData());
        const QImage last = decodeAll(output).last();
        const auto contrast = [&](const QRect &line) {
            return meanOf(last, block(line)).luma() - QColor(background).lightness();
        };
        for (const QRect &side :
            { QRect(30, 55, 1, 10), QRect(129, 55, 1, 10), QRect(75, 109, 10, 1) })
            QVERIFY2(contrast(side) > 40, qPrintable(QString::number(contrast(side))));
        for (const QRect &corner : { QRect(129, 10, 1, 12), QRect(115, 10, 12, 1),
                 QRect(30, 96, 1, 12), QRect(32, 109, 12, 1) })
            QVERIFY2(
                std::abs(contrast(corner)) < 15, qPrintable(QString::number(contrast(corner))));
        QVERIFY(QFile::remove(output));

        // Failures: the slot's message and a non-zero exit, and no file.
        QVERIFY(run({ testutils::scratchPath("missing.data.txt"), video }, &err) != 0);
        QVERIFY2(err.contains("Can't load video file."), err.constData());
        QVERIFY(run({ rowsFile, testutils::scratchPath("missing.avi") }, &err) != 0);
        QVERIFY2(err.contains("Error loading the video"), err.constData());
        const QString odd = plainVideo("odd-cli.avi", QSize(164, 120), 3);
        QCOMPARE(run({ rowsFile, odd, "--quiet" }, &err), 0);
        QVERIFY2(err.contains("written as 168x120"), err.constData());
        QVERIFY(QFile::remove(AnnotatedExport::outputFileName(odd)));
        // A video cut short: what was decoded is written, and the exit says it ended early.
        const QString whole = plainVideo("whole-cli.avi", QSize(160, 120), 60);
        const QString cut = testutils::scratchPath("cut-cli.avi");
        QVERIFY(fixtures::writeTruncatedCopy(whole, cut, QFileInfo(whole).size() / 2));
        QCOMPARE(run({ rowsFile, cut, "--quiet" }, &err), 6);
        QVERIFY2(err.contains("the video ended early: it runs to 2.400 s"), err.constData());
        QVERIFY(QFile::remove(AnnotatedExport::outputFileName(cut)));
        QCOMPARE(run({ rowsFile, whole, "--quiet" }, &err), 0);
        QVERIFY(QFile::remove(AnnotatedExport::outputFileName(whole)));
        QCOMPARE(run({ rowsFile }, &err), 2);
        QCOMPARE(run({ rowsFile, video, "--filter", "0" }, &err), 2);
        QCOMPARE(outputsIn(testutils::scratchDir()), QStringList());
    }
};

QTEST_MAIN(ExportTest)
#include "ExportTest.moc"
