#include "cli/SignalStop.h"

#include <atomic>
#include <csignal>

namespace {

// Written by the signal handler, read by the run loops.
std::atomic<int> receivedSignal { 0 };
std::atomic<int> signalCount { 0 };
static_assert(std::atomic<int>::is_always_lock_free, "the handler needs a lock-free atomic");

extern "C" void recordSignal(int signal)
{
    int none = 0;
    receivedSignal.compare_exchange_strong(none, signal);
    signalCount.fetch_add(1);
}

const int stopSignals[] = { SIGINT, SIGTERM, SIGHUP };

} // namespace

namespace SignalStop {

void install(Second second)
{
    struct sigaction action = {};
    action.sa_handler = recordSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | (second == Second::EndsAtOnce ? SA_RESETHAND : 0);
    for (const int signal : stopSignals)
        sigaction(signal, &action, nullptr);
}

int received()
{
    return receivedSignal.load();
}

int count()
{
    return signalCount.load();
}

int exitCode(int signal)
{
    return 128 + signal;
}

bool isStopCode(int code)
{
    for (const int signal : stopSignals)
        if (code == exitCode(signal))
            return true;
    return false;
}

const char *name(int signal)
{
    return signal == SIGINT ? "SIGINT"
        : signal == SIGTERM ? "SIGTERM"
        : signal == SIGHUP  ? "SIGHUP"
                            : "a signal";
}

} // namespace SignalStop
