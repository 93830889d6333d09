#pragma once
// pondwatch-cli subcommands. Each takes the arguments after its name and returns the exit
// code; errors go to standard error as one line.

#include <QStringList>

int runTrack(const QStringList &args);
int runAnalyze(const QStringList &args);
int runExport(const QStringList &args);
int runGfaEvents(const QStringList &args);
int runGfaBlend(const QStringList &args);
int runSplitArenas(const QStringList &args);
