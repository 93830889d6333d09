#include "cli/ArenaOptions.h"

#include "formats/OverlayLimits.h"
#include "formats/ValueReader.h"
#include "model/ArenaLayout.h"

#include <QRegularExpression>

namespace ArenaOptions {

const OptionSpec options[3] = {
    { "arena", "X1,Y1,X2,Y2[:FISH]",
        "blobs: a rectangular arena, inclusive corners, with FISH fish (--fish); repeatable, "
        "numbered in order" },
    { "arena-circle", "CX,CY,R[:FISH]",
        "blobs: a round arena of radius R around CX,CY, with FISH fish (--fish); repeatable" },
    { "arena-grid", "ROWSxCOLS[:round|square][:WELLmm]",
        "blobs: a grid of arenas over --area (from the outer edge of the corner wells), "
        "numbered row by row from the top left, --fish fish each (square); WELL, the wells' "
        "diameter (or width) in mm, cm or um, sets the scale" },
};

namespace {

// "values[:FISH]" split; FISH defaults to `fish`.
bool splitFish(const QString &text, QString *values, int *fish)
{
    const int colon = text.indexOf(QLatin1Char(':'));
    *values = colon < 0 ? text : text.left(colon);
    if (colon < 0)
        return true;
    const auto given = ValueReader::wholeNumberIn(text.mid(colon + 1), 1, maxFish);
    if (given)
        *fish = *given;
    return given.has_value();
}

std::optional<QList<int>> wholeNumbers(const QString &text, int count)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != count)
        return std::nullopt;
    QList<int> values;
    for (const QString &p : parts) {
        const auto v = ValueReader::wholeNumber(p);
        if (!v)
            return std::nullopt;
        values << *v;
    }
    return values;
}

} // namespace

bool given(const CommandLine &line)
{
    return line.isSet("arena") || line.isSet("arena-circle") || line.isSet("arena-grid");
}

std::optional<QString> parse(const CommandLine &line, bool blobs, const std::optional<QRect> &area,
    int fishPerArena, QList<Arena> *arenas, Scale *scale)
{
    arenas->clear();
    if (!given(line))
        return std::nullopt;
    if (!blobs)
        for (const char *name : { "arena", "arena-circle", "arena-grid" })
            if (line.isSet(name))
                return QStringLiteral("--%1 needs --method blobs").arg(QLatin1String(name));

    // The options in the order given, so that arenas are numbered as the user wrote them.
    QStringList rects = line.values("arena"), circles = line.values("arena-circle"),
                grids = line.values("arena-grid");
    for (const QString &name : line.optionOrder()) {
        Arena a;
        a.fishCount = fishPerArena;
        QString values;
        if (name == QLatin1String("arena")) {
            const QString arg = rects.takeFirst();
            const auto v
                = splitFish(arg, &values, &a.fishCount) ? wholeNumbers(values, 4) : std::nullopt;
            if (!v)
                return QStringLiteral("--arena wants X1,Y1,X2,Y2[:FISH], FISH 1..200, got '%1'")
                    .arg(arg);
            const QString far = overlaylimits::outOfRange(
                QStringLiteral("--arena %1").arg(arg), { (*v)[0], (*v)[1], (*v)[2], (*v)[3] });
            if (!far.isEmpty())
                return far;
            a.rect = QRect(QPoint(std::min((*v)[0], (*v)[2]), std::min((*v)[1], (*v)[3])),
                QPoint(std::max((*v)[0], (*v)[2]), std::max((*v)[1], (*v)[3])));
            *arenas << a;
        } else if (name == QLatin1String("arena-circle")) {
            const QString arg = circles.takeFirst();
            const auto v
                = splitFish(arg, &values, &a.fishCount) ? wholeNumbers(values, 3) : std::nullopt;
            if (!v || (*v)[2] < 1)
                return QStringLiteral(
                    "--arena-circle wants CX,CY,R[:FISH], R at least 1, FISH 1..200, got '%1'")
                    .arg(arg);
            const int cx = (*v)[0], cy = (*v)[1], r = (*v)[2];
            // Its corners worked out wide: near int's ends they would wrap.
            const QString far
                = overlaylimits::outOfRange(QStringLiteral("--arena-circle %1").arg(arg),
                    { qint64(cx) - r, qint64(cy) - r, qint64(cx) + r, qint64(cy) + r });
            if (!far.isEmpty())
                return far;
            a.rect = QRect(cx - r, cy - r, 2 * r + 1, 2 * r + 1);
            a.shape = Arena::Shape::Ellipse;
            *arenas << a;
        } else if (name == QLatin1String("arena-grid")) {
            const QString arg = grids.takeFirst();
            static const QRegularExpression form(QStringLiteral(
                "^(\\d{1,3})x(\\d{1,3})(?::(round|square))?(?::([0-9.]+)(mm|cm|um))?$"));
            const QRegularExpressionMatch m = form.match(arg.trimmed());
            if (!m.hasMatch())
                return QStringLiteral(
                    "--arena-grid wants ROWSxCOLS[:round|square][:WELLmm], got '%1'")
                    .arg(arg);
            if (!area)
                return QStringLiteral("--arena-grid lays its arenas over --area, which is missing");
            const int rows = m.captured(1).toInt(), columns = m.captured(2).toInt();
            // Counted before they are laid out: a 999x999 grid is a million arenas.
            const qint64 fish
                = qint64(rows) * columns * fishPerArena + ArenaLayout::totalFish(*arenas);
            if (fish > maxFish)
                return QStringLiteral("the arenas hold %1 fish together; at most %2 can be tracked")
                    .arg(fish)
                    .arg(maxFish);
            const Arena::Shape shape = m.captured(3) == QLatin1String("round")
                ? Arena::Shape::Ellipse
                : Arena::Shape::Rectangle;
            const QList<Arena> grid = ArenaLayout::grid(
                *area, rows, columns, shape, fishPerArena, ArenaLayout::nextGroup(*arenas));
            if (grid.isEmpty())
                return QStringLiteral("--arena-grid %1 does not fit in the %2x%3 --area")
                    .arg(arg)
                    .arg(area->width())
                    .arg(area->height());
            *arenas << grid;
            if (!m.captured(4).isEmpty()) {
                // The wells' real size over their size in pixels: the scale, set once.
                bool ok = false;
                const double well = m.captured(4).toDouble(&ok);
                const auto read = ArenaLayout::wellScale(grid, ok ? well : 0.0, m.captured(5));
                if (!read)
                    return QStringLiteral("--arena-grid %1: the wells' size must be a length "
                                          "above 0")
                        .arg(arg);
                if (scale)
                    *scale = *read;
            }
        }
        if (ArenaLayout::totalFish(*arenas) > maxFish)
            return QStringLiteral("the arenas hold %1 fish together; at most %2 can be tracked")
                .arg(ArenaLayout::totalFish(*arenas))
                .arg(maxFish);
    }
    return std::nullopt;
}

} // namespace ArenaOptions
