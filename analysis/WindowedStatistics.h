#pragma once
// Sorts a variable's samples into repeating time windows and gives each window's start
// time, mean and population variance. Window k covers O + k(M + B) to O + k(M + B) + M, both
// ends included; a sample goes to the first window whose end is not before it, and is dropped
// when that window starts after it. GUI-free; any thread.

#include <QVector>

struct WindowSettings
{
    float offset = 0.0f; // O, "Offset Time (sec)"
    float measure = 1.0f; // M, "Time to Measure (sec)"
    float between = 0.0f; // B, "Time Between (sec)"

    // A period M + B that is not positive would never move a late sample into a window.
    bool periodIsPositive() const;
};

// One entry per window that received samples, in window order.
struct WindowSummary
{
    QVector<float> startTimes;
    QVector<float> means;
    QVector<float> variances;
    // The same windows' sample counts and extremes, for the results table.
    QVector<int> counts {};
    QVector<float> minimums {};
    QVector<float> maximums {};
};

class WindowedStatistics
{
public:
    // `settings` must have a positive period.
    static WindowSummary summarise(
        const QVector<float> &times, const QVector<float> &values, const WindowSettings &settings);
};
