#include "analysis/FishTracks.h"

#include "analysis/DataFileHeader.h"
#include "files/CompleteLinesFile.h"
#include "formats/TrackingDataFile.h"
#include "model/ArenaLayout.h"

#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <cmath>

namespace {

QStringList rowFields(QString line)
{
    if (line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    // The multi-fish rows end with a blank; it is no field.
    if (line.endsWith(QLatin1Char(' ')))
        line.chop(1);
    return DataFileHeader::splitLine(line);
}

// A position field as its pixel. The classic method writes whole pixels; the whole-video
// background method writes sub-pixel positions, which read as whole numbers gave 0 and put
// every fish in the top left corner. They are rounded to the pixel its zone columns count.
int pixelOf(const QString &field)
{
    const double v = field.toDouble();
    return std::isfinite(v) ? int(std::lround(std::clamp(v, -1e9, 1e9))) : 0;
}

} // namespace

bool FishTracks::read(const QString &path, QString *error)
{
    QString detection;
    if (!TrackingDataFile::readOverlays(path, &overlays, error, &detection))
        return false;
    // The arenas of a whole-video background run, for drawing them as they were drawn; their
    // "ArenaN" zones stay, as the rows have a column for each.
    if (ArenaLayout::fishFromDetection(detection)) {
        OverlaySet zones = overlays;
        overlays.arenas = ArenaLayout::takeArenas(&zones, detection);
    }
    CompleteLinesFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    overlayNames.clear();
    for (int i = 1; i < overlays.areaLabels.size(); ++i)
        overlayNames << overlays.areaLabels[i];
    for (const Ruler &r : overlays.rulers)
        overlayNames << r.label;
    for (const PointDist &p : overlays.pointDists)
        overlayNames << p.label;
    const int overlayCount = overlayNames.size();

    QTextStream in(&file);
    QString line = in.readLine();
    qint64 lineNumber = 1;
    multiFish = line == QLatin1String("NumFish: ");
    int fishCount = 1;
    if (multiFish) {
        fishCount = qBound(1, in.readLine().trimmed().toInt(), 10000);
        ++lineNumber;
    }
    while (!in.atEnd()) {
        line = in.readLine();
        ++lineNumber;
        if (line.startsWith(QLatin1String("Seconds ")) || line.startsWith(QLatin1String("Time ")))
            break;
    }
    times.clear();
    fish = QVector<FishTrack>(fishCount);

    // Single-fish row: seconds x y movement confidence flag overlays...
    // Multi-fish row: seconds, then per fish: flag confidence x y overlays...
    const int firstOverlay = multiFish ? 5 : 6;
    const int block = 4 + overlayCount;
    while (!in.atEnd()) {
        const QStringList f = rowFields(in.readLine());
        ++lineNumber;
        QList<int> positions { 0, 1, 2 };
        if (multiFish) {
            positions = { 0 };
            for (int k = 0; k < fishCount; ++k)
                positions << 1 + k * block + 2 << 1 + k * block + 3;
        }
        const QString nonFinite = TrackingDataFile::nonFiniteField(f, positions, lineNumber);
        if (!nonFinite.isEmpty()) {
            if (error)
                *error = QStringLiteral("%1: %2").arg(path, nonFinite);
            return false;
        }
        const int needed = multiFish ? 1 + fishCount * block : firstOverlay + overlayCount;
        if (f.size() < needed)
            continue; // a row cut short (the last of a file being written) is left out
        times.append(f[0].toFloat());
        for (int k = 0; k < fishCount; ++k) {
            FishTrack &track = fish[k];
            if (multiFish) {
                const int base = 1 + k * block;
                track.found.append(f[base].toInt() != 0);
                track.confidences.append(f[base + 1].toFloat());
                track.xs.append(pixelOf(f[base + 2]));
                track.ys.append(pixelOf(f[base + 3]));
                track.overlayFields.append(f.mid(base + 4, overlayCount));
            } else {
                track.xs.append(pixelOf(f[1]));
                track.ys.append(pixelOf(f[2]));
                track.confidences.append(f[4].toFloat());
                track.found.append(f[5].toInt() != 0);
                track.overlayFields.append(f.mid(firstOverlay, overlayCount));
            }
        }
    }
    return true;
}

QByteArray FishTracks::singleFishText(int index) const
{
    QString out;
    QTextStream text(&out);
    const QRect area = overlays.areas.value(0);
    const auto rect = [&](const QRect &r) {
        text << r.left() << ' ' << r.top() << ' ' << r.right() + 1 << ' ' << r.bottom() + 1 << '\n';
    };
    text << "Tracking area (x1, y1, x2, y2): \n";
    rect(area);
    for (int i = 1; i < overlays.areas.size(); ++i) {
        text << overlays.areaLabels[i] << " (x1, y1, x2, y2): \n";
        rect(overlays.areas[i]);
    }
    for (const Ruler &r : overlays.rulers) {
        text << r.label << " (x1, y1, x2, y2, length): \n"
             << r.x1 << ' ' << r.y1 << ' ' << r.x2 << ' ' << r.y2 << ' '
             << TrackingDataFile::real(r.length) << '\n';
    }
    for (const PointDist &p : overlays.pointDists) {
        text << p.label << " (centrex, centrey, radx, rady, length): \n"
             << p.centrex << ' ' << p.centrey << ' ' << p.radx << ' ' << p.rady << ' '
             << TrackingDataFile::real(p.length) << '\n';
    }
    text << "Seconds FishX FishY FishMovement Confidence Confidence>0.00000000";
    for (const QString &name : overlayNames)
        text << ' ' << name;
    text << '\n';
    const FishTrack &track = fish.at(index);
    for (int row = 0; row < times.size(); ++row) {
        text << TrackingDataFile::real(times[row]) << ' ' << track.xs[row] << ' ' << track.ys[row]
             << " 0.00000000 " << TrackingDataFile::real(track.confidences[row]) << ' '
             << (track.found[row] ? 1 : 0);
        for (const QString &field : track.overlayFields[row])
            text << ' ' << field;
        text << '\n';
    }
    text.flush();
    return out.toUtf8();
}

void FishTracks::shoalDistances(
    bool takeAll, QVector<float> *outTimes, QVector<float> *pixels) const
{
    if (fish.size() < 2)
        return;
    for (int row = 0; row < times.size(); ++row) {
        bool everyFishFound = true;
        for (const FishTrack &track : fish)
            everyFishFound = everyFishFound && track.found[row];
        if (!everyFishFound && !takeAll)
            continue;
        double sum = 0.0;
        int pairs = 0;
        for (int a = 0; a < fish.size(); ++a) {
            for (int b = a + 1; b < fish.size(); ++b) {
                sum += std::hypot(double(fish[a].xs[row] - fish[b].xs[row]),
                    double(fish[a].ys[row] - fish[b].ys[row]));
                ++pairs;
            }
        }
        outTimes->append(times[row]);
        pixels->append(float(sum / pairs));
    }
}
