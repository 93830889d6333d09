#include "analysis/WindowedStatistics.h"

#include <QtGlobal>

#include <cmath>
#include <map>

namespace {
// Window indices beyond this many periods are out of reach (and of qint64).
constexpr long double maxSkippedSteps = 4611686018427387904.0L; // 2^62
} // namespace

bool WindowSettings::periodIsPositive() const
{
    // Written so that a period that is not a number is refused too.
    return static_cast<long double>(measure) + between > 0.0L;
}

WindowSummary WindowedStatistics::summarise(
    const QVector<float> &times, const QVector<float> &values, const WindowSettings &settings)
{
    Q_ASSERT(times.size() == values.size());
    Q_ASSERT(settings.periodIsPositive());

    // The windows that received samples, by index; the samples in the order they came.
    // Empty windows are never stored, so a fine window over a long file costs no memory.
    std::map<qint64, QVector<float>> windows;

    // The stepping runs in extended precision on the single-precision inputs, without
    // rounding between steps; the strict comparison gives a sample on a window's end to that
    // window, the earlier one where two windows meet.
    const long double measure = settings.measure;
    const long double period = measure + static_cast<long double>(settings.between);
    for (int i = 0; i < times.size(); ++i) {
        const long double start = static_cast<long double>(times[i]) - settings.offset;
        long double d = start;
        qint64 k = 0;
        // Far from the first window the steps are skipped by division: a second-long window
        // at an epoch-style time would otherwise take billions of them. The remainder after
        // k steps is start - k * period rounded once, which is what the steps give whenever
        // they are exact (single-precision inputs not too far apart in magnitude); the last
        // steps are taken one by one as before.
        const long double steps = d > measure ? std::floor((d - measure) / period) : 0.0L;
        if (steps > 2.0L && steps < maxSkippedSteps && d - period != d) {
            k = qint64(steps) - 2;
            // The steps stop at the first remainder not above the measure: should the
            // division have overshot that, start from there.
            while (k > 0 && std::fmal(-static_cast<long double>(k - 1), period, start) <= measure)
                --k;
            d = std::fmal(-static_cast<long double>(k), period, start);
        }
        bool reachable = true;
        while (d > measure) {
            const long double next = d - period;
            if (next == d || !(steps < maxSkippedSteps)) {
                // The period is lost against d's magnitude, or more windows lie before the
                // sample than any index holds: no window reaches it.
                reachable = false;
                break;
            }
            d = next;
            ++k;
        }
        if (reachable && d >= 0.0L)
            windows[k].append(values[i]);
    }

    WindowSummary summary;
    const float period32 = settings.measure + settings.between;
    for (const auto &[k, samples] : windows) {
        // Sums in single precision, in assignment order.
        float sum = 0.0f;
        for (float s : samples)
            sum += s;
        const float n = float(samples.size());
        const float mean = sum / n;
        float squares = 0.0f;
        for (float s : samples)
            squares += (mean - s) * (mean - s);
        summary.startTimes.append(period32 * float(k) + settings.offset);
        summary.means.append(mean);
        summary.variances.append(squares / n);
    }
    return summary;
}
