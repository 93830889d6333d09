#pragma once
// The plate figure: the arenas drawn where they lie, each filled with the colour of one
// measure of its fish (distance, mean speed, time mobile...), one small plate per time bin
// or one for the whole file, with the colour scale, its unit and each well's name. GUI-free
// (QPainter on a QImage or an SVG); any thread.

#include "analysis/PlateMeasures.h"

#include <QSize>
#include <QString>
#include <QStringList>
#include <QVector>

class QPainter;
class TrackTable;

namespace PlateFigure {

// The measures the figure can show: "distance", "mean_speed", "mobile_s", "immobile_s",
// "wall_s", "centre_s".
QStringList measureNames();
bool knowsMeasure(const QString &name);

// The picture's size for the table's arenas and bins.
QSize size(const TrackTable &table, const QVector<MeasureRow> &rows);

// Draws the figure. An arena holding several fish shows their mean; an arena whose fish
// were never found is drawn empty (grey, hatched).
void draw(QPainter &painter, const TrackTable &table, const QVector<MeasureRow> &rows,
    const QString &measure);

} // namespace PlateFigure
