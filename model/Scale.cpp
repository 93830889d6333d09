#include "model/Scale.h"

#include <QRegularExpression>

#include <cmath>

QString Scale::describe() const
{
    return QString::number(unitsPerPixel, 'f', 8) + QLatin1Char(' ') + unit + QStringLiteral("/px");
}

std::optional<Scale> Scale::parse(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^(\\S+) ([A-Za-z]{1,8})/px$"));
    const QRegularExpressionMatch m = form.match(text.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = m.captured(1).toDouble(&ok);
    // A pixel longer than a kilometre in any unit is no scale anyone set.
    if (!ok || !std::isfinite(value) || value <= 0.0 || value > 1e6)
        return std::nullopt;
    return Scale { value, m.captured(2) };
}
