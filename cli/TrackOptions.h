#pragma once
// The options track and live share: the Tracking Area and overlays (given one by one, from a
// data file or from a setup), the detection method and its parameters, and the arenas, read
// into the controls and overlays a run starts from, with the usual error words.

#include "cli/CommandLine.h"
#include "cli/ExitCode.h"
#include "model/OverlayShapes.h"
#include "tracking/TrackingControls.h"
#include "tracking/blobs/BackgroundChoice.h"

#include <QRect>
#include <QSet>
#include <QSize>
#include <QString>
#include <QStringList>

#include <optional>

struct TrackingSetup;

namespace TrackOptions {

// The Tracking Area, overlays and classic parameters (the video's own options aside).
extern const OptionSpec options[16];
// The detection method and the whole-video background's options.
extern const OptionSpec methodOptions[9];

struct Failure
{
    int code;
    QString message;
};

struct Options
{
    QString video; // or the live source
    std::optional<QRect> area;
    QStringList zones, rulers, pointDists; // the raw TEXT=values arguments, in order
    QString overlaysFrom;
    QString setupFrom;
    QSet<QString> given; // the parameter options named on the command line
    int fish = 1;
    int average = 300;
    double threshold = 30.0;
    double variance = 0.01;
    int filter = 3;
    QString difference = QStringLiteral("abs");
    std::optional<qint64> startMs;
    QString output;
    bool quiet = false;
};

// The detection method and the whole-video background's options. With blobs, --fish and
// --threshold are read here, as their range and meaning differ from the classic method's.
struct MethodOptions
{
    bool blobs = false;
    int backgroundFrames = 50;
    BackgroundMode background = BackgroundMode::Auto;
    QString backgroundImage;
    QString saveBackground;
    double threshold = -1.0; // auto
    int minArea = 0, maxArea = 0; // 0: from the sampled frames
    double maxSpeed = 0.0; // 0: from the body length
    int fish = 1;
    bool strict = false; // a run that found too few fails
};

// Reads the options into the controls and overlays: parameters, setup, overlays, arenas, scale.
std::optional<Failure> configure(const CommandLine &line, Options *o, MethodOptions *m,
    TrackingControls *controls, OverlaySet *overlays);

// The chosen background must cover the frame exactly.
std::optional<Failure> checkBackground(
    const MethodOptions &m, const TrackingControls &controls, const QSize &frame);

// A Tracking Area is of use only when it covers some of the frame and the detector's scan
// range is not empty; one that reaches past the frame is clipped to it (said on standard
// error after "pondwatch-cli COMMAND: warning: ").
std::optional<Failure> checkArea(const TrackingControls &controls, OverlaySet *overlays,
    const QSize &frameSize, const char *command);

// "pondwatch-cli COMMAND: warning: MESSAGE" on standard error.
void warn(const char *command, const QString &message);

} // namespace TrackOptions
