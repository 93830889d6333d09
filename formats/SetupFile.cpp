#include "formats/SetupFile.h"

#include "files/AtomicFile.h"
#include "files/InputFile.h"
#include "formats/OverlayLimits.h"
#include "formats/TrackingDataFile.h"
#include "formats/ValueReader.h"
#include "model/ArenaLayout.h"
#include "model/OverlayLabel.h"

#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

// A setup file holds a few hundred short lines at most.
constexpr qint64 maxBytes = 1 << 20;
constexpr qint64 maxLineLength = 1 << 16;

QString number(float value)
{
    return QString::number(double(value), 'g', 9);
}

// One line's fields after the keyword: `count` numbers and, when wanted, the label (the rest
// of the line, which may be empty).
struct Fields
{
    QList<double> numbers;
    QString label;
};

bool splitFields(const QString &rest, int count, bool withLabel, Fields *out)
{
    // The numbers, then (when wanted) the label: the rest of the line as written, since the
    // Tracking Area's own label has a space.
    QString remaining = rest.trimmed();
    for (int i = 0; i < count; ++i) {
        const int space = remaining.indexOf(QLatin1Char(' '));
        const QString part = space < 0 ? remaining : remaining.left(space);
        remaining = space < 0 ? QString() : remaining.mid(space + 1).trimmed();
        const auto v = ValueReader::number(part);
        if (!v)
            return false;
        out->numbers << *v;
    }
    if (withLabel)
        out->label = remaining;
    return withLabel || remaining.isEmpty();
}

// A coordinate within the limits every overlay is held to.
bool isPixel(double v)
{
    return ValueReader::isWhole(v) && overlaylimits::inRange(qint64(v));
}

} // namespace

QString SetupFile::text(const TrackingSetup &setup)
{
    QString out;
    QTextStream s(&out);
    s << firstLine << '\n';
    const OverlaySet &o = setup.overlays;
    for (int i = 0; i < std::min(o.areas.size(), o.areaLabels.size()); ++i) {
        const QRect &r = o.areas[i];
        s << "area " << r.left() << ' ' << r.top() << ' ' << r.right() << ' ' << r.bottom() << ' '
          << o.areaLabels[i] << '\n';
    }
    for (int i = 0; i < o.arenas.size(); ++i) {
        const QRect &r = o.arenas[i].rect;
        s << "area " << r.left() << ' ' << r.top() << ' ' << r.right() << ' ' << r.bottom() << ' '
          << Arena::label(i) << '\n';
    }
    if (!o.arenas.isEmpty()) {
        QStringList words { ArenaLayout::describeShapes(o.arenas),
            ArenaLayout::describeFish(o.arenas), ArenaLayout::describeGroups(o.arenas) };
        words.removeAll(QString());
        s << "arenas " << words.join(QLatin1Char(' ')) << '\n';
    }
    if (o.scale.isSet())
        s << "scale " << o.scale.describe() << '\n';
    for (const Ruler &r : o.rulers)
        s << "ruler " << r.x1 << ' ' << r.y1 << ' ' << r.x2 << ' ' << r.y2 << ' '
          << number(r.length) << ' ' << r.label << '\n';
    for (const PointDist &p : o.pointDists)
        s << "pointdist " << p.centrex << ' ' << p.centrey << ' ' << p.radx << ' ' << p.rady << ' '
          << number(p.length) << ' ' << p.label << '\n';
    s << "fish " << setup.fishCount << '\n';
    s << "average " << setup.framesToAverage << '\n';
    s << "threshold " << number(setup.confidenceThreshold) << '\n';
    s << "variance " << number(setup.gaussianVariance) << '\n';
    s << "filter " << setup.meanFilterSize << '\n';
    s << "signed " << int(setup.signedDifference) << '\n';
    s << "bright " << int(setup.brightObject) << '\n';
    const TrackingSetup defaults;
    if (setup.wholeVideoBackground || setup.backgroundFrames != defaults.backgroundFrames
        || setup.blobThreshold != defaults.blobThreshold || setup.minArea != defaults.minArea
        || setup.maxArea != defaults.maxArea || setup.maxSpeed != defaults.maxSpeed
        || setup.backgroundMode != defaults.backgroundMode) {
        s << "method " << (setup.wholeVideoBackground ? "background" : "classic") << '\n';
        s << "background-frames " << setup.backgroundFrames << '\n';
        s << "background "
          << TrackingSetup::backgroundModeNames[std::clamp(setup.backgroundMode, 0, 3)] << '\n';
        s << "blob-threshold " << number(setup.blobThreshold < 0 ? -1.0f : setup.blobThreshold)
          << '\n';
        s << "min-area " << setup.minArea << '\n';
        s << "max-area " << setup.maxArea << '\n';
        s << "max-speed " << number(setup.maxSpeed) << '\n';
    }
    return out;
}

