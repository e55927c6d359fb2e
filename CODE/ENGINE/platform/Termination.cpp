#include "platform/Termination.h"

#include "platform/ExitCodes.h"

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <initializer_list>
#include <unistd.h>

namespace platform
{

namespace
{

// A request not yet taken by the message queue.
volatile std::sig_atomic_t requested = 0;
// Set by the first signal and kept after the request is taken: the close it
// asked for (and the save that comes with it) may still be under way.
volatile std::sig_atomic_t caught = 0;
// When the first signal came, in nanoseconds of the monotonic clock.
std::atomic<std::int64_t> caughtAt{0};
static_assert(std::atomic<std::int64_t>::is_always_lock_free, "written in a signal handler");
// A closed terminal sends two SIGHUPs microseconds apart (the shell's and
// the kernel's hang-up), and `timeout` or a kill of the process group
// reaches the game once more: one request each time. A person who wants a
// hung program gone signals again later than that; a save blocked for a
// second is what that signal is for.
constexpr std::int64_t kSameRequestNs = 1'000'000'000;
std::atomic<int> removeOnAbortFolder{-1};
std::atomic<const char*> removeOnAbort{nullptr};
static_assert(std::atomic<const char*>::is_always_lock_free, "read in a signal handler");
static_assert(std::atomic<int>::is_always_lock_free, "read in a signal handler");
DisplayLostHandler displayLost = nullptr;

// clock_gettime is async-signal-safe, and the monotonic clock does not jump
// when the wall clock is set.
std::int64_t MonotonicNs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

void OnTerminationSignal(int signal)
{
    const std::int64_t now = MonotonicNs();
    if (caught && now - caughtAt.load() < kSameRequestNs)
        return;
    if (caught)
    {
        // Ends the process as the signal's own default would (so its parent
        // sees it killed by that signal: 143 for SIGTERM in a shell). The
        // signal is blocked while its handler runs, so it strikes as soon as
        // the handler returns.
        if (const char* file = removeOnAbort.load())
            ::unlinkat(removeOnAbortFolder.load(), file, 0);
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    caughtAt.store(now);
    caught = 1;
    requested = signal;
}

} // namespace

void CatchTerminationSignals()
{
    requested = 0;
    caught = 0;
    struct sigaction action
    {
    };
    action.sa_handler = &OnTerminationSignal;
    // One handler at a time, so a second signal always finds the first's
    // moment set.
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGHUP, SIGTERM, SIGINT})
        sigaddset(&action.sa_mask, signal);
    // Interrupted waits are restarted: the loop looks at the request on its
    // own at least every millisecond.
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGHUP, SIGTERM, SIGINT})
        ::sigaction(signal, &action, nullptr);
}

bool TakeTerminationRequest()
{
    if (!requested)
        return false;
    requested = 0;
    return true;
}

void RemoveOnAbort(int folder, const char* name)
{
    // The name goes last and is cleared first, so the handler never pairs it
    // with another folder.
    if (name == nullptr)
        removeOnAbort.store(nullptr);
    removeOnAbortFolder.store(folder);
    removeOnAbort.store(name);
}

void IgnoreWriteFailureSignals()
{
    struct sigaction action
    {
    };
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGPIPE, SIGXFSZ})
        ::sigaction(signal, &action, nullptr);
}

void SetDisplayLostHandler(DisplayLostHandler handler)
{
    displayLost = handler;
}

void EndAfterDisplayLost()
{
    // Saving could itself end up here again; the second time only ends.
    static bool running = false;
    if (!running && displayLost)
    {
        running = true;
        displayLost();
    }
    std::fputs("The connection to the display was lost; the program ends (the player's records were saved "
               "where they could be).\n",
               stderr);
    std::fflush(stderr);
    ::_exit(kExitDisplayLost);
}

} // namespace platform
