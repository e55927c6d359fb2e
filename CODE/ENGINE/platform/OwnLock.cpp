#include "platform/OwnLock.h"

#include "platform/FileWalk.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
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

int OpenOwnLockFile(const std::string& path, bool writable)
{
    // Locking needs only read access; O_NONBLOCK keeps a pipe planted at the
    // name from holding the open, and the check below refuses it. The walk
    // judges every link on the way as the player's other files are judged.
    constexpr int kFlags = O_CREAT | O_NONBLOCK;
    int fd = writable ? OpenWalked(path, O_RDWR | kFlags, 0600) : -1;
    if (fd < 0 && (!writable || errno == EACCES))
        fd = OpenWalked(path, O_RDONLY | kFlags, 0600);
    if (fd < 0)
        return -1;
    struct stat info
    {
    };
    int problem = 0;
    if (::fstat(fd, &info) != 0)
        problem = errno;
    else if (!S_ISREG(info.st_mode))
        problem = EINVAL;
    else if (info.st_uid != ::geteuid())
        problem = EPERM;
    else if (info.st_nlink != 1)
        problem = EMLINK; // a second name for some other file of the user's, planted where others may write
    else if ((info.st_mode & 077) != 0 && ::fchmod(fd, 0600) != 0)
        problem = errno;
    if (problem != 0)
    {
        ::close(fd);
        errno = problem;
        return -1;
    }
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
