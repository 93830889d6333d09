#include "analysis/TrackPicture.h"

#include "model/FishPalette.h"
#include "video/QVideoDecoder.h"

#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

constexpr int minimumPictureWidth = 480;

// Frame, then zones; the painter is left scaled to frame pixels.
void drawBackground(QPainter &painter, const QImage &frame, bool dim)
{
    const int scale = TrackPicture::scaleFor(frame.size());
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(scale, scale);
    if (dim) {
        // Grey and darkened, so the heat colours read as the only colours.
        QImage grey = frame.convertToFormat(QImage::Format_Grayscale8);
        painter.drawImage(QPoint(0, 0), grey);
        painter.fillRect(QRect(QPoint(0, 0), frame.size()), QColor(0, 0, 0, 110));
    } else {
        painter.drawImage(QPoint(0, 0), frame);
    }
}

// Whether zone `index` is a round arena of a whole-video background run.
bool isRoundArena(const OverlaySet &overlays, int index)
{
    const QString &label = overlays.areaLabels.value(index);
    for (int k = 0; k < overlays.arenas.size(); ++k)
        if (Arena::label(k) == label)
            return overlays.arenas[k].shape == Arena::Shape::Ellipse;
    return false;
}

void drawZones(QPainter &painter, const FishTracks &tracks)
{
    QFont font = painter.font();
    font.setPixelSize(12);
    painter.setFont(font);
    const QFontMetrics metrics(font);
    for (int i = 0; i < tracks.overlays.areas.size(); ++i) {
        const QRect &area = tracks.overlays.areas[i];
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(areaColour(i), 2));
        if (i > 0 && isRoundArena(tracks.overlays, i))
            painter.drawEllipse(area);
        else
            painter.drawRect(area);
        if (i == 0)
            continue;
        // The label on a dark tab inside the zone's corner, readable over any water.
        const QString label = tracks.overlays.areaLabels.value(i);
        const QRect tab(area.left() + 1, area.top() + 1, metrics.horizontalAdvance(label) + 8,
            metrics.height() + 2);
        painter.fillRect(tab, QColor(0, 0, 0, 150));
        painter.setPen(areaColour(i).lighter(130));
        painter.drawText(tab, Qt::AlignCenter, label);
    }
}

// Text on a dark box at the bottom right of a picture of `pictureSize`, in picture pixels
// (the painter unscaled): zone labels sit at their zones' top left, where the Tracking Area and
// a zone along the tank's side often start, and the heat map's colour bar is at the top right.
void drawLegendBox(QPainter &painter, const QSize &pictureSize, const QStringList &lines,
    const QList<QColor> &swatches)
{
    QFont font = painter.font();
    font.setPixelSize(13);
    painter.setFont(font);
    const QFontMetrics metrics(font);
    const int lineHeight = metrics.height() + 2;
    const int swatch = swatches.isEmpty() ? 0 : 22;
    // Many fish (a plate's 48 wells) would make one column taller than the picture: past a
    // quarter of its height the lines after the first (the title) go into columns under it.
    const int fitting = std::max(4, (pictureSize.height() / 4 - 8) / lineHeight);
    const int count = int(lines.size());
    const int columns = count > fitting ? (count - 1 + fitting - 2) / (fitting - 1) : 1;
    const int first = columns > 1 ? 1 : 0; // lines before the columns, one to a row
    const int rows = first + (count - first + columns - 1) / columns;
    int width = 0;
    for (int i = first; i < count; ++i)
        width = std::max(width, metrics.horizontalAdvance(lines[i]));
    const int columnWidth = width + swatch + 12;
    int boxWidth = columnWidth * columns;
    for (int i = 0; i < first; ++i)
        boxWidth = std::max(boxWidth, metrics.horizontalAdvance(lines[i]) + 12);
    const QSize boxSize(boxWidth, lineHeight * rows + 8);
    const QRect box(QPoint(std::max(6, pictureSize.width() - 6 - boxSize.width()),
                        std::max(6, pictureSize.height() - 6 - boxSize.height())),
        boxSize);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 170));
    painter.drawRoundedRect(box, 4, 4);
    const int perColumn = rows - first;
    for (int i = 0; i < count; ++i) {
        const int column = i < first ? 0 : (i - first) / perColumn;
        const int row = i < first ? i : first + (i - first) % perColumn;
        const int x = box.left() + column * columnWidth;
        const int y = box.top() + 4 + row * lineHeight;
        const bool swatched = i >= first && i < swatches.size();
        if (swatched) {
            painter.setPen(QPen(swatches[i], 3));
            painter.drawLine(x + 6, y + lineHeight / 2, x + 22, y + lineHeight / 2);
        }
        painter.setPen(Qt::white);
        painter.drawText(QRect(x + 6 + (swatched || first == 0 ? swatch : 0), y,
                             i < first ? boxWidth - 12 : width + 4, lineHeight),
            Qt::AlignVCenter | Qt::AlignLeft, lines[i]);
    }
}

} // namespace

void TrackPicture::draw(QPainter &painter, Kind kind, const QImage &frame, const FishTracks &tracks,
    int binPixels, int fishIndex)
{
    if (kind == Kind::Trajectory)
        drawTrajectory(painter, frame, tracks, fishIndex);
    else
        drawHeatMap(painter, frame, tracks, OccupancyGrid::compute(tracks, binPixels, fishIndex));
}

QImage TrackPicture::firstFrame(const QString &videoPath, QString *error)
{
    QVideoDecoder decoder;
    QImage frame;
    if (!decoder.open(videoPath)) {
        if (error)
            *error = QStringLiteral("Cannot open the video %1").arg(videoPath);
        return QImage();
    }
    if (!decoder.seekNextFrame() || !decoder.copyFrame(frame) || frame.isNull()) {
        if (error)
            *error = QStringLiteral("Cannot decode a frame of %1").arg(videoPath);
        return QImage();
    }
    return frame.convertToFormat(QImage::Format_RGB32);
}

