#pragma once
// The values users write into options and setup files: whole numbers, numbers rounded as the
// window's spin boxes round them, rectangles of inclusive corners, labelled shapes
// ("TEXT=values") and measured lengths. Every command and the setup-file reader read them here,
// so one value is refused alike wherever it is given, with the same words. GUI-free.

#include <QRect>
#include <QString>
#include <QVector>

#include <optional>

namespace ValueReader {

// A whole number within int (surrounding spaces allowed).
std::optional<int> wholeNumber(const QString &text);
// A whole number within minimum..maximum.
std::optional<int> wholeNumberIn(const QString &text, int minimum, int maximum);
// A finite number (surrounding spaces allowed).
std::optional<double> number(const QString &text);
// `count` finite numbers separated by commas.
std::optional<QVector<double>> numbers(const QString &text, int count);
// A finite number that is whole and within int.
bool isWhole(double value);
// X1,Y1,X2,Y2 in whole pixels as inclusive corners, normalised as the view stores a dragged
// rectangle (swapped corners swapped back without moving them).
std::optional<QRect> rect(const QString &text);
// `value` rounded to `decimals` places, as QDoubleSpinBox keeps its value.
double roundTo(double value, int decimals);
// A number rounded to `decimals` places, within minimum..maximum after rounding.
std::optional<double> real(const QString &text, int decimals, double minimum, double maximum);
// "TEXT=values" split at the last '=': the text may hold '=' itself, the numbers never do.
bool splitLabelled(const QString &arg, QString *text, QString *values);
// A ruler's or point distance's length as the number dialog gives it: one decimal, within
// +-2147483647, held as a float.
std::optional<float> length(double value);

// A ruler's or point distance's TEXT=A,B,C,D,LENGTH: four whole pixel coordinates and a length.
struct MeasureShape
{
    QString text;
    int points[4] = {};
    float length = 0.0f;
};
std::optional<MeasureShape> measureShape(const QString &arg);

// The words every refusal uses: "--NAME must be a whole number from MIN to MAX, got 'TEXT'"
// (for a setup file, "NAME must be ..." without the dashes and the text).
QString wholeNumberWanted(const QString &name, int minimum, int maximum, const QString &got);
QString numberWanted(const QString &name, double minimum, double maximum, const QString &got);

} // namespace ValueReader
