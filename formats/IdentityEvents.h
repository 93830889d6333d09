#pragma once
// The moments of a multi-fish data file where identities may have changed, for a user to
// review: fish coming into contact and parting (or crossing, when the contact is brief), a
// fish lost or found again away from the others, and a fish that jumps further in one row than
// fish swim. A swap made by the tracker shows as a split or a crossing (it happens in contact)
// or as a jump of both fish (a wrong assignment far apart). Events of one kind in one row are
// one event naming every fish. GUI-free; any thread.

#include <QByteArray>
#include <QString>
#include <QVector>

class DataFileRows;

struct IdentityEvent
{
    qint64 frame = 0; // 0-based index of the decoded picture
    double seconds = 0.0;
    QVector<int> fish; // 1-based, ascending
    QString kind; // merge, split, crossing, lost, found, jump
};

namespace IdentityEvents {

// The events of a file's rows, by frame.
QVector<IdentityEvent> find(const DataFileRows &rows);

// "frame,time_s,fish,kind" and one line per event, fish joined by ';'.
QByteArray csv(const QVector<IdentityEvent> &events);

} // namespace IdentityEvents
