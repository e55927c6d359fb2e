#include "platform/FileReplace.h"

#include <cerrno>
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

} // namespace

FILE* OpenRegularForReading(const std::string& path)
{
    // Without O_NONBLOCK a pipe nobody writes to would hold the open forever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
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
    FILE* file = why == 0 ? ::fdopen(fd, "rb") : nullptr;
    if (file == nullptr)
    {
        why = why ? why : errno;
        ::close(fd);
        errno = why;
    }
    return file;
}

FILE* OpenReplacement(const std::string& temp)
{
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
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

} // namespace platform
