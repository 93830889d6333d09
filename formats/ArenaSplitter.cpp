#include "formats/ArenaSplitter.h"

#include "model/ArenaLayout.h"

#include <QFile>
#include <QRegularExpression>
#include <QTextStream>

#include <cmath>

namespace {

// The threshold a detection line names ("threshold=auto:23" or "threshold=23"), or 0.
float thresholdOf(const QString &detection)
{
    static const QRegularExpression form(QStringLiteral("(?:^| )threshold=(?:auto:)?([0-9.]+)"));
    const QRegularExpressionMatch m = form.match(detection);
    return m.hasMatch() ? m.captured(1).toFloat() : 0.0f;
}

// The detection line without the whole file's arena counts and shapes.
QString withoutArenaFish(const QString &detection)
{
    QStringList kept;
    for (const QString &word : detection.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        if (!word.startsWith(QLatin1String("arena-fish="))
            && !word.startsWith(QLatin1String("arena-round="))
            && !word.startsWith(QLatin1String("arena-rects=")))
            kept << word;
    return kept.join(QLatin1Char(' '));
}

} // namespace

bool ArenaSplitter::read(const QString &path, QString *error)
{
    arenaParts.clear();
    auto fail = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, why);
        return false;
    };
    OverlaySet overlays;
    QString reason;
    if (!TrackingDataFile::readOverlays(path, &overlays, &reason)) {
        if (error)
            *error = reason;
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());
    QTextStream in(&file);
    if (in.readLine() != QLatin1String("NumFish: "))
        return fail(QStringLiteral("not a multi-fish data file"));
    bool ok = false;
    const int fishCount = in.readLine().trimmed().toInt(&ok);
    if (!ok || fishCount < 1)
        return fail(QStringLiteral("bad fish count"));
    QString detection;
    QString line;
    bool columns = false;
    while (!in.atEnd()) {
        line = in.readLine();
        if (line.startsWith(QLatin1String("Detection: ")))
            detection = line.mid(11);
        if (line.startsWith(QLatin1String("Time "))) {
            columns = true;
            break;
        }
    }
    if (!columns)
        return fail(QStringLiteral("no column header"));

    // Only a run with arenas keeps each fish inside its own arena and says which fish each
    // holds. Zones named "ArenaN" in any other file (a classic run with a setup's arenas
    // loaded) hold fish numbered without regard to them, whose rows would be split into the
    // wrong arenas' files.
    const auto counts = ArenaLayout::fishFromDetection(detection);
    if (!counts && detection.contains(QLatin1String("arena-fish=")))
        return fail(QStringLiteral("the Detection line's arena-fish= counts must each be from 1 "
                                   "to %1")
                        .arg(ArenaLayout::maxFish));
    if (!counts)
        return fail(QStringLiteral("no arena assignment (a detection line with arena-fish=): "
                                   "no arenas of a tracking run"));
    // The arenas (from the detection line, or the ArenaN zones of older files), and the
    // overlays every part keeps.
    OverlaySet kept = overlays;
    const QList<Arena> arenas = ArenaLayout::takeArenas(&kept, detection);
    if (arenas.isEmpty())
        return fail(QStringLiteral("no arenas in the header"));
    if (counts->size() != arenas.size())
        return fail(QStringLiteral("%1 arenas but fish counts for %2 arenas")
                        .arg(arenas.size())
                        .arg(counts->size()));
    const QList<int> fishOfArena = *counts;
    qint64 total = 0; // wide: the counts are the file's, unchecked
    for (int n : fishOfArena)
        total += n;
    if (total != fishCount)
        return fail(
            QStringLiteral("the arenas hold %1 fish, the file %2").arg(total).arg(fishCount));

    // Every zone written has a column per fish, the arenas' zones of older files too.
    const int perFish = 4 + int(overlays.areas.size()) - 1 + int(overlays.rulers.size())
        + int(overlays.pointDists.size());
    const float threshold = thresholdOf(detection);
    for (int a = 0; a < arenas.size(); ++a) {
        Part part;
        part.label = Arena::label(a);
        part.content.multiFish = fishOfArena[a] > 1;
        part.content.fishCount = fishOfArena[a];
        part.content.confidenceThreshold = threshold;
        part.content.overlays = kept;
        part.content.overlays.arenas.clear();
        part.content.overlays.areas[0] = arenas[a].rect;
        part.content.detection = withoutArenaFish(detection);
        arenaParts << part;
    }

    int rowNumber = 0;
    while (!in.atEnd()) {
        line = in.readLine();
        ++rowNumber;
        const QStringList f = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (f.isEmpty())
            continue;
        if (f.size() < 1 + fishCount * perFish)
            return fail(QStringLiteral("row %1 is cut short").arg(rowNumber));
        const float seconds = f[0].toFloat();
        int fish = 0;
        for (int a = 0; a < arenaParts.size(); ++a) {
            TrackingDataFile::Content &content = arenaParts[a].content;
            TrackRecord record;
            record.seconds = seconds;
            const QRect area = content.overlays.areas[0];
            record.x = area.left() + area.width() / 2;
            record.y = area.top() + area.height() / 2;
            for (int i = 0; i < fishOfArena[a]; ++i, ++fish) {
                const int at = 1 + fish * perFish;
                const bool found = f[at].toInt() == 1;
                const float confidence = f[at + 1].toFloat();
                const QPointF p(f[at + 2].toDouble(), f[at + 3].toDouble());
                record.exactPositions << p;
                record.fishPositions << QPoint(int(std::lround(p.x())), int(std::lround(p.y())));
                record.fishConfidences << confidence;
                record.fishFoundFlags << found;
            }
            if (!content.multiFish && !record.exactPositions.isEmpty()) {
                record.x = record.fishPositions[0].x();
                record.y = record.fishPositions[0].y();
                record.confidence = record.fishConfidences[0];
                record.found = record.fishFoundFlags[0];
                if (!content.records.isEmpty()) {
                    const QPointF d
                        = record.exactPositions[0] - content.records.last().exactPositions.value(0);
                    record.movement = float(std::hypot(d.x(), d.y()));
                }
                record.fishPositions.clear();
                record.fishConfidences.clear();
                record.fishFoundFlags.clear();
            }
            content.records << record;
        }
    }
    return true;
}

QString ArenaSplitter::partPath(const QString &path, const Part &part)
{
    QString base = path;
    if (base.endsWith(QLatin1String(".datamulti.txt")))
        base.chop(int(qstrlen(".datamulti.txt")));
    return base + QLatin1Char('.') + part.label
        + (part.content.multiFish ? QStringLiteral(".datamulti.txt") : QStringLiteral(".data.txt"));
}
