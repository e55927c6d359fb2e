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

std::unique_ptr<Backend> MakeFromEnvironment()
{
    const char* choice = std::getenv("ZORBLET_BACKEND");
    if (choice && std::strcmp(choice, "headless") == 0)
        return std::make_unique<HeadlessBackend>(false);
    return std::make_unique<SdlBackend>();
}

} // namespace

Backend& GetBackend()
{
    std::unique_ptr<Backend>& slot = Slot();
    if (!slot)
    {
        slot = MakeFromEnvironment();
        SetTickSource(&BackendTicks);
    }
    return *slot;
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
