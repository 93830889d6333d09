#pragma once
// How long a pixel is in a real unit ("mm"), set once for a setup and kept in its data files
// as a header line of its own ("Scale: 0.05000000 mm/px"). Without one, results stay in
// pixels and say so. Plain value, GUI-free.

#include <QString>

#include <optional>

struct Scale
{
    double unitsPerPixel = 0.0; // 0: no scale
    QString unit; // "mm", "cm"...

    bool isSet() const { return unitsPerPixel > 0.0 && !unit.isEmpty(); }
    // The unit lengths are given in: the scale's, else "px".
    QString lengthUnit() const { return isSet() ? unit : QStringLiteral("px"); }
    // A length in pixels in lengthUnit().
    double length(double pixels) const { return isSet() ? pixels * unitsPerPixel : pixels; }

    // The data file's line without its "Scale: " word: "0.05000000 mm/px".
    QString describe() const;
    // Reads describe()'s text back; nothing when it is not a finite positive length per pixel
    // with a unit of letters only (at most 8), so that the unit can name a CSV column.
    static std::optional<Scale> parse(const QString &text);
};
