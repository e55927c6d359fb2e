#include "platform/files/NamedMutex.h"

#include "platform/files/FileWalk.h"
#include "platform/files/OShell.h"
#include "platform/files/OwnLock.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <sys/stat.h>
#include <unistd.h>

namespace platform
{

namespace
{

// A folder that only this user can change, so no one else can replace or
// hold its lock files; reached through the walk, so a link another user
// planted on the way is not followed. With `narrow`, a folder of this user's
// that others may reach is made 0700. Empty result when it is one; else why
// not.
std::string PrivateFolderProblem(const std::string& folder, bool narrow = false)
{
    const Descriptor fd(OpenFolderWalked(folder));
    struct stat info
    {
    };
    if (fd.Get() < 0)
        return errno == ENOTDIR || errno == ELOOP ? "not a folder" : std::strerror(errno);
    if (::fstat(fd.Get(), &info) != 0)
        return std::strerror(errno);
    if (info.st_uid != ::geteuid())
        return "owned by another user";
    // Judged as it is after narrowing: some file systems report a mode
    // change they did not make.
    if (narrow && (info.st_mode & 077) != 0 && ::fchmod(fd.Get(), 0700) == 0 && ::fstat(fd.Get(), &info) != 0)
        return std::strerror(errno);
    if (OthersMayWrite(fd.Get(), info))
        return "writable by other users";
    if (::faccessat(fd.Get(), ".", W_OK | X_OK, AT_EACCESS) != 0)
        return std::strerror(errno);
    return {};
}

// The fallback under /tmp is made by whoever comes first; a folder of that
// name made by someone else is refused rather than used.
std::string MakeTmpFolder(const std::string& folder)
{
    if (!MakeFolderWalked(folder) && errno != ENOTDIR)
        return std::strerror(errno);
    return PrivateFolderProblem(folder, true);
}

} // namespace

NamedMutex::~NamedMutex()
{
    Close();
}

namespace
{

// The folders a lock file may live in, best first: $XDG_RUNTIME_DIR, the
// user's folder under /tmp (made when it comes to that), the data home.
constexpr int kRuntimeCandidates = 3;

// Candidate `index`: its path in *folder (empty when there is none to try),
// and an empty result when it is a folder of this user's that no one else
// may change; else why not.
std::string RuntimeCandidate(int index, std::string* folder)
{
    folder->clear();
    if (index == 0)
    {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (!runtime || !runtime[0])
            return {};
        *folder = runtime;
        return runtime[0] == '/' ? PrivateFolderProblem(runtime) : "XDG_RUNTIME_DIR is not an absolute path";
    }
    if (index == 1)
    {
        const char* tmpdir = std::getenv("TMPDIR");
        *folder = std::string(tmpdir && tmpdir[0] == '/' ? tmpdir : "/tmp") + "/zorblet-" +
                  std::to_string(::geteuid());
        return MakeTmpFolder(*folder);
    }
    *folder = XdgFolder("XDG_DATA_HOME", ".local/share");
    if (folder->empty() || !EnsureFolderTree(*folder))
    {
        *folder = "data home";
        return "neither XDG_DATA_HOME nor HOME names a usable folder";
    }
    return PrivateFolderProblem(*folder);
}

} // namespace

std::string NamedMutex::GetRuntimeFolder(std::string* why)
{
    std::string problems, folder;
    for (int index = 0; index < kRuntimeCandidates; ++index)
    {
        const std::string problem = RuntimeCandidate(index, &folder);
        if (folder.empty())
            continue;
        if (problem.empty())
            return folder;
        problems += (problems.empty() ? "" : "; ") + folder + ": " + problem;
    }
    if (why)
        *why = problems;
    return {};
}

NamedMutex::Result NamedMutex::Create(const char* name, const char* sharedFolder)
{
    Close();
    notes_.clear();
    problem_.clear();
    name_.clear();
    if (!name || !name[0] || std::strchr(name, '/'))
    {
        problem_ = "the lock has no usable name";
        return Result::Failed;
    }
    name_ = name;
    // The first candidate folder whose lock file is a plain file of this
    // user's, or can be made so. Whatever else stands at a lock file's name
    // (another user's file from before the folder was made private, a pipe)
    // is left as it is, and the next folder serves.
    std::string folder;
    int fd = -1;
    for (int index = 0; index < kRuntimeCandidates && fd < 0; ++index)
    {
        std::string problem = RuntimeCandidate(index, &folder);
        if (folder.empty())
            continue;
        if (problem.empty())
        {
            const std::string path = folder + "/" + name_ + ".lock";
            fd = OpenOwnLockFile(path);
            if (fd >= 0)
                break;
            problem = "the lock file \"" + path + "\" cannot be opened: " + std::strerror(errno);
        }
        Note(folder, problem);
    }
    if (fd >= 0)
    {
        const std::string path = folder + "/" + name_ + ".lock";
        switch (TakeLock(fd, 0))
        {
        case LockResult::Taken:
            fd_ = fd;
            break;
        case LockResult::Busy:
            ::close(fd);
            return Result::AlreadyExists;
        case LockResult::Failed:
            Note(folder, "the lock file \"" + path + "\" cannot be locked: " + std::strerror(errno));
            ::close(fd);
            break;
        }
    }
    if (sharedFolder && sharedFolder[0])
    {
        // Only a copy of this user's can hold a lock file of this user's, so
        // a busy one is a second copy. Anything else says nothing about
        // other copies, and the runtime lock still keeps them apart.
        if (Hold(sharedFolder) == Result::AlreadyExists)
            return Result::AlreadyExists;
    }
    return Holds() ? Result::Created : Result::Failed;
}

NamedMutex::Result NamedMutex::Hold(const std::string& folder, std::string* why)
{
    auto fail = [&](const std::string& problem)
    {
        Note(folder, problem);
        if (why)
            *why = problem;
        return Result::Failed;
    };
    if (name_.empty() || folder.empty() || sharedFd_ >= 0)
        return fail(sharedFd_ >= 0 ? "a records lock is held already" : "the lock has no usable name");
    // Without the runtime lock, this lock file alone keeps the copies
    // apart: only in a folder no one else may change is it one that no
    // other user can replace.
    if (fd_ < 0)
    {
        if (const std::string problem = PrivateFolderProblem(folder); !problem.empty())
            return fail(problem);
    }
    const std::string path = folder + "/" + name_ + ".lock";
    const int fd = OpenOwnLockFile(path);
    if (fd < 0)
        return fail("the lock file \"" + path + "\" cannot be opened: " + std::strerror(errno));
    switch (TakeLock(fd, 0))
    {
    case LockResult::Taken:
        sharedFd_ = fd;
        return Result::Created;
    case LockResult::Busy:
        ::close(fd);
        Close();
        return Result::AlreadyExists;
    case LockResult::Failed:
        break;
    }
    const int error = errno;
    ::close(fd);
    return fail("the lock file \"" + path + "\" cannot be locked: " + std::strerror(error));
}

void NamedMutex::Note(const std::string& folder, const std::string& problem)
{
    notes_ += (notes_.empty() ? "" : "; ") + folder + ": " + problem;
    problem_ = "no folder for the lock file could be used (" + notes_ + ")";
}

void NamedMutex::Close()
{
    for (int* held : {&fd_, &sharedFd_})
    {
        if (*held >= 0)
        {
            ::close(*held);
            *held = -1;
        }
    }
}

} // namespace platform
