#include "formats/IdentitySwap.h"

#include "formats/DataFileRows.h"

#include <QVector>

#include <algorithm>

namespace {

// The part of a column name after "Fish<k>" when it is one of fish k's columns (Fish1X is
// fish 1's, Fish12X is not).
bool suffixOf(const QString &name, int fish, QString *suffix)
{
    const QString prefix = QStringLiteral("Fish%1").arg(fish);
    if (!name.startsWith(prefix) || name.size() == prefix.size() || name[prefix.size()].isDigit())
        return false;
    *suffix = name.mid(prefix.size());
    return true;
}

} // namespace

bool IdentitySwap::swap(
    const DataFileRows &rows, int a, int b, qint64 fromFrame, QByteArray *out, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    const int fish = rows.fishCount();
    if (a < 1 || a > fish || b < 1 || b > fish)
        return fail(QStringLiteral("the file holds fish 1 to %1, not %2")
                        .arg(fish)
                        .arg(a < 1 || a > fish ? a : b));
    if (a == b)
        return fail(QStringLiteral("a fish cannot swap with itself (%1 and %1)").arg(a));
    QVector<QPair<int, int>> pairs;
    const QStringList &names = rows.columnNames();
    for (int c = 0; c < names.size(); ++c) {
        QString suffix;
        if (!suffixOf(names[c], a, &suffix))
            continue;
        const int other = rows.column(QStringLiteral("Fish%1").arg(b) + suffix);
        // A column named twice trades places once: swapping stays its own undoing.
        const bool used = std::any_of(pairs.begin(), pairs.end(),
            [other](const QPair<int, int> &p) { return p.second == other; });
        if (other >= 0 && !used)
            pairs.append({ c, other });
    }
    if (pairs.isEmpty())
        return fail(QStringLiteral("fish %1 and %2 have no columns in common").arg(a).arg(b));
    *out = rows.withFieldsSwapped(pairs, rows.rowAtFrame(fromFrame));
    return true;
}
