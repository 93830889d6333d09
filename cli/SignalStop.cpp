#include "cli/SignalStop.h"

#include <atomic>
#include <csignal>

namespace {

// Written by the signal handler, read by the run loops.
std::atomic<int> receivedSignal { 0 };
static_assert(std::atomic<int>::is_always_lock_free, "the handler needs a lock-free atomic");

extern "C" void recordSignal(int signal)
{
    int none = 0;
    receivedSignal.compare_exchange_strong(none, signal);
}

} // namespace

namespace SignalStop {

void install()
{
    struct sigaction action = {};
    action.sa_handler = recordSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int received()
{
    return receivedSignal.load();
}

int exitCode(int signal)
{
    return 128 + signal;
}

const char *name(int signal)
{
    return signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "a signal";
}

} // namespace SignalStop
