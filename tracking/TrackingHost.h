#pragma once
// What a tracking run needs from its surroundings: the parameters, the decoder it drives,
// the video's path, and the view (its image and overlays at the start, and the two flags
// it shows). The main window implements it for the GUI; the CLI has a plain one.
// Every function here may be called from the tracker thread.

#include "model/OverlayShapes.h"
#include "tracking/TrackingControls.h"

#include <QImage>
#include <QString>

class QVideoDecoder;

class TrackingHost
{
public:
    virtual ~TrackingHost() = default;

    virtual const TrackingControls &trackingControls() const = 0;
    virtual QVideoDecoder *videoDecoder() = 0;
    virtual QString fileName() const = 0;

    // The view's displayed image and a copy of its overlays (taken under the view's lock).
    virtual QImage viewImage() const = 0;
    virtual OverlaySet viewOverlays() const = 0;
    // The view's flags, atomics on the view side.
    virtual void setShowResults(bool show) = 0;
    virtual void setFishFound(bool found) = 0;
};
