#include "platform/NamedMutex.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform
{

NamedMutex::~NamedMutex()
{
    Close();
}

std::string NamedMutex::GetRuntimeFolder()
{
    const char* dir = std::getenv("XDG_RUNTIME_DIR");
    if (dir && dir[0] == '/')
        return dir;
    return "/tmp";
}

NamedMutex::Result NamedMutex::Create(const char* name)
{
    Close();
    if (!name || !name[0])
        return Result::Failed;
    std::string path = GetRuntimeFolder() + "/" + name + ".lock";
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return Result::Failed;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
    {
        int error = errno;
        ::close(fd);
        return error == EWOULDBLOCK ? Result::AlreadyExists : Result::Failed;
    }
    fd_ = fd;
    return Result::Created;
}

void NamedMutex::Close()
{
    if (fd_ >= 0)
    {
        ::close(fd_);
        fd_ = -1;
    }
}

} // namespace platform