QString TrackPicture::videoPathFor(const QString &dataPath)
{
    for (const char *suffix : { ".datamulti.txt", ".data.txt" }) {
        if (dataPath.endsWith(QLatin1String(suffix)))
            return dataPath.chopped(int(qstrlen(suffix)));
    }
    return QString();
}

int TrackPicture::scaleFor(const QSize &frameSize)
{
    if (frameSize.width() <= 0)
        return 1;
    return std::max(1, (minimumPictureWidth + frameSize.width() - 1) / frameSize.width());
}

QSize TrackPicture::pictureSize(const QSize &frameSize)
{
    return frameSize * scaleFor(frameSize);
}

void TrackPicture::drawTrajectory(
    QPainter &painter, const QImage &frame, const FishTracks &tracks, int fishIndex)
{
    painter.save();
    drawBackground(painter, frame, false);
    drawZones(painter, tracks);
    const double width = std::max(1.0, frame.width() / 400.0);
    QStringList names;
    QList<QColor> colours;
    for (int f = 0; f < tracks.fish.size(); ++f) {
        if (fishIndex >= 0 && f != fishIndex)
            continue;
        const FishTrack &track = tracks.fish[f];
        const QColor colour = FishPalette::colour(f);
        // Only the positions the tracker was sure of; a pixel's centre is half a pixel in.
        QPainterPath path;
        QPointF first, last;
        bool started = false;
        for (int i = 0; i < track.xs.size(); ++i) {
            if (!track.found[i])
                continue;
            const QPointF p(track.xs[i] + 0.5, track.ys[i] + 0.5);
            if (!started) {
                path.moveTo(p);
                first = p;
                started = true;
            } else {
                path.lineTo(p);
            }
            last = p;
        }
        names << QStringLiteral("Fish %1").arg(f + 1);
        colours << colour;
        if (!started)
            continue;
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(path);
        // Start: hollow circle; end: filled circle.
        painter.setPen(QPen(colour, width));
        painter.drawEllipse(first, 3 * width, 3 * width);
        painter.setBrush(colour);
        painter.drawEllipse(last, 2.5 * width, 2.5 * width);
    }
    painter.resetTransform();
    names.prepend(QStringLiteral("Trajectory (o start, \u25cf end)"));
    colours.prepend(Qt::transparent);
    drawLegendBox(painter, pictureSize(frame.size()), names, colours);
    painter.restore();
}

QColor TrackPicture::heatColour(double t)
{
    // A short perceptual ramp (dark blue, purple, orange, light yellow).
    static const QColor stops[] = { QColor(13, 8, 135), QColor(126, 3, 168), QColor(204, 71, 120),
        QColor(248, 149, 64), QColor(240, 249, 33) };
    t = std::clamp(t, 0.0, 1.0) * 4.0;
    const int i = std::min(3, int(t));
    const double u = t - i;
    const QColor &a = stops[i];
    const QColor &b = stops[i + 1];
    return QColor(int(a.red() + (b.red() - a.red()) * u),
        int(a.green() + (b.green() - a.green()) * u), int(a.blue() + (b.blue() - a.blue()) * u));
}

void TrackPicture::drawHeatMap(
    QPainter &painter, const QImage &frame, const FishTracks &tracks, const OccupancyGrid &grid)
{
    painter.save();
    drawBackground(painter, frame, true);
    const double top = grid.largest();
    painter.setPen(Qt::NoPen);
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (int r = 0; r < grid.rows; ++r) {
        for (int c = 0; c < grid.columns; ++c) {
            const double share = grid.at(c, r);
            if (share <= 0.0 || top <= 0.0)
                continue;
            // Square-root scale, so rarely visited places still show.
            QColor colour = heatColour(std::sqrt(share / top));
            colour.setAlpha(215);
            painter.fillRect(grid.cell(c, r), colour);
        }
    }
    painter.setRenderHint(QPainter::Antialiasing);
    drawZones(painter, tracks);
    painter.resetTransform();

    // Colour bar with the share of time at its ends.
    const QSize size = pictureSize(frame.size());
    const QRect bar(size.width() - 36, 30, 14, std::max(60, size.height() / 3));
    for (int y = 0; y < bar.height(); ++y) {
        const double t = 1.0 - double(y) / std::max(1, bar.height() - 1);
        painter.fillRect(QRect(bar.left(), bar.top() + y, bar.width(), 1), heatColour(t));
    }
    const QStringList lines { QStringLiteral("Time in each %1 px bin").arg(grid.bin),
        QStringLiteral("top: %1 %").arg(top * 100.0, 0, 'f', 2),
        QStringLiteral("bottom: 0 % (square-root scale)"),
        QStringLiteral("%1 positions").arg(grid.positions) };
    drawLegendBox(painter, size, lines, {});
    painter.setPen(Qt::white);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(bar.adjusted(0, 0, -1, -1));
    const QRect topLabel(bar.left() - 86, bar.top() - 8, 80, 16);
    const QRect bottomLabel(bar.left() - 86, bar.bottom() - 8, 80, 16);
    painter.fillRect(topLabel.adjusted(30, 0, 4, 0), QColor(0, 0, 0, 150));
    painter.fillRect(bottomLabel.adjusted(30, 0, 4, 0), QColor(0, 0, 0, 150));
    painter.drawText(topLabel, Qt::AlignRight | Qt::AlignVCenter,
        QStringLiteral("%1 %").arg(top * 100.0, 0, 'f', 1));
    painter.drawText(bottomLabel, Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("0 %"));
    painter.restore();
}
