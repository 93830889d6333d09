#pragma once
// pondwatch-cli subcommands. Each takes the arguments after its name and returns the exit
// code; errors go to standard error as one line.

#include <QStringList>

int runTrack(const QStringList &args);
int runLive(const QStringList &args);
int runAnalyze(const QStringList &args);
int runExport(const QStringList &args);
int runGfaEvents(const QStringList &args);
int runGfaBlend(const QStringList &args);
int runPlot(const QStringList &args);
int runBatch(const QStringList &args);

// The track options a batch manifest's columns may name: those that take a value, but
// --output, which the batch sets.
QStringList trackManifestOptions();
int runSplitArenas(const QStringList &args);
int runEvents(const QStringList &args);
int runSwap(const QStringList &args);
int runTrajectories(const QStringList &args);
int runMeasures(const QStringList &args);
