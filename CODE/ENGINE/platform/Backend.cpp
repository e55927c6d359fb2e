#include "platform/Backend.h"

#include "core/OTick.h"
#include "platform/Clock.h"
#include "platform/HeadlessBackend.h"
#include "platform/SdlBackend.h"

#include <cstdlib>
#include <cstring>

namespace platform
{

void ForgetAllWindows(); // MessageQueue.cpp

namespace
{

std::unique_ptr<Backend>& Slot()
{
    static std::unique_ptr<Backend> backend;
    return backend;
}

u32 BackendTicks()
{
    return TimeGetTime();
}

// The backend ZORBLET_BACKEND asks for; null with the reason when that is no
// backend this program has, or when it cannot run here.
std::unique_ptr<Backend> MakeFromEnvironment(std::string* problem)
{
    const char* choice = std::getenv("ZORBLET_BACKEND");
    if (choice && std::strcmp(choice, "headless") == 0)
        return std::make_unique<HeadlessBackend>(false);
    if (choice && choice[0] && std::strcmp(choice, "sdl") != 0)
    {
        *problem = std::string("ZORBLET_BACKEND=\"") + choice +
                   "\" is not a backend of this program; it accepts \"sdl\" (the default: a window on "
                   "the desktop's display) and \"headless\" (no display at all).";
        return nullptr;
    }
    auto sdl = std::make_unique<SdlBackend>();
    if (!sdl->IsReady())
    {
        *problem = "The window cannot be shown: " + sdl->GetStartProblem() +
                   ". Start the program from a desktop session (DISPLAY or WAYLAND_DISPLAY naming a running "
                   "display), or set ZORBLET_BACKEND=headless to run it without a display.";
        return nullptr;
    }
    return sdl;
}

} // namespace

Backend& GetBackend()
{
    std::unique_ptr<Backend>& slot = Slot();
    if (!slot)
    {
        // Callers that did not start the backend themselves still get one;
        // an SDL backend that could not start fails every call softly.
        std::string ignored;
        slot = MakeFromEnvironment(&ignored);
        if (!slot)
            slot = std::make_unique<SdlBackend>();
        SetTickSource(&BackendTicks);
    }
    return *slot;
}

bool StartBackend(std::string* problem)
{
    std::string why;
    if (!Slot())
    {
        std::unique_ptr<Backend> backend = MakeFromEnvironment(&why);
        if (!backend)
        {
            if (problem)
                *problem = why;
            return false;
        }
        Slot() = std::move(backend);
        SetTickSource(&BackendTicks);
    }
    return true;
}

void SetBackend(std::unique_ptr<Backend> backend)
{
    ForgetAllWindows();
    Slot() = std::move(backend);
    SetTickSource(Slot() ? &BackendTicks : nullptr);
}

HeadlessBackend& UseHeadless()
{
    auto backend = std::make_unique<HeadlessBackend>(true);
    HeadlessBackend& ref = *backend;
    SetBackend(std::move(backend));
    return ref;
}

} // namespace platform
