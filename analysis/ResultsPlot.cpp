#include "analysis/ResultsPlot.h"

#include "model/FishPalette.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

// About `count` round tick values (1, 2 or 5 times a power of ten) covering low..high.
QVector<double> ticks(double low, double high, int count)
{
    QVector<double> out;
    const double span = high - low;
    if (!(span > 0.0) || !std::isfinite(span))
        return out;
    const double raw = span / count;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    double step = power;
    for (double m : { 1.0, 2.0, 5.0, 10.0 }) {
        step = m * power;
        if (step >= raw)
            break;
    }
    for (double v = std::ceil(low / step) * step; v <= high + step * 1e-9; v += step)
        out.append(std::fabs(v) < step * 1e-9 ? 0.0 : v);
    return out;
}

QString tickText(double v)
{
    return QString::number(v, 'g', 6);
}

} // namespace

QVector<ResultsPlot::Series> ResultsPlot::series(const ResultsTable &table, int variableRow)
{
    QVector<Series> out;
    bool neverNegative = true;
    for (const ResultsRow &row : table.rows)
        if (row.variableRow == variableRow && !(row.min >= 0.0f))
            neverNegative = false;
    for (const ResultsRow &row : table.rows) {
        if (row.variableRow != variableRow)
            continue;
        auto it = std::find_if(
            out.begin(), out.end(), [&](const Series &s) { return s.fish == row.fish; });
        if (it == out.end()) {
            out.append(Series { row.fish, {}, {}, {}, {} });
            it = out.end() - 1;
        }
        it->times.append(row.start);
        it->means.append(row.mean);
        it->sds.append(row.sd);
        const float low = row.mean - row.sd;
        it->lows.append(neverNegative ? std::max(low, 0.0f) : low);
    }
    return out;
}

