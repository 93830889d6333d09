#include "formats/TrackingDataFile.h"

#include "files/AtomicFile.h"
#include "files/CompleteLinesFile.h"
#include "files/InputFile.h"
#include "formats/OverlayLimits.h"
#include "model/ArenaLayout.h"

#include <QFile>
#include <QRegularExpression>
#include <QTextStream>

#include <cmath>
#include <limits>

namespace {

void writeRectangle(QTextStream &out, const QRect &r)
{
    // One past the right and bottom pixel, as readers of the file expect.
    out << r.left() << ' ' << r.top() << ' ' << (qint64(r.right()) + 1) << ' '
        << (qint64(r.bottom()) + 1) << '\n';
}

// The overlay block shared by both kinds of file: Tracking Area, zones, rulers, point
// distances, each with its caption line.
void writeOverlayHeader(QTextStream &out, const OverlaySet &overlays)
{
    out << "Tracking area (x1, y1, x2, y2): \n";
    writeRectangle(out, overlays.areas.value(0));
    for (int k = 1; k < overlays.areas.size(); ++k) {
        out << overlays.areaLabels.value(k) << " (x1, y1, x2, y2): \n";
        writeRectangle(out, overlays.areas[k]);
    }
    for (const Ruler &r : overlays.rulers) {
        out << r.label << " (x1, y1, x2, y2, length): \n";
        out << r.x1 << ' ' << r.y1 << ' ' << r.x2 << ' ' << r.y2 << ' '
            << TrackingDataFile::real(r.length) << '\n';
    }
    for (const PointDist &p : overlays.pointDists) {
        out << p.label << " (centrex, centrey, radx, rady, length): \n";
        out << p.centrex << ' ' << p.centrey << ' ' << p.radx << ' ' << p.rady << ' '
            << TrackingDataFile::real(p.length) << '\n';
    }
}

// Whether the records carry each fish's heading, body length and area (the whole-video
// background method's do): their columns then end every row.
bool hasBodies(const TrackingDataFile::Content &content)
{
    return !content.records.isEmpty() && !content.records.first().headings.isEmpty();
}

// Each fish's three columns, each fish's last followed by `separator`.
void writeBodyHeader(QTextStream &out, int fish, const char *separator)
{
    for (int f = 1; f <= fish; ++f)
        out << "Fish" << f << "Heading Fish" << f << "BodyLength Fish" << f << "Area" << separator;
}

void writeBodies(QTextStream &out, const TrackRecord &rec, int fish, const char *separator)
{
    for (int i = 0; i < fish; ++i)
        out << TrackingDataFile::real(rec.headings.value(i)) << ' '
            << TrackingDataFile::real(rec.bodyLengths.value(i)) << ' '
            << TrackingDataFile::real(rec.areas.value(i)) << separator;
}

// The line naming the detection method, when there is one, and the scale's, when one is set.
void writeDetection(QTextStream &out, const QString &detection, const Scale &scale)
{
    if (!detection.isEmpty())
        out << "Detection: " << detection << '\n';
    if (scale.isSet())
        out << "Scale: " << scale.describe() << '\n';
}

} // namespace

TrackingDataFile::TrailingColumns TrackingDataFile::trailingColumnsOf(const Content &content)
{
    TrailingColumns trailing;
    trailing.bodies = hasBodies(content);
    trailing.frames = trailing.bodies && content.records.first().pictureIndex >= 0;
    return trailing;
}

QString TrackingDataFile::real(float value)
{
    return QString::number(double(value), 'f', 8);
}

void TrackingDataFile::writeSingleFish(QTextStream &out, const Content &content)
{
    const TrailingColumns trailing = trailingColumnsOf(content);
    writeHeader(out, content, trailing);
    const ArenaLayout::ZoneMembership zones(content.overlays);
    for (const TrackRecord &rec : content.records)
        writeSingleFishRow(out, content, zones, rec, trailing);
}

void TrackingDataFile::writeMultiFish(QTextStream &out, const Content &content)
{
    const TrailingColumns trailing = trailingColumnsOf(content);
    writeHeader(out, content, trailing);
    const ArenaLayout::ZoneMembership zones(content.overlays);
    for (const TrackRecord &rec : content.records)
        writeMultiFishRow(out, content, zones, rec, trailing);
}

