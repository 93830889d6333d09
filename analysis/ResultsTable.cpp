#include "analysis/ResultsTable.h"

#include "analysis/DataFileHeader.h"
#include "analysis/FishTracks.h"
#include "analysis/SampleCollector.h"

#include <QBuffer>
#include <QFile>

#include <cmath>

namespace {

bool isMultiFishFile(const QString &path)
{
    DataFileHeader header;
    return header.read(path) && header.multiFish;
}

void appendWindows(ResultsTable &table, int variableRow, const QString &variable,
    const QString &unit, int fish, const WindowSummary &w, float measure)
{
    for (int i = 0; i < w.startTimes.size(); ++i) {
        ResultsRow row;
        row.variableRow = variableRow;
        row.variable = variable;
        row.unit = unit;
        row.fish = fish;
        row.start = w.startTimes[i];
        row.end = w.startTimes[i] + measure;
        row.n = w.counts.value(i);
        row.mean = w.means[i];
        row.sd = std::sqrt(w.variances[i]);
        row.min = w.minimums.value(i);
        row.max = w.maximums.value(i);
        table.rows.append(row);
    }
}

QString csvField(QString field)
{
    if (!field.contains(QLatin1Char(',')) && !field.contains(QLatin1Char('"'))
        && !field.contains(QLatin1Char('\n')))
        return field;
    field.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + field + QLatin1Char('"');
}

// The shoal's mean distance per row, in the X ruler's unit (pixels without one).
Samples shoalSamples(const FishTracks &tracks, const AnalysisInput &input, QString *unit)
{
    Samples samples;
    samples.opened = true;
    tracks.shoalDistances(input.allConfident, &samples.times, &samples.values);
    *unit = QStringLiteral("px");
    for (const Ruler &ruler : tracks.overlays.rulers) {
        if (ruler.label != input.rulerX)
            continue;
        const float pixels = std::hypot(float(ruler.x1 - ruler.x2), float(ruler.y1 - ruler.y2));
        if (pixels <= 0.0f)
            break;
        for (float &v : samples.values)
            v = v / pixels * ruler.length;
        *unit = QStringLiteral("ruler unit");
        break;
    }
    return samples;
}

} // namespace

QString ResultsTable::unitFor(const QString &variable)
{
    // Speed is measured along the X and Y rulers and lengths by the rulers and point
    // distances, in the unit their lengths were given in, which the file does not name.
    if (variable == QLatin1String("Speed"))
        return QStringLiteral("ruler unit/s");
    if (variable.endsWith(QLatin1String("TurnAngle")))
        return QStringLiteral("degrees");
    if (variable.startsWith(QLatin1String("Zone")))
        return QStringLiteral("fraction");
    for (const char *prefix : { "Ruler", "PointDist", "LineDist", "ShoalAvgDist" }) {
        if (variable.startsWith(QLatin1String(prefix)))
            return QStringLiteral("ruler unit");
    }
    return QString();
}

ResultsTable ResultsTable::build(const AnalysisInput &input, const QVector<VariableResult> &results)
{
    ResultsTable table;
    const bool noRuler = input.rulerX.isEmpty() || input.rulerY.isEmpty();
    const auto noteEmpty = [&](const VariableRow &row, int index, bool empty) {
        if (!empty)
            return;
        if (row.name == QLatin1String("Speed") && noRuler)
            table.notes << QStringLiteral(
                "Row %1, Speed: empty because the file has no ruler. Speed is measured along "
                "the X and Y rulers; draw a ruler before tracking.")
                               .arg(index + 1);
        else
            table.notes << QStringLiteral("Row %1, %2: no samples in the chosen windows.")
                               .arg(index + 1)
                               .arg(row.name);
    };

    FishTracks tracks;
    if (!isMultiFishFile(input.path) || !tracks.read(input.path)) {
        for (int i = 0; i < results.size() && i < input.rows.size(); ++i) {
            const VariableRow &row = input.rows[i];
            appendWindows(
                table, i, row.name, unitFor(row.name), 1, results[i].windows, row.window.measure);
            noteEmpty(row, i, results[i].windows.startTimes.isEmpty());
        }
        return table;
    }

    table.notes << QStringLiteral(
        "Several fish: the results text reads single-fish files only; this table gives each "
        "fish its own rows.");
    // Several fish: each fish's columns read as a single-fish file under the same rules.
    QVector<QByteArray> fishTexts;
    for (int f = 0; f < tracks.fish.size(); ++f)
        fishTexts.append(tracks.singleFishText(f));
    for (int i = 0; i < input.rows.size(); ++i) {
        const VariableRow &row = input.rows[i];
        const int before = table.rows.size();
        if (row.name == QLatin1String("ShoalAvgDist")) {
            QString unit;
            const Samples s = shoalSamples(tracks, input, &unit);
            appendWindows(table, i, row.name, unit, 0,
                WindowedStatistics::summarise(s.times, s.values, row.window), row.window.measure);
        } else {
            for (int f = 0; f < fishTexts.size(); ++f) {
                QBuffer buffer(&fishTexts[f]);
                buffer.open(QIODevice::ReadOnly);
                const Samples s = SampleCollector::collectFrom(buffer,
                    SampleRequest {
                        input.path, row.name, input.rulerX, input.rulerY, input.allConfident });
                appendWindows(table, i, row.name, unitFor(row.name), f + 1,
                    WindowedStatistics::summarise(s.times, s.values, row.window),
                    row.window.measure);
            }
        }
        noteEmpty(row, i, table.rows.size() == before);
    }
    return table;
}

QStringList ResultsTable::columnNames()
{
    return { QStringLiteral("variable"), QStringLiteral("unit"), QStringLiteral("fish"),
        QStringLiteral("start_s"), QStringLiteral("end_s"), QStringLiteral("n"),
        QStringLiteral("mean"), QStringLiteral("sd"), QStringLiteral("min"),
        QStringLiteral("max") };
}

QStringList ResultsTable::cells(const ResultsRow &row) const
{
    const auto number = &AnalysisReport::formatNumber;
    return { row.variable, row.unit,
        row.fish == 0 ? QStringLiteral("all") : QString::number(row.fish), number(row.start),
        number(row.end), QString::number(row.n), number(row.mean), number(row.sd), number(row.min),
        number(row.max) };
}

QString ResultsTable::csv() const
{
    QString out = columnNames().join(QLatin1Char(',')) + QLatin1Char('\n');
    for (const ResultsRow &row : rows) {
        QStringList fields = cells(row);
        for (QString &field : fields)
            field = csvField(field);
        out += fields.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    return out;
}

QString ResultsTable::tabSeparated() const
{
    QString out = columnNames().join(QLatin1Char('\t')) + QLatin1Char('\n');
    for (const ResultsRow &row : rows) {
        QStringList fields = cells(row);
        for (QString &field : fields)
            field.replace(QLatin1Char('\t'), QLatin1Char(' '));
        out += fields.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return out;
}
