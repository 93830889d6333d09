#include "formats/IdentityEvents.h"

#include "formats/DataFileRows.h"

#include <QPointF>

#include <algorithm>
#include <cmath>
#include <map>

namespace {

// Without body lengths in the file, fish are taken to be this long (pixels).
constexpr double defaultBodyLength = 20.0;
// Two fish closer than this share of a body length are in contact.
constexpr double contactShare = 0.6;
// A contact of at most this many rows is a crossing: one event, not two.
constexpr int crossingRows = 3;
// For this many rows after a contact a fish settles on its own blob again: its moves then are
// the contact's split, not events of their own.
constexpr int settleRows = 5;

double median(QVector<double> values, double otherwise)
{
    if (values.isEmpty())
        return otherwise;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

double distance(QPointF a, QPointF b)
{
    return std::hypot(a.x() - b.x(), a.y() - b.y());
}

} // namespace

QVector<IdentityEvent> IdentityEvents::find(const DataFileRows &rows)
{
    const int fish = rows.fishCount();
    const int n = rows.rowCount();
    struct Columns
    {
        int found, x, y, length;
    };
    QVector<Columns> columns;
    for (int k = 1; k <= fish; ++k)
        columns << Columns { rows.column(QStringLiteral("Fish%1Conf?").arg(k)),
            rows.column(QStringLiteral("Fish%1X").arg(k)),
            rows.column(QStringLiteral("Fish%1Y").arg(k)),
            rows.column(QStringLiteral("Fish%1BodyLength").arg(k)) };

    QVector<QVector<QPointF>> at(n, QVector<QPointF>(fish));
    QVector<QVector<bool>> found(n, QVector<bool>(fish, false));
    QVector<double> lengths, steps;
    for (int r = 0; r < n; ++r)
        for (int k = 0; k < fish; ++k) {
            const Columns &c = columns[k];
            const double x = rows.number(r, c.x), y = rows.number(r, c.y);
            at[r][k] = std::isfinite(x) && std::isfinite(y) ? QPointF(x, y) : QPointF();
            found[r][k] = rows.field(r, c.found) == QLatin1String("1");
            const double length = c.length >= 0 ? rows.number(r, c.length) : 0.0;
            if (found[r][k] && length > 0 && std::isfinite(length))
                lengths << length;
            if (r > 0 && found[r][k] && found[r - 1][k])
                steps << distance(at[r][k], at[r - 1][k]);
        }
    const double body = median(lengths, defaultBodyLength);
    const double contact = contactShare * body;
    // Further than fish swim in a row: several typical steps, and half a body at least.
    const double jump = std::max(0.5 * body, 4.0 * median(steps, 0.0));

    // Events of one kind in one row are merged; the key orders them by row.
    std::map<std::pair<int, QString>, QVector<int>> byRow;
    auto add = [&byRow](int row, const QString &kind, int a, int b = -1) {
        QVector<int> &list = byRow[{ row, kind }];
        for (int k : { a, b })
            if (k >= 0 && !list.contains(k + 1))
                list << k + 1;
    };
    auto touching = [&](int r, int a, int b) {
        return (found[r][a] || found[r][b]) && distance(at[r][a], at[r][b]) < contact;
    };
    QVector<QVector<bool>> inContact(n, QVector<bool>(fish, false));

    // Contacts, pair by pair.
    for (int a = 0; a < fish; ++a)
        for (int b = a + 1; b < fish; ++b) {
            int start = -1;
            for (int r = 0; r <= n; ++r) {
                const bool now = r < n && touching(r, a, b);
                if (now)
                    inContact[r][a] = inContact[r][b] = true;
                if (now && start < 0)
                    start = r;
                if (!now && start >= 0) {
                    if (r - start <= crossingRows) {
                        add((start + r - 1) / 2, QStringLiteral("crossing"), a, b);
                    } else {
                        add(start, QStringLiteral("merge"), a, b);
                        if (r < n)
                            add(r, QStringLiteral("split"), a, b);
                    }
                    start = -1;
                }
            }
        }
    // Losses, finds and jumps away from the others.
    // What happens to a fish just after a contact is the contact's split: not listed again.
    std::vector<bool> everFound(size_t(fish), false);
    std::vector<int> lastContact(size_t(fish), -settleRows - 1);
    for (int r = 0; r < n; ++r)
        for (int k = 0; k < fish; ++k) {
            if (inContact[r][k])
                lastContact[size_t(k)] = r;
            const bool afterContact = r - lastContact[size_t(k)] <= settleRows;
            const bool was = r > 0 && found[r - 1][k];
            if (r > 0 && was && !found[r][k] && !afterContact)
                add(r, QStringLiteral("lost"), k);
            if (found[r][k] && !was && everFound[size_t(k)] && !afterContact)
                add(r, QStringLiteral("found"), k);
            if (found[r][k] && was && !afterContact && distance(at[r][k], at[r - 1][k]) > jump)
                add(r, QStringLiteral("jump"), k);
            everFound[size_t(k)] = everFound[size_t(k)] || found[r][k];
        }

    QVector<IdentityEvent> events;
    for (const auto &entry : byRow) {
        IdentityEvent e;
        e.frame = rows.frame(entry.first.first);
        e.seconds = rows.seconds(entry.first.first);
        e.kind = entry.first.second;
        e.fish = entry.second;
        std::sort(e.fish.begin(), e.fish.end());
        events << e;
    }
    return events;
}

QByteArray IdentityEvents::csv(const QVector<IdentityEvent> &events)
{
    QByteArray out = "frame,time_s,fish,kind\n";
    for (const IdentityEvent &e : events) {
        QStringList fish;
        for (int k : e.fish)
            fish << QString::number(k);
        out += QStringLiteral("%1,%2,%3,%4\n")
                   .arg(e.frame)
                   .arg(e.seconds, 0, 'f', 3)
                   .arg(fish.join(QLatin1Char(';')), e.kind)
                   .toUtf8();
    }
    return out;
}