void TrackingDataFile::writeHeader(
    QTextStream &out, const Content &content, TrailingColumns trailing)
{
    const OverlaySet &ov = content.overlays;
    if (!content.multiFish) {
        writeOverlayHeader(out, ov);
        writeDetection(out, content.detection, ov.scale);
        out << "Seconds FishX FishY FishMovement Confidence Confidence>"
            << real(content.confidenceThreshold);
        for (int k = 1; k < ov.areas.size(); ++k)
            out << ' ' << ov.areaLabels.value(k);
        for (const Ruler &r : ov.rulers)
            out << ' ' << r.label;
        for (const PointDist &p : ov.pointDists)
            out << ' ' << p.label;
        if (trailing.bodies) {
            out << ' ';
            writeBodyHeader(out, 1, "");
        }
        if (trailing.frames)
            out << " Frame";
        out << '\n';
        return;
    }
    const int fish = content.fishCount;
    out << "NumFish: \n" << fish << '\n';
    writeOverlayHeader(out, ov);
    writeDetection(out, content.detection, ov.scale);
    out << "Time ";
    for (int f = 1; f <= fish; ++f) {
        out << "Fish" << f << "Conf? Fish" << f << "HowConf Fish" << f << "X Fish" << f << "Y ";
        for (int k = 1; k < ov.areas.size(); ++k)
            out << "Fish" << f << ov.areaLabels.value(k) << ' ';
        for (const Ruler &r : ov.rulers)
            out << "Fish" << f << r.label << ' ';
        for (const PointDist &p : ov.pointDists)
            out << "Fish" << f << p.label << ' ';
    }
    if (trailing.bodies)
        writeBodyHeader(out, fish, " ");
    if (trailing.frames)
        out << "Frame ";
    out << '\n';
}

void TrackingDataFile::writeRow(QTextStream &out, const Content &content,
    const ArenaLayout::ZoneMembership &zones, const TrackRecord &rec, TrailingColumns trailing)
{
    if (content.multiFish)
        writeMultiFishRow(out, content, zones, rec, trailing);
    else
        writeSingleFishRow(out, content, zones, rec, trailing);
}

void TrackingDataFile::writeSingleFishRow(QTextStream &out, const Content &content,
    const ArenaLayout::ZoneMembership &zones, const TrackRecord &rec, TrailingColumns trailing)
{
    const OverlaySet &ov = content.overlays;
    const bool exact = !rec.exactPositions.isEmpty();
    const QPointF position = exact ? rec.exactPositions[0] : QPointF(rec.x, rec.y);
    out << real(rec.seconds) << ' ';
    if (exact)
        out << real(float(position.x())) << ' ' << real(float(position.y()));
    else
        out << rec.x << ' ' << rec.y;
    out << ' ' << real(rec.movement) << ' ' << real(rec.confidence) << ' '
        << (rec.confidence > content.confidenceThreshold ? 1 : 0);
    for (int k = 1; k < ov.areas.size(); ++k)
        out << ' ' << (zones.holds(k, 0, rec.x, rec.y) ? 1 : 0);
    for (const Ruler &r : ov.rulers)
        out << ' ' << real(r.Measure(position));
    for (const PointDist &p : ov.pointDists)
        out << ' ' << real(p.Measure(position));
    if (trailing.bodies) {
        out << ' ';
        writeBodies(out, rec, 1, "");
    }
    if (trailing.frames)
        out << ' ' << rec.pictureIndex;
    out << '\n';
}

void TrackingDataFile::writeMultiFishRow(QTextStream &out, const Content &content,
    const ArenaLayout::ZoneMembership &zones, const TrackRecord &rec, TrailingColumns trailing)
{
    const OverlaySet &ov = content.overlays;
    const int fish = content.fishCount;
    out << real(rec.seconds) << ' ';
    for (int i = 0; i < fish; ++i) {
        // Every record of a run has an entry per fish; a shorter list (never made by the
        // tracker) reads as a fish not found at the record's own position.
        const bool found = rec.fishFoundFlags.value(i, false);
        const float confidence = rec.fishConfidences.value(i, 0.0f);
        const QPoint p = rec.fishPositions.value(i, QPoint(rec.x, rec.y));
        const bool exact = i < rec.exactPositions.size();
        const QPointF position = exact ? rec.exactPositions[i] : QPointF(p);
        out << (found ? 1 : 0) << ' ' << real(confidence) << ' ';
        if (exact)
            out << real(float(position.x())) << ' ' << real(float(position.y())) << ' ';
        else
            out << p.x() << ' ' << p.y() << ' ';
        for (int k = 1; k < ov.areas.size(); ++k)
            out << (zones.holds(k, i, p.x(), p.y()) ? 1 : 0) << ' ';
        for (const Ruler &r : ov.rulers)
            out << real(r.Measure(position)) << ' ';
        for (const PointDist &pd : ov.pointDists)
            out << real(pd.Measure(position)) << ' ';
    }
    if (trailing.bodies)
        writeBodies(out, rec, fish, " ");
    if (trailing.frames)
        out << rec.pictureIndex << ' ';
    out << '\n';
}

