#include "platform/FileReplace.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform
{

namespace
{

// The rename is only durable once the folder that holds the name is on disk
// too ("." when the path has no folder part).
void SyncFolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0)
    {
        ::fsync(fd);
        ::close(fd);
    }
}

FILE* OpenDescriptor(int fd, const std::string& temp)
{
    FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr)
    {
        const int why = errno;
        ::close(fd);
        ::unlink(temp.c_str());
        errno = why;
    }
    return file;
}

// The process's file-creation mask, read from the kernel's report so that
// it is never changed, not even for a moment another thread could create a
// file in; umask's own set-and-restore is the fallback on kernels without it.
mode_t CurrentUmask()
{
    if (FILE* status = std::fopen("/proc/self/status", "re"))
    {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, status) != nullptr)
            found = std::sscanf(line, "Umask: %o", &mask) == 1;
        std::fclose(status);
        if (found)
            return static_cast<mode_t>(mask & 0777);
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

} // namespace

namespace
{

// Takes an open descriptor as a stdio stream when it names a regular file,
// back in blocking mode; closes it and sets errno otherwise.
FILE* RegularStream(int fd, const char* mode)
{
    struct stat info
    {
    };
    int why = 0;
    if (::fstat(fd, &info) != 0)
        why = errno;
    else if (!S_ISREG(info.st_mode))
        why = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
        why = errno;
    FILE* file = why == 0 ? ::fdopen(fd, mode) : nullptr;
    if (file == nullptr)
    {
        why = why ? why : errno;
        ::close(fd);
        errno = why;
    }
    return file;
}

} // namespace

FILE* OpenRegularForReading(const std::string& path)
{
    // Without O_NONBLOCK a pipe nobody writes to would hold the open forever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    return fd < 0 ? nullptr : RegularStream(fd, "rb");
}

FILE* OpenRegularForWriting(const std::string& path, bool append)
{
    // O_TRUNC leaves pipes and devices alone, so nothing is emptied before
    // the type is known but a regular file that would be emptied anyway.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC |
                                            (append ? O_APPEND : O_TRUNC),
                          0666);
    return fd < 0 ? nullptr : RegularStream(fd, append ? "ab" : "wb");
}

FILE* OpenReplacement(const std::string& temp)
{
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    return OpenDescriptor(fd, temp);
}

bool CommitReplacement(FILE* file, bool written, const std::string& temp, const std::string& path)
{
    bool ok = written && std::fflush(file) == 0 && ::fsync(fileno(file)) == 0;
    int why = errno;
    if (std::fclose(file) != 0 && ok)
    {
        ok = false;
        why = errno;
    }
    if (ok && std::rename(temp.c_str(), path.c_str()) == 0)
    {
        SyncFolderOf(path);
        return true;
    }
    if (ok)
        why = errno;
    ::unlink(temp.c_str());
    errno = why;
    return false;
}

std::string FollowLinks(std::string path)
{
    // The kernel's own limit on links in one lookup; a loop ends here too.
    for (int hops = 0; hops < 40; ++hops)
    {
        struct stat info
        {
        };
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return path;
        char target[PATH_MAX];
        const ssize_t length = ::readlink(path.c_str(), target, sizeof target - 1);
        if (length <= 0)
            return path;
        target[length] = 0;
        const size_t slash = path.rfind('/');
        if (target[0] == '/' || slash == std::string::npos)
            path = target;
        else
            path = path.substr(0, slash + 1) + target;
    }
    return path;
}

FILE* OpenReplacementOf(const std::string& path, std::string* temp)
{
    struct stat old
    {
    };
    const bool exists = ::stat(path.c_str(), &old) == 0;
    mode_t mode = 0;
    if (exists)
    {
        if (!S_ISREG(old.st_mode))
        {
            errno = S_ISDIR(old.st_mode) ? EISDIR : EINVAL;
            return nullptr;
        }
        const int probe = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (probe < 0)
            return nullptr;
        ::close(probe);
        mode = old.st_mode & 0777;
    }
    else
    {
        // mkstemp makes its file 0600; a new file gets what creating it
        // under its own name would have given it.
        mode = 0666 & ~CurrentUmask();
    }
    std::string name = path + ".XXXXXX";
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    *temp = name;
    ::fchmod(fd, mode);
    if (exists && (old.st_uid != ::geteuid() || old.st_gid != ::getegid()))
        (void)!::fchown(fd, old.st_uid, old.st_gid);
    return OpenDescriptor(fd, *temp);
}

} // namespace platform
