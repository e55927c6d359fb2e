#include "platform/files/OwnLock.h"

#include "platform/files/FileWalk.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform
{

namespace
{

long long MonotonicMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

} // namespace

int OpenOwnLockFile(const std::string& path, bool writable, Descriptor* folder)
{
    // Locking needs only read access. The lock file's own name is never
    // followed; every folder on the way is judged as FileWalk.h says.
    int fd = writable ? OpenOwnFile(path, O_RDWR, kLockFile, folder) : -1;
    if (fd < 0 && (!writable || errno == EACCES || errno == EROFS))
        fd = OpenOwnFile(path, O_RDONLY, kLockFile, folder);
    return fd;
}

LockResult TakeLock(int fd, int waitMs)
{
    const long long deadline = MonotonicMs() + (waitMs > 0 ? waitMs : 0);
    for (;;)
    {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return LockResult::Taken;
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK)
            return LockResult::Failed;
        if (MonotonicMs() >= deadline)
            return LockResult::Busy;
        // Short enough that a lock let go is taken at once, long enough that
        // the wait costs the machine nothing.
        timespec pause{0, 5 * 1000 * 1000};
        ::nanosleep(&pause, nullptr);
    }
}

} // namespace platform