bool TrackingDataFile::save(const QString &path, const Content &content, QString *error)
{
    QString reason;
    const bool written = AtomicFile::write(
                             path,
                             [&content](QIODevice &device) {
                                 QTextStream out(&device);
                                 if (content.multiFish)
                                     writeMultiFish(out, content);
                                 else
                                     writeSingleFish(out, content);
                                 out.flush();
                             },
                             &reason)
        == AtomicFile::Outcome::Written;
    if (!written && error)
        *error = QStringLiteral("Cannot write %1: %2").arg(path, reason);
    return written;
}

namespace {

const QString areaCaption = QStringLiteral(" (x1, y1, x2, y2): ");
const QString rulerCaption = QStringLiteral(" (x1, y1, x2, y2, length): ");
const QString pointDistCaption = QStringLiteral(" (centrex, centrey, radx, rady, length): ");

QStringList fields(const QString &line)
{
    return line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

} // namespace

QString TrackingDataFile::nonFiniteField(
    const QStringList &fields, const QList<int> &columns, qint64 lineNumber)
{
    for (const int column : columns) {
        const QString field = fields.value(column);
        const float value = field.toFloat();
        const double wide = field.toDouble();
        if (!std::isfinite(value) || !std::isfinite(wide)
            || std::fabs(wide) > double(std::numeric_limits<float>::max()))
            return QStringLiteral("line %1: '%2' is not a finite number")
                .arg(lineNumber)
                .arg(field);
    }
    return QString();
}

bool TrackingDataFile::hasRows(const QString &path, QString *reason)
{
    const auto fail = [reason](const QString &why) {
        if (reason)
            *reason = why;
        return false;
    };
    const QString problem = InputFile::textProblem(path);
    if (!problem.isEmpty())
        return fail(problem);
    CompleteLinesFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return fail(file.errorString());
    QTextStream in(&file);
    bool multiFish = false;
    qint64 lineNumber = 0;
    int columns = -1;
    bool rows = false;
    QList<int> positionColumns;
    while (!in.atEnd()) {
        const QStringList fields = in.readLine().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        ++lineNumber;
        if (lineNumber == 1 && fields.value(0) == QLatin1String("NumFish:"))
            multiFish = true;
        if (columns < 0) {
            const QString first = fields.value(0);
            if (first == QLatin1String("Seconds")
                || (multiFish && first == QLatin1String("Time"))) {
                columns = int(fields.size());
                // The time and the positions, found by name.
                static const QRegularExpression position(QStringLiteral("^Fish\\d*[XY]$"));
                for (int c = 0; c < fields.size(); ++c)
                    if (c == 0 || position.match(fields[c]).hasMatch())
                        positionColumns << c;
            }
            continue;
        }
        if (fields.isEmpty())
            continue;
        // Labels may hold spaces, so a row may have fewer fields than the column header has
        // words, but never fewer than the fixed columns of its layout.
        const int fixed = multiFish ? 5 : 6;
        if (!rows && fields.size() < fixed)
            return fail(QStringLiteral("line %1 has %2 fields, a row has at least %3")
                            .arg(lineNumber)
                            .arg(fields.size())
                            .arg(fixed));
        rows = true;
        const QString nonFinite = nonFiniteField(fields, positionColumns, lineNumber);
        if (!nonFinite.isEmpty())
            return fail(nonFinite);
    }
    if (rows)
        return true;
    if (columns < 0)
        return fail(multiFish
                ? QStringLiteral("no column header line (\"Time ...\"): not a tracking data file")
                : QStringLiteral(
                    "no column header line (\"Seconds ...\"): not a tracking data file"));
    return fail(QStringLiteral("no rows after the column header"));
}

bool TrackingDataFile::readOverlays(
    const QString &path, OverlaySet *overlays, QString *error, QString *detection)
{
    if (detection)
        detection->clear();
    const QString problem = InputFile::textProblem(path);
    if (!problem.isEmpty()) {
        if (error)
            *error = QStringLiteral("Cannot read %1: %2").arg(path, problem);
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    QTextStream in(&file);
    auto nextLine = [&in](QString *line) {
        if (in.atEnd())
            return false;
        *line = in.readLine();
        if (line->endsWith(QLatin1Char('\r')))
            line->chop(1);
        return true;
    };
    auto fail = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, why);
        return false;
    };

