#pragma once
// A process-wide named mutex that tells a second copy of the program that a
// first one runs. It is a lock file "<name>.lock" in the runtime folder
// ($XDG_RUNTIME_DIR, else /tmp) held with flock, so the kernel releases it
// when the process dies, however it dies.
#include "core/Types.h"

#include <string>

namespace platform
{

class NamedMutex
{
public:
    enum class Result
    {
        Created,       // this process holds the name
        AlreadyExists, // another process holds it
        Failed         // the lock file could not be made or locked
    };

    NamedMutex() = default;
    ~NamedMutex();
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    Result Create(const char* name);
    void Close();
    // The folder the lock files live in.
    static std::string GetRuntimeFolder();

private:
    int fd_ = -1;
};

} // namespace platform
