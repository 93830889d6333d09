#include "formats/ValueReader.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace ValueReader {

std::optional<int> wholeNumber(const QString &text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

std::optional<int> wholeNumberIn(const QString &text, int minimum, int maximum)
{
    const auto value = wholeNumber(text);
    if (!value || *value < minimum || *value > maximum)
        return std::nullopt;
    return value;
}

std::optional<double> number(const QString &text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<QVector<double>> numbers(const QString &text, int count)
{
    const QStringList parts = text.split(QLatin1Char(','), Qt::KeepEmptyParts);
    if (parts.size() != count)
        return std::nullopt;
    QVector<double> values;
    for (const QString &p : parts) {
        const auto v = number(p);
        if (!v)
            return std::nullopt;
        values << *v;
    }
    return values;
}

bool isWhole(double value)
{
    return std::isfinite(value) && value == std::floor(value) && std::fabs(value) <= 2147483647.0;
}

std::optional<QRect> rect(const QString &text)
{
    const auto v = numbers(text, 4);
    if (!v)
        return std::nullopt;
    for (double d : *v)
        if (!isWhole(d))
            return std::nullopt;
    // Not QRect::normalized(), which moves swapped corners by one pixel.
    const int x1 = int((*v)[0]), y1 = int((*v)[1]), x2 = int((*v)[2]), y2 = int((*v)[3]);
    return QRect(
        QPoint(std::min(x1, x2), std::min(y1, y2)), QPoint(std::max(x1, x2), std::max(y1, y2)));
}

double roundTo(double value, int decimals)
{
    return QString::number(value, 'f', decimals).toDouble();
}

std::optional<double> real(const QString &text, int decimals, double minimum, double maximum)
{
    const auto value = number(text);
    if (!value)
        return std::nullopt;
    const double rounded = roundTo(*value, decimals);
    if (rounded < minimum || rounded > maximum)
        return std::nullopt;
    return rounded;
}

bool splitLabelled(const QString &arg, QString *text, QString *values)
{
    const int eq = arg.lastIndexOf(QLatin1Char('='));
    if (eq < 0)
        return false;
    *text = arg.left(eq);
    *values = arg.mid(eq + 1);
    return true;
}

std::optional<float> length(double value)
{
    const double rounded = roundTo(value, 1);
    if (std::fabs(rounded) > 2147483647.0)
        return std::nullopt;
    return float(rounded);
}

std::optional<MeasureShape> measureShape(const QString &arg)
{
    MeasureShape shape;
    QString values;
    if (!splitLabelled(arg, &shape.text, &values))
        return std::nullopt;
    const auto v = numbers(values, 5);
    if (!v)
        return std::nullopt;
    for (int k = 0; k < 4; ++k) {
        if (!isWhole((*v)[k]))
            return std::nullopt;
        shape.points[k] = int((*v)[k]);
    }
    const auto len = length((*v)[4]);
    if (!len)
        return std::nullopt;
    shape.length = *len;
    return shape;
}

QString wholeNumberWanted(const QString &name, int minimum, int maximum, const QString &got)
{
    return QStringLiteral("%1 must be a whole number from %2 to %3, got '%4'")
        .arg(name)
        .arg(minimum)
        .arg(maximum)
        .arg(got);
}

QString numberWanted(const QString &name, double minimum, double maximum, const QString &got)
{
    return QStringLiteral("%1 must be a number from %2 to %3, got '%4'")
        .arg(name)
        .arg(minimum)
        .arg(maximum)
        .arg(got);
}

} // namespace ValueReader
