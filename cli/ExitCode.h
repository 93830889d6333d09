#pragma once
// pondwatch-cli's exit codes, the same for every subcommand (the README keeps the table).

enum ExitCode {
    ExitOk = 0,
    ExitFailed = 1, // an input refused, or an output not written (analyze, export, gfa-*)
    ExitBadOption = 2, // an unknown option, a bad value, a missing argument
    ExitBadVideo = 3, // track: the video cannot be opened or decoded
    ExitBadArea = 4, // track: the Tracking Area leaves no pixel to scan
    ExitCannotWrite = 5, // track: the data file cannot be written
    ExitVideoEndedEarly = 6, // track, export: fewer frames decoded than the video announces
    ExitNothingTracked = 7, // track: the run gave no record (an earlier data file is kept), or
                            // found no fish in any row
    ExitFewFound = 8, // track --strict: every fish found in under half of the rows
    ExitHungUp = 129, // SIGHUP: 128 + 1 (the terminal closed)
    ExitInterrupted = 130, // SIGINT: 128 + 2
    ExitTerminated = 143, // SIGTERM: 128 + 15
};
