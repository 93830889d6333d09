#include "analysis/PlateFigure.h"

#include "analysis/TrackTable.h"

#include <QMap>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr int panelSide = 420; // the plate's longer side in a panel
constexpr int margin = 24;
constexpr int titleHeight = 28;
constexpr int scaleHeight = 56;
constexpr int maxColumns = 4;

double valueOf(const MeasureRow &row, const QString &measure)
{
    if (row.rows == 0)
        return std::nan("");
    if (measure == QLatin1String("distance"))
        return row.distance;
    if (measure == QLatin1String("mean_speed"))
        return row.meanSpeed;
    if (measure == QLatin1String("mobile_s"))
        return row.mobile;
    if (measure == QLatin1String("immobile_s"))
        return row.immobile;
    if (measure == QLatin1String("wall_s"))
        return row.round ? row.wall : std::nan("");
    if (measure == QLatin1String("centre_s"))
        return row.round ? row.centre : std::nan("");
    return std::nan("");
}

// A perceptually ordered ramp (viridis's stops), dark for low values, yellow for high ones.
QColor ramp(double t)
{
    static const QColor stops[] = { QColor(68, 1, 84), QColor(59, 82, 139), QColor(33, 145, 140),
        QColor(94, 201, 98), QColor(253, 231, 37) };
    t = std::clamp(t, 0.0, 1.0) * 4.0;
    const int i = std::min(3, int(t));
    const double f = t - i;
    const QColor &a = stops[i], &b = stops[i + 1];
    return QColor(int(std::lround(a.red() + f * (b.red() - a.red()))),
        int(std::lround(a.green() + f * (b.green() - a.green()))),
        int(std::lround(a.blue() + f * (b.blue() - a.blue()))));
}

int binCount(const QVector<MeasureRow> &rows)
{
    QMap<double, int> starts;
    for (const MeasureRow &row : rows)
        starts[row.start] = 0;
    return std::max(1, int(starts.size()));
}

QString unitOf(const TrackTable &table, const QString &measure)
{
    if (measure == QLatin1String("distance"))
        return table.scale.lengthUnit();
    if (measure == QLatin1String("mean_speed"))
        return table.scale.lengthUnit() + QStringLiteral("/s");
    return QStringLiteral("s");
}

// Where each arena (or, without arenas, each fish) lies, in pixels of the video.
QVector<QRectF> placesOf(const TrackTable &table)
{
    QVector<QRectF> shapes;
    if (table.overlays.arenas.isEmpty())
        for (int i = 0; i < table.fish.size(); ++i)
            shapes << QRectF(i * 12.0, 0.0, 10.0, 10.0);
    for (const Arena &a : table.overlays.arenas)
        shapes << QRectF(a.rect);
    return shapes;
}

QRectF extentOf(const QVector<QRectF> &shapes)
{
    QRectF extent;
    for (const QRectF &r : shapes)
        extent = extent.united(r);
    return extent.isEmpty() ? QRectF(0, 0, 1, 1) : extent;
}

// A panel: the plate's longer side panelSide (less a small border), the other in proportion.
QSize panelSize(const TrackTable &table)
{
    const QRectF extent = extentOf(placesOf(table));
    const double scale = (panelSide - 8) / std::max(extent.width(), extent.height());
    return QSize(
        int(std::ceil(extent.width() * scale)) + 8, int(std::ceil(extent.height() * scale)) + 8);
}

} // namespace

