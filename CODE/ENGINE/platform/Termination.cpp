#include "platform/Termination.h"

#include "platform/ExitCodes.h"

#include <csignal>
#include <cstdio>
#include <initializer_list>
#include <unistd.h>

namespace platform
{

namespace
{

volatile std::sig_atomic_t requested = 0;
DisplayLostHandler displayLost = nullptr;

void OnTerminationSignal(int signal)
{
    if (requested)
    {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    requested = signal;
}

} // namespace

void CatchTerminationSignals()
{
    struct sigaction action
    {
    };
    action.sa_handler = &OnTerminationSignal;
    sigemptyset(&action.sa_mask);
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
