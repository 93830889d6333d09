#include "analysis/TrackTable.h"

#include "files/CompleteLinesFile.h"
#include "formats/TrackingDataFile.h"
#include "model/ArenaLayout.h"

#include <QFile>
#include <QMap>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr float unknown = std::numeric_limits<float>::quiet_NaN();

// The row letters of a plate: A..Z, then AA, AB...
QString rowLetters(int row)
{
    QString letters;
    for (int r = row + 1; r > 0; r = (r - 1) / 26)
        letters.prepend(QChar(u'A' + (r - 1) % 26));
    return letters;
}

} // namespace

bool TrackTable::read(const QString &path, QString *error)
{
    const auto fail = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, why);
        return false;
    };
    OverlaySet written; // every zone the rows have a column for
    if (!TrackingDataFile::readOverlays(path, &written, error, &detection))
        return false;
    QString reason;
    if (!TrackingDataFile::hasRows(path, &reason))
        return fail(reason);

    overlays = written;
    if (ArenaLayout::fishFromDetection(detection))
        overlays.arenas = ArenaLayout::takeArenas(&overlays, detection);
    // The user's zones among the written ones, in order: those takeArenas left.
    QList<int> zoneColumn;
    for (int k = 1, kept = 1; k < written.areas.size(); ++k) {
        if (kept < overlays.areas.size() && written.areaLabels[k] == overlays.areaLabels[kept]
            && written.areas[k] == overlays.areas[kept]) {
            zoneColumn << k - 1;
            ++kept;
        }
    }
    zoneNames = overlays.areaLabels.mid(1);
    arenaOfFish = ArenaLayout::arenaOfFish(overlays.arenas);

    CompleteLinesFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());
    QTextStream in(&file);
    QString line = in.readLine();
    multiFish = line == QLatin1String("NumFish: ");
    int fishCount = 1;
    if (multiFish) {
        bool ok = false;
        fishCount = in.readLine().trimmed().toInt(&ok);
        if (!ok || fishCount < 1 || fishCount > ArenaLayout::maxFish)
            return fail(QStringLiteral("the fish count must be a whole number from 1 to %1")
                            .arg(ArenaLayout::maxFish));
    }
    QStringList header;
    while (!in.atEnd()) {
        line = in.readLine();
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.startsWith(QLatin1String("Scale: "))) {
            const auto read = Scale::parse(line.mid(7));
            if (!read)
                return fail(QStringLiteral("the scale line \"%1\" gives no length per pixel "
                                           "with a unit")
                                .arg(line));
            scale = *read;
        }
        if (line.startsWith(QLatin1String("Seconds ")) || line.startsWith(QLatin1String("Time "))) {
            header = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            break;
        }
    }
    if (!arenaOfFish.isEmpty() && arenaOfFish.size() != fishCount)
        return fail(QStringLiteral("the arenas hold %1 fish, the file %2")
                        .arg(arenaOfFish.size())
                        .arg(fishCount));

    const int zoneColumns = int(written.areas.size()) - 1;
    const int overlayColumns
        = zoneColumns + int(written.rulers.size()) + int(written.pointDists.size());
    const int block = 4 + overlayColumns;
    const int standard = multiFish ? 1 + fishCount * block : 6 + overlayColumns;
    // Columns added after the standard ones are found by name. Counted from the end of the
    // line, since an older label with a blank in it spans two words of the column header.
    const auto fromEnd = [&header](const QString &name) {
        const int at = int(header.indexOf(name));
        return at < 0 ? -1 : int(header.size()) - at;
    };
    QVector<int> headingFromEnd(fishCount), lengthFromEnd(fishCount);
    for (int k = 0; k < fishCount; ++k) {
        const QString prefix = QStringLiteral("Fish%1").arg(k + 1);
        headingFromEnd[k] = fromEnd(prefix + QStringLiteral("Heading"));
        lengthFromEnd[k] = fromEnd(prefix + QStringLiteral("BodyLength"));
        if (!multiFish && headingFromEnd[k] < 0)
            headingFromEnd[k] = fromEnd(QStringLiteral("FishHeading"));
        if (!multiFish && lengthFromEnd[k] < 0)
            lengthFromEnd[k] = fromEnd(QStringLiteral("FishBodyLength"));
    }
    hasHeading
        = std::any_of(headingFromEnd.begin(), headingFromEnd.end(), [](int i) { return i > 0; });
    hasBodyLength
        = std::any_of(lengthFromEnd.begin(), lengthFromEnd.end(), [](int i) { return i > 0; });

    // The picture's own index, which the whole-video background method writes last.
    const int frameFromEnd = fromEnd(QStringLiteral("Frame"));
    frames.clear();
    bool framesWhole = frameFromEnd > 0;

    times.clear();
    fish = QVector<Fish>(fishCount);
    rowsLeftOut = 0;
    const int zoneCount = int(zoneNames.size());
    // The rows are read as bytes and split in place: a plate's file holds tens of millions
    // of fields, and a string for each would take minutes.
    if (!file.seek(in.pos()))
        return fail(file.errorString());
    struct Field
    {
        const char *at;
        int size;
    };
    std::vector<Field> f;
    const auto text = [&f](std::size_t i) { return QByteArray::fromRawData(f[i].at, f[i].size); };
    const auto real = [&text](std::size_t i) {
        bool ok = false;
        const double v = text(i).toDouble(&ok);
        return ok && std::isfinite(v) && std::fabs(v) < 1e9 ? float(v) : unknown;
    };
    const auto flag = [&text](std::size_t i) { return text(i).toInt() != 0; };
    while (!file.atEnd()) {
        const QByteArray row = file.readLine();
        f.clear();
        for (int i = 0, n = int(row.size()); i < n;) {
            while (i < n && (row[i] == ' ' || row[i] == '\r' || row[i] == '\n'))
                ++i;
            const int start = i;
            while (i < n && row[i] != ' ' && row[i] != '\r' && row[i] != '\n')
                ++i;
            if (i > start)
                f.push_back({ row.constData() + start, i - start });
        }
        if (f.empty())
            continue;
        const float seconds = real(0);
        if (int(f.size()) < standard || std::isnan(seconds)) {
            ++rowsLeftOut;
            continue;
        }
        times.append(seconds);
        if (framesWhole) {
            const int at = int(f.size()) - frameFromEnd;
            bool whole = false;
            const qint64 index = at >= standard ? text(std::size_t(at)).toLongLong(&whole) : -1;
            framesWhole = whole && index >= 0;
            frames.append(index);
        }
        const auto extra = [&](int back) {
            const int at = int(f.size()) - back;
            return back > 0 && at >= standard ? real(std::size_t(at)) : unknown;
        };
        for (int k = 0; k < fishCount; ++k) {
            Fish &one = fish[k];
            const std::size_t base = multiFish ? 1 + std::size_t(k) * std::size_t(block) : 1;
            const std::size_t zonesAt = multiFish ? base + 4 : 6;
            if (multiFish) {
                one.found.append(flag(base));
                one.x.append(real(base + 2));
                one.y.append(real(base + 3));
            } else {
                one.x.append(real(1));
                one.y.append(real(2));
                one.found.append(flag(5));
            }
            // A position that is no number is no finding.
            if (std::isnan(one.x.last()) || std::isnan(one.y.last()))
                one.found.last() = false;
            for (int z = 0; z < zoneCount; ++z)
                one.zones.append(flag(zonesAt + std::size_t(zoneColumn[z])) ? 1 : 0);
            if (hasHeading)
                one.heading.append(extra(headingFromEnd[k]));
            if (hasBodyLength)
                one.bodyLength.append(extra(lengthFromEnd[k]));
        }
    }

    if (!framesWhole)
        frames.clear();
    // The frame period: the median step, so that a picture the decoder dropped or a late
    // timestamp does not change it.
    QVector<double> steps;
    for (int i = 1; i < times.size() && steps.size() < 2001; ++i)
        if (times[i] > times[i - 1])
            steps << double(times[i]) - double(times[i - 1]);
    period = 0.0;
    if (!steps.isEmpty()) {
        std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
        period = steps[steps.size() / 2];
    }
    return true;
}

