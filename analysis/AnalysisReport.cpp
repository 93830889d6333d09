#include "analysis/AnalysisReport.h"

#include <cmath>

namespace {

void appendLine(QString &out, const char *label, const QVector<float> &numbers)
{
    out += QLatin1String(label);
    for (float v : numbers) {
        out += AnalysisReport::formatNumber(v);
        out += QLatin1Char(' ');
    }
}

QString csvField(const QString &field)
{
    if (!field.contains(QLatin1Char(',')) && !field.contains(QLatin1Char('"'))
        && !field.contains(QLatin1Char('\n')))
        return field;
    QString quoted = field;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

QString AnalysisReport::formatNumber(float value)
{
    if (std::isnan(value))
        return QStringLiteral("nan");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("inf") : QStringLiteral("-inf");
    return QString::number(double(value), 'f', 6);
}

QString AnalysisReport::text(const QVector<VariableResult> &results)
{
    QString out;
    for (const VariableResult &result : results) {
        out += result.name;
        out += QLatin1Char('\n');
        appendLine(out, "Time ", result.windows.startTimes);
        out += QLatin1Char('\n');
        appendLine(out, "Mean ", result.windows.means);
        out += QLatin1Char('\n');
        appendLine(out, "Variance ", result.windows.variances);
        out += QLatin1String("\n\n");
    }
    return out;
}

QString AnalysisReport::csv(const QVector<VariableResult> &results)
{
    QString out = QStringLiteral("variable,start,mean,variance\n");
    for (const VariableResult &result : results) {
        const WindowSummary &w = result.windows;
        for (int i = 0; i < w.startTimes.size(); ++i) {
            out += csvField(result.name) + QLatin1Char(',') + formatNumber(w.startTimes[i])
                + QLatin1Char(',') + formatNumber(w.means[i]) + QLatin1Char(',')
                + formatNumber(w.variances[i]) + QLatin1Char('\n');
        }
    }
    return out;
}
