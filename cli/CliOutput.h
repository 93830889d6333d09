#pragma once
// Where pondwatch-cli writes its own standard output: the video library prints its banner and
// stream dumps with printf, so the real standard output is kept aside for the command's
// results, and what is printed to file descriptor 1 goes nowhere (or to standard error with
// --verbose). Main thread only, at start-up.

#include <cstdio>

namespace CliOutput {

// Sets the real standard output aside; call once, before anything is printed.
void divertLibraryOutput();
// --verbose: what is printed to file descriptor 1 goes to standard error instead.
void showLibraryOutputOnStandardError();
// Where the command's own results go (standard output as the caller gave it).
FILE *standardOutput();

} // namespace CliOutput
