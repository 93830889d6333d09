#pragma once
// SIGINT, SIGTERM and SIGHUP (a closed terminal or ssh session) as a stop request: the
// handler only records the signal in lock-free atomics (async-signal-safe); the run loops
// poll it between frames and stop the way "Stop Processing" does. By default the handler is
// reset after the first signal, so a second Ctrl+C ends the program at once (outputs are
// written whole or not at all, so nothing complete is lost); a batch keeps handling them, to
// pass each on to its runs and still write its summary.

namespace SignalStop {

enum class Second { EndsAtOnce, IsHandled };
// Installs the handlers; call once, before the run starts.
void install(Second second = Second::EndsAtOnce);
// 0, or the first signal received (SIGINT, SIGTERM, SIGHUP).
int received();
// How many of them have come.
int count();
// The exit code for a run stopped by `signal`: 128 + its number (129, 130, 143).
int exitCode(int signal);
// True for an exit code exitCode() gives.
bool isStopCode(int code);
// "SIGINT", "SIGTERM", "SIGHUP".
const char *name(int signal);

} // namespace SignalStop