    OverlaySet result;
    QString line;
    if (!nextLine(&line))
        return fail(QStringLiteral("empty file"));
    if (line == QLatin1String("NumFish: ")) {
        if (!nextLine(&line) || !nextLine(&line))
            return fail(QStringLiteral("header cut short"));
    }
    if (line != QLatin1String("Tracking area (x1, y1, x2, y2): "))
        return fail(QStringLiteral("not a tracking data file"));

    // Coordinates are read wide and refused beyond the range that can be meant, so that the
    // one-past-the-end corners and every measure taken from them stay within int. A field
    // that is not a number reads as 0, as it always has.
    QString outOfRange;
    auto coordinate = [&](const QString &field, qint64 *value) {
        *value = field.toLongLong();
        if (overlaylimits::inRange(*value))
            return true;
        outOfRange = QStringLiteral("the coordinate %1 lies beyond the %2 pixels a coordinate "
                                    "may lie from 0")
                         .arg(field)
                         .arg(overlaylimits::maxCoordinate);
        return false;
    };
    auto readRectangle = [&](QRect *rect) {
        QString values;
        if (!nextLine(&values))
            return false;
        const QStringList f = fields(values);
        if (f.size() < 4)
            return false;
        qint64 v[4];
        for (int i = 0; i < 4; ++i)
            if (!coordinate(f[i], &v[i]))
                return false;
        *rect = QRect(QPoint(int(v[0]), int(v[1])), QPoint(int(v[2] - 1), int(v[3] - 1)));
        return true;
    };
    auto readShape = [&](int values[4], float *length) {
        QString text;
        if (!nextLine(&text))
            return false;
        const QStringList f = fields(text);
        if (f.size() < 5)
            return false;
        for (int i = 0; i < 4; ++i) {
            qint64 v = 0;
            if (!coordinate(f[i], &v))
                return false;
            values[i] = int(v);
        }
        // A length too large for a float would make every measure of the file inf or nan.
        // (A field that is no number still reads as 0.)
        *length = f[4].toFloat();
        const double wide = f[4].toDouble();
        if (std::isfinite(*length) && std::isfinite(wide)
            && std::fabs(wide) <= double(std::numeric_limits<float>::max()))
            return true;
        outOfRange = QStringLiteral("the length %1 is not a number a float holds").arg(f[4]);
        return false;
    };
    // The reason for a bad line: its coordinate out of range, or its layout.
    auto badLine = [&](const QString &what) {
        return fail(outOfRange.isEmpty() ? QStringLiteral("bad %1 line").arg(what)
                                         : QStringLiteral("%1 line: %2").arg(what, outOfRange));
    };

    QRect area;
    if (!readRectangle(&area))
        return badLine(QStringLiteral("Tracking Area"));
    result.areas << area;
    result.areaLabels << QStringLiteral("Tracking Area");

    while (nextLine(&line)) {
        if (line.startsWith(QLatin1String("Seconds ")) || line.startsWith(QLatin1String("Time "))) {
            *overlays = result;
            return true;
        }
        if (line.startsWith(QLatin1String("Detection: "))) {
            // The method that made the file; not an overlay.
            if (detection)
                *detection = line.mid(11);
            continue;
        }
        if (line.startsWith(QLatin1String("Scale: "))) {
            const auto scale = Scale::parse(line.mid(7));
            if (!scale)
                return fail(QStringLiteral("bad scale line (a length per pixel with its unit, "
                                           "as \"Scale: 0.05 mm/px\")"));
            result.scale = *scale;
            continue;
        }

        if (line.endsWith(areaCaption)) {
            QRect zone;
            if (!readRectangle(&zone))
                return badLine(QStringLiteral("zone"));
            result.areas << zone;
            result.areaLabels << line.chopped(areaCaption.size());
        } else if (line.endsWith(rulerCaption)) {
            Ruler r;
            int v[4];
            if (!readShape(v, &r.length))
                return badLine(QStringLiteral("ruler"));
            r.label = line.chopped(rulerCaption.size());
            r.x1 = v[0], r.y1 = v[1], r.x2 = v[2], r.y2 = v[3];
            result.rulers << r;
        } else if (line.endsWith(pointDistCaption)) {
            PointDist p;
            int v[4];
            if (!readShape(v, &p.length))
                return badLine(QStringLiteral("point distance"));
            p.label = line.chopped(pointDistCaption.size());
            p.centrex = v[0], p.centrey = v[1], p.radx = v[2], p.rady = v[3];
            result.pointDists << p;
        } else {
            return fail(QStringLiteral("unexpected header line"));
        }
    }
    return fail(QStringLiteral("no column header"));
}
