#pragma once
// What a tracking run asks of a detection method: an optional preparation before the first
// frame (the whole-video background reads the video there), then one call per frame that
// turns the frame into one record, with one entry per fish, appended to the run's results.
// A method may revise the records it appended before (the classic method back-fills them).
// Tracker thread only.

#include <QImage>
#include <QString>

class QVideoDecoder;
class TrackResults;

class DetectionMethod
{
public:
    virtual ~DetectionMethod() = default;

    // Before the first frame. The decoder holds the frame on display and must hold it again
    // on return, so that the run goes on from the frame after it. False ends the run before
    // its first frame; startFailure() then says why (empty when the user stopped it).
    virtual bool prepare(QVideoDecoder *decoder)
    {
        Q_UNUSED(decoder);
        return true;
    }
    virtual QString startFailure() const { return QString(); }

    // One frame: frameNumber and frameTimeMs as the decoder reports them.
    virtual void trackFrame(
        const QImage &frame, qint64 frameNumber, qint64 frameTimeMs, TrackResults &results)
        = 0;

    // A header line for the data file naming the method and its parameters, or empty when the
    // file is to be written as the classic method writes it.
    virtual QString description() const { return QString(); }
    // The threshold the single-fish file compares each row's confidence with, when the method
    // sets it (the classic file takes the Confidence Threshold control).
    virtual bool flagThreshold(float *threshold) const
    {
        Q_UNUSED(threshold);
        return false;
    }
};