void ResultsPlot::draw(
    QPainter &painter, const QRectF &bounds, const ResultsTable &table, int variableRow)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(bounds, Qt::white);
    QFont font = painter.font();
    font.setPixelSize(13);
    painter.setFont(font);
    const QFontMetrics metrics(font);

    QString title;
    QString unit;
    for (const ResultsRow &row : table.rows) {
        if (row.variableRow == variableRow) {
            title = row.variable;
            unit = row.unit;
            break;
        }
    }
    const QVector<Series> all = series(table, variableRow);
    if (all.isEmpty()) {
        painter.setPen(Qt::darkGray);
        painter.drawText(bounds, Qt::AlignCenter, QStringLiteral("No windows to plot"));
        painter.restore();
        return;
    }

    // Ranges over the finite values, bands included.
    double tLow = INFINITY, tHigh = -INFINITY, vLow = INFINITY, vHigh = -INFINITY;
    for (const Series &s : all) {
        for (int i = 0; i < s.times.size(); ++i) {
            const double lo = s.lows[i];
            const double hi = double(s.means[i]) + s.sds[i];
            if (!std::isfinite(lo) || !std::isfinite(hi) || !std::isfinite(s.times[i]))
                continue;
            tLow = std::min(tLow, double(s.times[i]));
            tHigh = std::max(tHigh, double(s.times[i]));
            vLow = std::min(vLow, lo);
            vHigh = std::max(vHigh, hi);
        }
    }
    if (!std::isfinite(tLow)) {
        tLow = 0.0;
        tHigh = 1.0;
        vLow = 0.0;
        vHigh = 1.0;
    }
    if (tHigh - tLow <= 0.0)
        tHigh = tLow + 1.0;
    if (vHigh - vLow <= 0.0) {
        vLow -= 0.5;
        vHigh += 0.5;
    }
    const double pad = (vHigh - vLow) * 0.05;
    // An axis that starts at 0 stays there.
    vLow = vLow >= 0.0 ? std::max(0.0, vLow - pad) : vLow - pad;
    vHigh += pad;

    const QVector<double> yTicks = ticks(vLow, vHigh, 6);
    int labelWidth = 0;
    for (double v : yTicks)
        labelWidth = std::max(labelWidth, metrics.horizontalAdvance(tickText(v)));
    const double line = metrics.height();
    const QRectF plot
        = bounds.adjusted(labelWidth + line + 16, line * 2 + 8, -110, -(line * 2 + 14));
    const auto x
        = [&](double t) { return plot.left() + (t - tLow) / (tHigh - tLow) * plot.width(); };
    const auto y
        = [&](double v) { return plot.bottom() - (v - vLow) / (vHigh - vLow) * plot.height(); };

    // Title, axes, ticks and grid.
    painter.setPen(Qt::black);
    painter.drawText(QRectF(bounds.left(), bounds.top() + 4, bounds.width(), line + 4),
        Qt::AlignHCenter | Qt::AlignVCenter,
        (unit.isEmpty() ? title : QStringLiteral("%1 (%2)").arg(title, unit))
            + QStringLiteral(": mean \u00b1 SD per window"));
    for (double v : yTicks) {
        painter.setPen(QColor(230, 230, 230));
        painter.drawLine(QPointF(plot.left(), y(v)), QPointF(plot.right(), y(v)));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(bounds.left(), y(v) - line / 2, labelWidth + line + 10, line),
            Qt::AlignRight | Qt::AlignVCenter, tickText(v));
    }
    for (double t : ticks(tLow, tHigh, 8)) {
        painter.setPen(QColor(230, 230, 230));
        painter.drawLine(QPointF(x(t), plot.top()), QPointF(x(t), plot.bottom()));
        painter.setPen(Qt::black);
        painter.drawText(
            QRectF(x(t) - 40, plot.bottom() + 4, 80, line), Qt::AlignCenter, tickText(t));
    }
    painter.setPen(QPen(Qt::black, 1));
    painter.drawLine(plot.bottomLeft(), plot.bottomRight());
    painter.drawLine(plot.bottomLeft(), plot.topLeft());
    painter.drawText(QRectF(plot.left(), plot.bottom() + line + 6, plot.width(), line),
        Qt::AlignCenter, QStringLiteral("Window start (s)"));
    painter.save();
    painter.translate(bounds.left() + line / 2 + 2, plot.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-plot.height() / 2, -line / 2, plot.height(), line), Qt::AlignCenter,
        unit.isEmpty() ? title : unit);
    painter.restore();

    // Bands under lines, so no band hides a mean.
    painter.setClipRect(plot.adjusted(-4, -4, 4, 4));
    for (const Series &s : all) {
        QColor colour = s.fish == 0 ? QColor(Qt::darkGray) : FishPalette::colour(s.fish - 1);
        QPolygonF band;
        for (int i = 0; i < s.times.size(); ++i)
            band << QPointF(x(s.times[i]), y(double(s.means[i]) + s.sds[i]));
        for (int i = int(s.times.size()) - 1; i >= 0; --i)
            band << QPointF(x(s.times[i]), y(s.lows[i]));
        colour.setAlpha(50);
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawPolygon(band);
    }
    for (const Series &s : all) {
        const QColor colour = s.fish == 0 ? QColor(Qt::darkGray) : FishPalette::colour(s.fish - 1);
        QPolygonF means;
        for (int i = 0; i < s.times.size(); ++i)
            means << QPointF(x(s.times[i]), y(s.means[i]));
        painter.setPen(QPen(colour, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawPolyline(means);
        painter.setBrush(colour);
        for (const QPointF &p : means)
            painter.drawEllipse(p, 3, 3);
    }
    painter.setClipping(false);

    // Legend at the right.
    for (int i = 0; i < all.size(); ++i) {
        const Series &s = all[i];
        const QColor colour = s.fish == 0 ? QColor(Qt::darkGray) : FishPalette::colour(s.fish - 1);
        const double ly = plot.top() + i * (line + 4);
        painter.setPen(QPen(colour, 3));
        painter.drawLine(
            QPointF(plot.right() + 12, ly + line / 2), QPointF(plot.right() + 32, ly + line / 2));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(plot.right() + 36, ly, 80, line), Qt::AlignLeft | Qt::AlignVCenter,
            s.fish == 0 ? QStringLiteral("Shoal") : QStringLiteral("Fish %1").arg(s.fish));
    }
    painter.restore();
}
