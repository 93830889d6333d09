#include "analysis/SampleCollector.h"

#include "analysis/DataFileHeader.h"
#include "files/CompleteLinesFile.h"

#include <QDebug>
#include <QFile>
#include <QTextStream>

#include <cmath>

namespace {

enum class Rule { Speed, RelativeTurnAngle, AbsoluteTurnAngle, ShoalAvgDist, General };

Rule ruleFor(const QString &variable)
{
    if (variable == QLatin1String("Speed"))
        return Rule::Speed;
    if (variable == QLatin1String("RelativeTurnAngle"))
        return Rule::RelativeTurnAngle;
    if (variable == QLatin1String("AbsoluteTurnAngle"))
        return Rule::AbsoluteTurnAngle;
    if (variable == QLatin1String("ShoalAvgDist"))
        return Rule::ShoalAvgDist;
    return Rule::General;
}

// The X ruler as its header describes it; only ShoalAvgDist uses it.
struct RulerGeometry
{
    bool seen = false; // its header line was found
    bool complete = false; // and the value line under it had all five fields
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    float length = 0.0f;

    float pixelLength() const
    {
        const float dx = float(x1 - x2);
        const float dy = float(y1 - y2);
        return std::sqrt(dx * dx + dy * dy);
    }
};

struct Columns
{
    int value = -1;
    int x = -1;
    int y = -1;
};

// An empty name (no ruler in the file) must not match the empty fields of a line.
bool sameName(const QString &field, const QString &name)
{
    return !name.isEmpty() && field == name;
}

// Reads up to and including the column line. False when the file has none.
bool readHeader(
    QTextStream &in, const SampleRequest &request, Columns &columns, RulerGeometry &ruler)
{
    while (!in.atEnd()) {
        const QStringList fields = DataFileHeader::splitLine(in.readLine());
        if (fields.first() == QLatin1String("Seconds")) {
            for (int i = 1; i < fields.size(); ++i) {
                if (sameName(fields[i], request.variable))
                    columns.value = i;
                if (sameName(fields[i], request.rulerX))
                    columns.x = i;
                if (sameName(fields[i], request.rulerY))
                    columns.y = i;
            }
            return true;
        }
        if (sameName(fields.first(), request.rulerX)) {
            // The line under a ruler's caption holds x1 y1 x2 y2 length; a later caption of
            // the same name replaces it.
            ruler.seen = true;
            ruler.complete = false;
            if (in.atEnd())
                return false;
            const QStringList values = DataFileHeader::splitLine(in.readLine());
            if (values.size() >= 5) {
                ruler.complete = true;
                ruler.x1 = values[0].toInt();
                ruler.y1 = values[1].toInt();
                ruler.x2 = values[2].toInt();
                ruler.y2 = values[3].toInt();
                ruler.length = values[4].toFloat();
            }
        }
    }
    return false;
}

bool lastAllSet(const QVector<bool> &flags, int count)
{
    if (flags.size() < count)
        return false;
    for (int i = flags.size() - count; i < flags.size(); ++i) {
        if (!flags[i])
            return false;
    }
    return true;
}

// One correction of 360 brings a heading difference into -180..180.
float wrapDegrees(float d)
{
    if (std::fabs(d + 360.0f) < std::fabs(d))
        return d + 360.0f;
    if (std::fabs(d - 360.0f) < std::fabs(d))
        return d - 360.0f;
    return d;
}

} // namespace

