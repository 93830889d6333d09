#pragma once
// A data file's trajectories in the layouts other tools read: "tidy" CSV (one row per fish per
// frame, for pandas and R) and the DeepLabCut CSV (four header rows, one row per frame), which
// the movement package and DeepLabCut's own tools load. Frames are the 0-based index of the
// picture in the video. Where a fish was not found its cells are empty, never a stale
// position. GUI-free; any thread.

#include <QByteArray>
#include <QString>

class TrackTable;

namespace TrajectoryExport {

enum class Format { Tidy, DeepLabCut };

// "tidy" or "dlc"; nothing else.
bool formatFromName(const QString &name, Format *format);

// tidy: frame,time_s,fish,arena,found,x_px,y_px,heading_deg, then x_<unit>,y_<unit> when the
// file has a scale. fish and arena count from 1; arena is empty without arenas, heading where
// it is unknown.
QByteArray tidy(const TrackTable &table);

// DeepLabCut: rows scorer, individuals (fish1...), bodyparts (centroid, and head and tail when
// the file gives heading and body length), coords (x, y, likelihood), in pixels; then one row
// per frame led by its frame number. A found fish has likelihood 1.
QByteArray deepLabCut(const TrackTable &table);

} // namespace TrajectoryExport