bool SetupFile::write(const QString &path, const TrackingSetup &setup, QString *error)
{
    QString reason;
    if (AtomicFile::write(path, text(setup).toUtf8(), &reason) == AtomicFile::Outcome::Written)
        return true;
    if (error)
        *error = QStringLiteral("%1: %2").arg(path, reason);
    return false;
}

bool SetupFile::read(const QString &path, TrackingSetup *setup, QString *error)
{
    // The checks every reader of a user's text file makes: a device, a folder or a video given
    // here would otherwise be read line by line for as long as it gives bytes.
    QString problem = InputFile::textProblem(path);
    QFile file(path);
    if (problem.isEmpty() && !QFileInfo(path).isFile())
        problem = QStringLiteral("is not a regular file");
    if (problem.isEmpty() && !file.open(QIODevice::ReadOnly | QIODevice::Text))
        problem = file.errorString();
    if (!problem.isEmpty()) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, problem);
        return false;
    }
    QTextStream in(&file);
    const QString first = in.readLine(maxLineLength).trimmed();
    // A data file may be long (its rows are not read); a setup file is a few lines.
    if (first == QLatin1String(firstLine) && file.size() > maxBytes) {
        if (error)
            *error = QStringLiteral("%1: is %2 bytes, more than a setup file holds (%3)")
                         .arg(path)
                         .arg(file.size())
                         .arg(maxBytes);
        return false;
    }
    if (first != QLatin1String(firstLine)) {
        // Not a setup file: perhaps a data file, whose header holds the overlays.
        TrackingSetup fromData;
        QString why, detection;
        if (!TrackingDataFile::readOverlays(path, &fromData.overlays, &why, &detection)) {
            if (error)
                *error = QStringLiteral(
                    "%1: neither a setup file (no \"%2\" line) nor a tracking data file")
                             .arg(path, QLatin1String(firstLine));
            return false;
        }
        // The arenas of the whole-video background method come back as arenas, round ones round.
        fromData.overlays.arenas = ArenaLayout::takeArenas(&fromData.overlays, detection);
        *setup = fromData;
        return true;
    }

    TrackingSetup result;
    result.hasParameters = true;
    OverlaySet &o = result.overlays;
    int lineNumber = 1;
    int arenasLine = 0; // the "arenas" line's number, 0 when there is none
    int fishLine = 0;
    QString arenaWords;
    auto fail = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("%1: line %2: %3").arg(path).arg(lineNumber).arg(why);
        return false;
    };
    while (!in.atEnd()) {
        const QString line = in.readLine(maxLineLength).trimmed();
        ++lineNumber;
        if (line.isEmpty())
            continue;
        const int space = line.indexOf(QLatin1Char(' '));
        const QString key = space < 0 ? line : line.left(space);
        const QString rest = space < 0 ? QString() : line.mid(space + 1);
        if (key == QLatin1String("scale")) {
            const auto scale = Scale::parse(rest);
            if (!scale)
                return fail(QStringLiteral("scale wants a length per pixel with its unit, as "
                                           "\"scale 0.05 mm/px\""));
            o.scale = *scale;
            continue;
        }
        if (key == QLatin1String("arenas")) {
            if (arenasLine > 0)
                return fail(QStringLiteral("a second \"arenas\" line"));
            arenasLine = lineNumber;
            arenaWords = rest;
            continue;
        }
        Fields f;
        if (key == QLatin1String("area") || key == QLatin1String("ruler")
            || key == QLatin1String("pointdist")) {
            const bool isArea = key == QLatin1String("area");
            if (!splitFields(rest, isArea ? 4 : 5, true, &f))
                return fail(
                    QStringLiteral("%1 wants %2 numbers and a label").arg(key).arg(isArea ? 4 : 5));
            for (int i = 0; i < 4; ++i)
                if (!isPixel(f.numbers[i]))
                    return fail(QStringLiteral("%1: coordinates must be whole pixels").arg(key));
            // Every label but the Tracking Area's (which the data file does not write) becomes
            // one word, as the window and the command line make them.
            if (!isArea || !o.areas.isEmpty()) {
                f.label = OverlayLabel::fromUserText(f.label);
                const QString why = OverlayLabel::problem(f.label);
                if (!why.isEmpty())
                    return fail(QStringLiteral("%1: %2").arg(key, why));
            }
            // The lengths the number dialog gives: a float that stays finite.
            if (!isArea && std::fabs(f.numbers[4]) > 2147483647.0)
                return fail(QStringLiteral("%1: the length %2 is beyond +-2147483647")
                                .arg(key)
                                .arg(f.numbers[4]));
            const int a = int(f.numbers[0]), b = int(f.numbers[1]);
            const int c = int(f.numbers[2]), d = int(f.numbers[3]);
            if (isArea) {
                o.areas << QRect(QPoint(a, b), QPoint(c, d));
                o.areaLabels << f.label;
            } else if (key == QLatin1String("ruler")) {
                Ruler r;
                r.x1 = a, r.y1 = b, r.x2 = c, r.y2 = d;
                r.length = float(f.numbers[4]);
                r.label = f.label;
                o.rulers << r;
            } else {
                PointDist p;
                p.centrex = a, p.centrey = b, p.radx = c, p.rady = d;
                p.length = float(f.numbers[4]);
                p.label = f.label;
                o.pointDists << p;
            }
            continue;
        }
        if (key == QLatin1String("method")) {
            if (rest != QLatin1String("classic") && rest != QLatin1String("background"))
                return fail(QStringLiteral("method must be classic or background"));
            result.wholeVideoBackground = rest == QLatin1String("background");
            continue;
        }
        if (key == QLatin1String("background")) {
            const auto &names = TrackingSetup::backgroundModeNames;
            const auto found = std::find_if(std::begin(names), std::end(names),
                [&rest](const char *name) { return rest == QLatin1String(name); });
            if (found == std::end(names))
                return fail(QStringLiteral("background must be auto, median, extreme or masked"));
            result.backgroundMode = int(found - std::begin(names));
            continue;
        }
        if (!splitFields(rest, 1, false, &f))
            return fail(QStringLiteral("%1 wants one number").arg(key));
        const double v = f.numbers[0];
        auto whole = [&](int lo, int hi, int *target) {
            if (!isPixel(v) || v < lo || v > hi)
                return fail(QStringLiteral("%1 must be a whole number from %2 to %3")
                                .arg(key)
                                .arg(lo)
                                .arg(hi));
            *target = int(v);
            return true;
        };
        auto real = [&](double lo, double hi, float *target) {
            if (v < lo || v > hi)
                return fail(QStringLiteral("%1 must be from %2 to %3").arg(key).arg(lo).arg(hi));
            *target = float(v);
            return true;
        };
        int flag = 0;
        bool ok = true;
        if (key == QLatin1String("fish")) {
            ok = whole(1, TrackingSetup::backgroundMaxFish, &result.fishCount);
            fishLine = lineNumber;
        } else if (key == QLatin1String("background-frames"))
            ok = whole(1, 1000, &result.backgroundFrames);
        else if (key == QLatin1String("blob-threshold")) {
            // -1: automatic; anything else a grey level.
            ok = v == -1.0 || real(0.0, 255.0, &result.blobThreshold);
            if (v == -1.0)
                result.blobThreshold = -1.0f;
        } else if (key == QLatin1String("min-area"))
            ok = whole(0, 100000000, &result.minArea);
        else if (key == QLatin1String("max-area"))
            ok = whole(0, 100000000, &result.maxArea);
        else if (key == QLatin1String("max-speed"))
            ok = real(0.0, 100000.0, &result.maxSpeed);
        else if (key == QLatin1String("average"))
            ok = whole(1, 1000, &result.framesToAverage);
        else if (key == QLatin1String("threshold"))
            ok = real(0.0, 255.0, &result.confidenceThreshold);
        else if (key == QLatin1String("variance"))
            ok = real(0.0, 1.0, &result.gaussianVariance);
        else if (key == QLatin1String("filter"))
            ok = whole(1, 99, &result.meanFilterSize);
        else if (key == QLatin1String("signed")) {
            ok = whole(0, 1, &flag);
            result.signedDifference = flag != 0;
        } else if (key == QLatin1String("bright")) {
            ok = whole(0, 1, &flag);
            result.brightObject = flag != 0;
        } else
            return fail(QStringLiteral("unknown item \"%1\"").arg(key));
        if (!ok)
            return false;
    }
    if (!result.wholeVideoBackground && result.fishCount > TrackingSetup::classicMaxFish) {
        lineNumber = fishLine;
        return fail(QStringLiteral("fish must be a whole number from 1 to %1 with the classic "
                                   "method (\"method background\" tracks up to %2)")
                        .arg(TrackingSetup::classicMaxFish)
                        .arg(TrackingSetup::backgroundMaxFish));
    }
    if (o.areas.isEmpty()) {
        if (error)
            *error = QStringLiteral("%1: no Tracking Area (an \"area\" line)").arg(path);
        return false;
    }
    if (arenasLine > 0) {
        lineNumber = arenasLine;
        o.arenas = ArenaLayout::takeArenas(&o, arenaWords);
        const auto fish = ArenaLayout::fishFromDetection(arenaWords);
        if (o.arenas.isEmpty() || !fish || fish->size() != o.arenas.size())
            return fail(QStringLiteral(
                "the arenas' fish (\"arena-fish=\", each from 1 to 200) do not match the "
                "areas Arena1 to ArenaN"));
        qint64 total = 0;
        for (int i = 0; i < o.arenas.size(); ++i) {
            if (o.arenas[i].rect.isEmpty())
                return fail(QStringLiteral("%1 has no pixel").arg(Arena::label(i)));
            total += o.arenas[i].fishCount;
        }
        if (total > ArenaLayout::maxFish)
            return fail(QStringLiteral("the arenas hold %1 fish together; at most %2 can be "
                                       "tracked")
                            .arg(total)
                            .arg(ArenaLayout::maxFish));
    }
    *setup = result;
    return true;
}