Samples SampleCollector::collect(const SampleRequest &request)
{
    CompleteLinesFile file(request.path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return Samples {};
    return collectFrom(file, request);
}

Samples SampleCollector::collectFrom(QIODevice &device, const SampleRequest &request)
{
    Samples samples;
    samples.opened = true;

    QTextStream in(&device);
    Columns columns;
    RulerGeometry ruler;
    if (!readHeader(in, request, columns, ruler))
        return samples;

    const Rule rule = ruleFor(request.variable);
    // The highest field a row must have for this variable (field 5 is the threshold flag).
    int lastNeeded = 5;
    bool columnsFound = true;
    switch (rule) {
    case Rule::Speed:
        columnsFound = columns.x >= 0 && columns.y >= 0;
        lastNeeded = std::max({ lastNeeded, columns.x, columns.y });
        break;
    case Rule::RelativeTurnAngle:
    case Rule::AbsoluteTurnAngle:
        break;
    case Rule::ShoalAvgDist:
        // Without a usable ruler value line there is no unit to give; a ruler that is missing
        // altogether gives a length of 0 and non-finite values, reported as such.
        columnsFound = columns.value >= 0 && (!ruler.seen || ruler.complete);
        lastNeeded = std::max(lastNeeded, columns.value);
        break;
    case Rule::General:
        columnsFound = columns.value >= 0;
        lastNeeded = std::max(lastNeeded, columns.value);
        break;
    }

    // One flag per data row. A row too short for the fields this variable reads counts as not
    // confident, so neither it nor a sample that reaches back to it is taken.
    QVector<bool> confident;
    QVector<float> xs, ys;
    float previousTime = 0.0f;
    float previousHeading = 0.0f; // heading of the last turn sample that moved
    const float rulerPixels = ruler.pixelLength();

    while (!in.atEnd()) {
        const QStringList fields = DataFileHeader::splitLine(in.readLine());
        const bool complete = columnsFound && fields.size() > lastNeeded;
        const bool rowConfident = complete && fields[5].toInt() != 0;
        confident.append(rowConfident);
        const int n = confident.size();
        const float t = fields[0].toFloat();

        switch (rule) {
        case Rule::Speed: {
            xs.append(complete ? fields[columns.x].toFloat() : 0.0f);
            ys.append(complete ? fields[columns.y].toFloat() : 0.0f);
            if (n >= 3 && lastAllSet(confident, 2)) {
                const float dx = xs[n - 1] - xs[n - 2];
                const float dy = ys[n - 1] - ys[n - 2];
                const float distance = std::sqrt(dx * dx + dy * dy);
                float dt = t - previousTime;
                if (dt < 0.001f)
                    dt = fallbackFrameTime;
                const float speed = distance / dt;
                samples.times.append(t);
                samples.values.append(speed);
                qDebug() << "SPEED:" << distance << dt << speed << "TIMEDIFF:" << t << previousTime;
            }
            previousTime = t;
            break;
        }
        case Rule::RelativeTurnAngle:
        case Rule::AbsoluteTurnAngle: {
            xs.append(complete ? fields[1].toFloat() : 0.0f);
            ys.append(complete ? fields[2].toFloat() : 0.0f);
            if (n > 5 && lastAllSet(confident, 5)) {
                const float dx = xs[n - 1] - xs[n - 5];
                const float dy = ys[n - 1] - ys[n - 5];
                float d = 0.0f;
                // The length of the displacement: a signed sum would call every move to the
                // left or upwards "no movement".
                if (std::sqrt(dx * dx + dy * dy) >= 1.0f) {
                    const float heading = std::atan2(dy, dx) * 180.0f / 3.14159f;
                    // A turn is the change of heading since the previous sample.
                    d = wrapDegrees(heading - previousHeading);
                    previousHeading = heading;
                }
                samples.times.append(t);
                samples.values.append(rule == Rule::AbsoluteTurnAngle ? std::fabs(d) : d);
            }
            break;
        }
        case Rule::ShoalAvgDist:
            // Unconfident rows taken under "all confident" are scaled like the others, so the
            // variable keeps one unit.
            if (complete && (rowConfident || request.allConfident)) {
                samples.times.append(t);
                samples.values.append(fields[columns.value].toFloat() / rulerPixels * ruler.length);
            }
            break;
        case Rule::General:
            if (complete && (rowConfident || request.allConfident)) {
                samples.times.append(t);
                samples.values.append(fields[columns.value].toFloat());
            }
            break;
        }
    }
    return samples;
}
