#pragma once
// SIGINT and SIGTERM as a stop request: the handler only records the signal in a lock-free
// atomic (async-signal-safe); the run loops poll it between frames and stop the way "Stop
// Processing" does. The handler is reset after the first signal, so a second Ctrl+C ends the
// program at once (outputs are written whole or not at all, so nothing complete is lost).

namespace SignalStop {

// Installs the handlers; call once, before the run starts.
void install();
// 0, or the first signal received (SIGINT, SIGTERM).
int received();
// The exit code for a run stopped by `signal`: 128 + its number (130, 143).
int exitCode(int signal);
// "SIGINT", "SIGTERM".
const char *name(int signal);

} // namespace SignalStop
