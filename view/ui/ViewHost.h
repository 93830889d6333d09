#pragma once
// What the video view needs from its owner: the tracker whose records it draws, the record
// under review and the filter size for the tracker view, and where a manual correction goes.
// The main window implements it; the view never reaches up into the window.
// The view calls these on the GUI thread.

class VideoTracker;

class ViewHost
{
public:
    virtual ~ViewHost() = default;

    // The tracker of the current run, or null when there is none.
    virtual VideoTracker *videoTracker() const = 0;
    // Records back from the newest one shown while a run is paused (0 = the newest).
    virtual int reviewIndex() const = 0;
    virtual int meanFilterSize() const = 0;
    // Manual correction while paused: the fish is at (x, y) in the record shown.
    virtual void correctPosition(int x, int y) = 0;
};
