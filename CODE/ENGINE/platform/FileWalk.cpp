#include "platform/FileWalk.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <fcntl.h>
#if __has_include(<linux/openat2.h>)
#include <linux/openat2.h>
#endif
#include <string_view>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform
{

void Descriptor::Reset(int fd)
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

namespace
{

// Whether a link found in `folder` may be followed. Anyone who may add or
// rename names in a folder can plant a link there that leads to a file of
// the player's, and the game would then write that file under the name of
// its own. So in a folder that someone other than the player or root may
// change (writable by group or others, sticky or not, or owned by another
// user) only a link of the player's or root's is followed. The kernel's
// protected-symlinks rule judges sticky folders alike, but only those, and
// only where it is switched on.
bool MayFollow(int folder, const struct stat& link)
{
    const uid_t me = ::geteuid();
    if (link.st_uid == me || link.st_uid == 0)
        return true;
    struct stat where
    {
    };
    if (::fstat(folder, &where) != 0)
        return false;
    return (where.st_mode & (S_IWGRP | S_IWOTH)) == 0 && (where.st_uid == me || where.st_uid == 0);
}

// The names of a path in order; a path that ends in "/" or "." ends in the
// name ".", so that what it names has to be a folder.
std::deque<std::string> NamesOf(std::string_view path)
{
    std::deque<std::string> names;
    size_t start = 0;
    while (start <= path.size())
    {
        size_t end = path.find('/', start);
        if (end == std::string_view::npos)
            end = path.size();
        if (end > start)
            names.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    if (!path.empty() && path.back() == '/')
        names.emplace_back(".");
    return names;
}

// Following a link is what the kernel allows on one lookup, so a loop ends too.
constexpr int kMaxLinks = 40;

// Makes the folder `name` in `folder` (0700 whatever the umask) when it is
// missing; true when a folder stands there now.
bool MakeFolderIn(int folder, const std::string& name)
{
    if (::mkdirat(folder, name.c_str(), 0700) == 0)
    {
        // The umask may have taken more than the group's and others' bits.
        const Descriptor made(::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (made.Get() >= 0)
            ::fchmod(made.Get(), 0700);
        return true;
    }
    struct stat info
    {
    };
    if (errno != EEXIST || ::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    if (!S_ISDIR(info.st_mode))
    {
        errno = ENOTDIR;
        return false;
    }
    return true;
}

} // namespace

Walk WalkPath(const std::string& path, bool followLast, bool makeFolders)
{
    Walk walk;
    std::deque<std::string> names = NamesOf(path);
    const bool absolute = !path.empty() && path[0] == '/';
    // Built by push_back and assign(1, '/'): assigning "/" trips a false
    // -Wrestrict of GCC 12 at -O3.
    if (absolute)
        walk.text.push_back('/');
    walk.folder.Reset(::open(absolute ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (walk.folder.Get() < 0 || names.empty())
    {
        walk.error = walk.folder.Get() < 0 ? errno : ENOENT;
        return walk;
    }
    int links = 0;
    while (!names.empty())
    {
        const std::string name = std::move(names.front());
        names.pop_front();
        const bool last = names.empty();
        auto fail = [&](int error)
        {
            names.push_front(name);
            walk.unread = std::move(names);
            walk.error = error;
            return std::move(walk);
        };
        Descriptor at(::openat(walk.folder.Get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (at.Get() < 0 && !last && errno == ENOENT && makeFolders)
        {
            if (!MakeFolderIn(walk.folder.Get(), name))
                return fail(errno);
            at.Reset(::openat(walk.folder.Get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        }
        struct stat info
        {
        };
        if (at.Get() < 0 && last && errno == ENOENT)
        {
            walk.name = name; // a file yet to be made
            return walk;
        }
        if (at.Get() < 0 || ::fstat(at.Get(), &info) != 0)
            return fail(errno);
        if (S_ISLNK(info.st_mode) && (followLast || !last))
        {
            if (!MayFollow(walk.folder.Get(), info))
                return fail(EACCES);
            if (++links > kMaxLinks)
                return fail(ELOOP);
            // The link that was judged is the one read: its descriptor is
            // the link itself, not a name someone could replace meanwhile.
            std::string target(static_cast<size_t>(info.st_size > 0 ? info.st_size : PATH_MAX) + 1, '\0');
            const ssize_t length = ::readlinkat(at.Get(), "", target.data(), target.size());
            if (length <= 0 || static_cast<size_t>(length) >= target.size())
                return fail(length == 0 ? ENOENT : length < 0 ? errno : ENAMETOOLONG);
            target.resize(static_cast<size_t>(length));
            std::deque<std::string> leads = NamesOf(target);
            names.insert(names.begin(), leads.begin(), leads.end());
            if (target[0] == '/')
            {
                walk.folder.Reset(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
                walk.text.assign(1, '/');
                if (walk.folder.Get() < 0)
                    return fail(errno);
            }
            walk.followedLink = true;
            continue;
        }
        if (last)
        {
            walk.name = name;
            return walk;
        }
        if (!S_ISDIR(info.st_mode))
            return fail(ENOTDIR);
        walk.folder = std::move(at);
        walk.text += name + "/";
    }
    return walk;
}

int OpenWalked(const std::string& path, int flags, mode_t mode)
{
    flags |= O_NOFOLLOW | O_NOCTTY | O_CLOEXEC;
#if defined(SYS_openat2) && defined(RESOLVE_NO_SYMLINKS)
    // A name with no link on it, the usual case, is opened by the kernel in
    // one step; a link anywhere on it (ELOOP), a name longer than one lookup
    // takes (ENAMETOOLONG), or a kernel without this call, leaves it to the
    // walk.
    open_how how{};
    how.flags = static_cast<std::uint64_t>(flags);
    how.mode = (flags & O_CREAT) != 0 ? mode : 0;
    how.resolve = RESOLVE_NO_SYMLINKS;
    const long fd = ::syscall(SYS_openat2, AT_FDCWD, path.c_str(), &how, sizeof how);
    if (fd >= 0 ||
        (errno != ELOOP && errno != ENOSYS && errno != EPERM && errno != E2BIG && errno != ENAMETOOLONG))
        return static_cast<int>(fd);
#endif
    const Walk walk = WalkPath(path, true);
    if (walk.error != 0)
    {
        errno = walk.error;
        return -1;
    }
    return ::openat(walk.folder.Get(), walk.name.c_str(), flags, mode);
}

bool MakeFolderWalked(const std::string& path, bool parents)
{
    const Walk walk = WalkPath(path, true, parents);
    if (walk.error != 0)
    {
        errno = walk.error;
        return false;
    }
    return MakeFolderIn(walk.folder.Get(), walk.name);
}

} // namespace platform