namespace PlateFigure {

QStringList measureNames()
{
    return { QStringLiteral("distance"), QStringLiteral("mean_speed"), QStringLiteral("mobile_s"),
        QStringLiteral("immobile_s"), QStringLiteral("wall_s"), QStringLiteral("centre_s") };
}

bool knowsMeasure(const QString &name)
{
    return measureNames().contains(name);
}

QSize size(const TrackTable &table, const QVector<MeasureRow> &rows)
{
    const int bins = binCount(rows);
    const int columns = std::min(bins, maxColumns);
    const int panelRows = (bins + columns - 1) / columns;
    const QSize panel = panelSize(table);
    return QSize(std::max(margin + columns * (panel.width() + margin), 2 * margin + 360),
        titleHeight + panelRows * (panel.height() + titleHeight) + scaleHeight + margin);
}

void draw(QPainter &painter, const TrackTable &table, const QVector<MeasureRow> &rows,
    const QString &measure)
{
    const QSize picture = size(table, rows);
    const QSize panel = panelSize(table);
    painter.fillRect(QRect(QPoint(0, 0), picture), Qt::white);
    painter.setRenderHint(QPainter::Antialiasing);
    const QList<Arena> &arenas = table.overlays.arenas;
    const QStringList wells = table.wellNames();
    QMap<double, int> binOf;
    for (const MeasureRow &row : rows)
        binOf[row.start] = 0;
    int b = 0;
    for (auto it = binOf.begin(); it != binOf.end(); ++it)
        it.value() = b++;

    // Per bin and arena, the mean of its fish's values (an arena of several fish shows one).
    // Files without arenas draw each fish's value in a row of circles.
    const int places = arenas.isEmpty() ? int(table.fish.size()) : int(arenas.size());
    QVector<QVector<double>> sums(binOf.size(), QVector<double>(places, 0.0));
    QVector<QVector<int>> counts(binOf.size(), QVector<int>(places, 0));
    double low = INFINITY, high = -INFINITY;
    for (const MeasureRow &row : rows) {
        const double v = valueOf(row, measure);
        if (!std::isfinite(v))
            continue;
        const int place = arenas.isEmpty() ? row.fish - 1 : row.arena - 1;
        if (place < 0 || place >= places)
            continue;
        sums[binOf[row.start]][place] += v;
        ++counts[binOf[row.start]][place];
        low = std::min(low, v);
        high = std::max(high, v);
    }
    if (!(high > low)) {
        low = std::isfinite(low) ? low : 0.0;
        high = low + 1.0;
    }

    const QVector<QRectF> shapes = placesOf(table);
    const QRectF extent = extentOf(shapes);
    const double scale = (panelSide - 8) / std::max(extent.width(), extent.height());

    const QString unit = unitOf(table, measure);
    QFont font = painter.font();
    font.setPixelSize(14);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QRect(margin, 4, picture.width() - 2 * margin, titleHeight - 4),
        Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("%1 (%2)").arg(measure, unit));

    const int columns = std::min(int(binOf.size()), maxColumns);
    QFont small = font;
    small.setPixelSize(std::clamp(int(std::lround(scale * extent.width() / 40.0)), 7, 12));
    for (auto it = binOf.begin(); it != binOf.end(); ++it) {
        const int bin = it.value();
        const QPointF origin(margin + (bin % columns) * (panel.width() + margin),
            titleHeight + (bin / columns) * (panel.height() + titleHeight) + titleHeight);
        painter.setFont(font);
        painter.setPen(Qt::black);
        const MeasureRow *first = nullptr;
        for (const MeasureRow &row : rows)
            if (row.start == it.key() && !first)
                first = &row;
        if (binOf.size() > 1 && first)
            painter.drawText(
                QRectF(origin.x(), origin.y() - titleHeight + 4, panel.width(), titleHeight - 4),
                Qt::AlignLeft | Qt::AlignVCenter,
                QStringLiteral("%1-%2 s").arg(first->start).arg(first->end));
        painter.setFont(small);
        for (int i = 0; i < places; ++i) {
            const QRectF r((shapes[i].left() - extent.left()) * scale + origin.x() + 4,
                (shapes[i].top() - extent.top()) * scale + origin.y() + 4,
                shapes[i].width() * scale, shapes[i].height() * scale);
            const bool known = counts[bin][i] > 0;
            const double v = known ? sums[bin][i] / counts[bin][i] : 0.0;
            painter.setPen(QPen(QColor(60, 60, 60), 1));
            painter.setBrush(known ? QBrush(ramp((v - low) / (high - low)))
                                   : QBrush(QColor(200, 200, 200), Qt::BDiagPattern));
            const bool round = arenas.isEmpty() || arenas[i].shape == Arena::Shape::Ellipse;
            if (round)
                painter.drawEllipse(r);
            else
                painter.drawRect(r);
            const QString name = wells.value(i).isEmpty() ? QString::number(i + 1) : wells[i];
            painter.setPen(known && (v - low) / (high - low) > 0.6 ? Qt::black : Qt::white);
            if (!known)
                painter.setPen(Qt::black);
            painter.drawText(r, Qt::AlignCenter, name);
        }
    }

    // The colour scale with its ends and unit.
    const QRectF bar(margin, picture.height() - margin - scaleHeight + 8,
        std::min(360, picture.width() - 2 * margin), 16);
    for (int x = 0; x < int(bar.width()); ++x)
        painter.fillRect(QRectF(bar.left() + x, bar.top(), 1.0, bar.height()),
            ramp(x / std::max(1.0, bar.width() - 1)));
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(bar);
    const QRectF labels(bar.left(), bar.bottom() + 2, bar.width(), 20);
    painter.drawText(labels, Qt::AlignLeft | Qt::AlignTop, QString::number(low, 'g', 4));
    painter.drawText(labels, Qt::AlignRight | Qt::AlignTop,
        QStringLiteral("%1 %2").arg(QString::number(high, 'g', 4), unit));
    painter.drawText(QRectF(bar.left(), bar.bottom() + 20, bar.width(), 20),
        Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("hatched: never found"));
}

} // namespace PlateFigure