qint64 TrackTable::frameOf(int row) const
{
    if (!frames.isEmpty())
        return frames.value(row);
    if (period <= 0.0)
        return row;
    return qint64(std::llround(std::max(0.0, double(times.value(row))) / period));
}

namespace {

// Plate names for `members` (indices into arenas, in number order) when they lie as a grid:
// cells of one size (to the pixel a round well's rounding moves), the first row's lefts
// repeated in every row, numbered row by row from the top left. Nothing otherwise.
QStringList gridNames(const QList<Arena> &arenas, const QList<int> &members)
{
    if (members.size() < 2)
        return {};
    const auto rect = [&](int i) { return arenas[members[i]].rect; };
    const QSize cell = rect(0).size();
    int columns = 1;
    while (columns < members.size() && std::abs(rect(columns).top() - rect(0).top()) <= 1)
        ++columns;
    if (members.size() % columns != 0)
        return {};
    for (int i = 0; i < members.size(); ++i) {
        const QRect r = rect(i);
        if (std::abs(r.width() - cell.width()) > 1 || std::abs(r.height() - cell.height()) > 1
            || std::abs(r.left() - rect(i % columns).left()) > 1
            || std::abs(r.top() - rect(i - i % columns).top()) > 1
            || (i >= columns && r.top() <= rect(i - columns).top())
            || (i % columns && r.left() <= rect(i - 1).left()))
            return {};
    }
    QStringList names;
    for (int i = 0; i < members.size(); ++i)
        names << rowLetters(i / columns) + QString::number(i % columns + 1);
    return names;
}

} // namespace

QStringList TrackTable::wellNames() const
{
    const QList<Arena> &arenas = overlays.arenas;
    QStringList names;
    for (int i = 0; i < arenas.size(); ++i)
        names << QString();
    // Files that record each arena's grid name the arenas of each grid; older ones, whose
    // arenas are all named when together they lie as a grid, are taken as one plate.
    QMap<int, QList<int>> grids;
    const bool grouped = detection.contains(QLatin1String("arena-group="));
    for (int i = 0; i < arenas.size(); ++i)
        if (!grouped || arenas[i].group > 0)
            grids[grouped ? arenas[i].group : 0] << i;
    for (const QList<int> &members : std::as_const(grids)) {
        const QStringList grid = gridNames(arenas, members);
        for (int i = 0; i < grid.size(); ++i)
            names[members[i]] = grid[i];
    }
    return names;
}
