#include "platform/FileReplace.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <fcntl.h>
#if __has_include(<linux/openat2.h>)
#include <linux/openat2.h>
#endif
#include <string_view>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <utility>

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

// Closes the descriptor it holds when it goes.
class Descriptor
{
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { Reset(); }
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept
    {
        if (this != &other)
            Reset(std::exchange(other.fd_, -1));
        return *this;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }
    void Reset(int fd = -1)
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

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

// Where a path leads, walked one name at a time from "/" or the current
// folder, so that each link is judged in the folder it sits in, by the link
// that is then read: nothing can be swapped in between. Opens go through
// `folder` with O_NOFOLLOW, so a link planted at the last name after the walk
// makes them fail rather than follow it.
struct Walk
{
    Descriptor folder;              // the folder that holds `name`
    std::string name;               // the last name, missing or not a link that is followed
    std::string text;               // the folders walked, links replaced by where they lead, "/"-ended
    std::deque<std::string> unread; // on failure: the names not walked, the failing one first
    bool followedLink = false;
    int error = 0;
};

// Following a link is what the kernel allows on one lookup, so a loop ends too.
constexpr int kMaxLinks = 40;

Walk WalkPath(const std::string& path, bool followLast)
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

// Opens what `path` leads to, every link on the way judged by MayFollow.
// -1 with errno on failure; EACCES for a link that is not followed.
int OpenWalked(const std::string& path, int flags, mode_t mode)
{
    flags |= O_NOFOLLOW | O_NOCTTY | O_CLOEXEC;
#if defined(SYS_openat2) && defined(RESOLVE_NO_SYMLINKS)
    // A name with no link on it, the usual case, is opened by the kernel in
    // one step; a link anywhere on it (ELOOP), or a kernel without this
    // call, leaves it to the walk.
    open_how how{};
    how.flags = static_cast<std::uint64_t>(flags);
    how.mode = (flags & O_CREAT) != 0 ? mode : 0;
    how.resolve = RESOLVE_NO_SYMLINKS;
    const long fd = ::syscall(SYS_openat2, AT_FDCWD, path.c_str(), &how, sizeof how);
    if (fd >= 0 || (errno != ELOOP && errno != ENOSYS && errno != EPERM && errno != E2BIG))
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

// Keeps an open descriptor when it names a regular file, back in blocking
// mode; closes it and sets errno otherwise (-1).
int RegularDescriptor(int fd)
{
    struct stat info
    {
    };
    int why = 0;
    if (fd < 0)
        return -1;
    if (::fstat(fd, &info) != 0)
        why = errno;
    else if (!S_ISREG(info.st_mode))
        why = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
        why = errno;
    if (why == 0)
        return fd;
    ::close(fd);
    errno = why;
    return -1;
}

// The same as a stdio stream.
FILE* RegularStream(int fd, const char* mode)
{
    fd = RegularDescriptor(fd);
    FILE* file = fd < 0 ? nullptr : ::fdopen(fd, mode);
    if (file == nullptr && fd >= 0)
    {
        const int why = errno;
        ::close(fd);
        errno = why;
    }
    return file;
}

std::uint64_t RandomBits()
{
    std::uint64_t bits = 0;
    if (::getrandom(&bits, sizeof bits, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof bits))
        return bits;
    // Without the kernel's generator the name is only less hard to guess;
    // O_EXCL still keeps it from being anyone else's file.
    static std::uint64_t counter = 0;
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return (static_cast<std::uint64_t>(now.tv_nsec) << 20) ^ static_cast<std::uint64_t>(now.tv_sec) ^
           (static_cast<std::uint64_t>(::getpid()) << 40) ^ (++counter * 0x9E3779B97F4A7C15ull);
}

// The suffix of a replacement's name: a dot and six of these.
constexpr char kTemporaryLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr size_t kTemporaryLength = 6;

// Makes "<name>.XXXXXX" in `folder` as mkostemp would (mode 0600, six
// letters or digits, never an existing name or a link); its suffix goes to
// *suffix.

int MakeTemporary(int folder, const std::string& name, std::string* suffix)
{
    constexpr const char* kLetters = kTemporaryLetters;
    constexpr std::uint64_t kLetterCount = sizeof kTemporaryLetters - 1;
    for (int attempt = 0; attempt < 100; ++attempt)
    {
        std::uint64_t bits = RandomBits();
        std::string candidate = ".";
        for (size_t i = 0; i < kTemporaryLength; ++i, bits /= kLetterCount)
            candidate += kLetters[bits % kLetterCount];
        const int fd = ::openat(folder, (name + candidate).c_str(),
                                O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
        if (fd >= 0)
        {
            *suffix = candidate;
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    errno = EEXIST;
    return -1;
}

} // namespace

FILE* OpenRegularForReading(const std::string& path)
{
    // Without O_NONBLOCK a pipe nobody writes to would hold the open forever.
    return RegularStream(OpenWalked(path, O_RDONLY | O_NONBLOCK, 0), "rb");
}

FILE* OpenRegularForWriting(const std::string& path, bool append)
{
    // O_TRUNC leaves pipes and devices alone, so nothing is emptied before
    // the type is known but a regular file that would be emptied anyway.
    const int fd = OpenWalked(path, O_WRONLY | O_CREAT | O_NONBLOCK | (append ? O_APPEND : O_TRUNC), 0666);
    return RegularStream(fd, append ? "ab" : "wb");
}

int OpenRegularForUpdate(const std::string& path)
{
    return RegularDescriptor(OpenWalked(path, O_RDWR | O_NONBLOCK, 0));
}

FILE* OpenReplacement(const std::string& temp)
{
    const Walk walk = WalkPath(temp, false);
    if (walk.error != 0)
    {
        errno = walk.error;
        return nullptr;
    }
    const int fd = ::openat(walk.folder.Get(), walk.name.c_str(),
                            O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
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

bool IsReplacementName(std::string_view name, std::string_view base)
{
    constexpr std::string_view kLetters = kTemporaryLetters;
    return name.size() == base.size() + 1 + kTemporaryLength && name.substr(0, base.size()) == base &&
           name[base.size()] == '.' &&
           name.find_first_not_of(kLetters, base.size() + 1) == std::string_view::npos;
}

std::string FollowLinks(std::string path)
{
    Walk walk = WalkPath(path, true);
    if (!walk.followedLink)
        return path;
    if (walk.error == 0)
        return walk.text + walk.name;
    // Stopped at a link that is not followed, or at a name that cannot be
    // reached: the rest is named as it stands, so an open of the result
    // meets the same refusal.
    std::string rest;
    for (const std::string& name : walk.unread)
        rest += (rest.empty() ? "" : "/") + name;
    return walk.text + rest;
}

FILE* OpenReplacementOf(const std::string& path, std::string* temp)
{
    // The replacement goes beside the name itself; what the name leads to
    // says what the new file must look like.
    const Walk here = WalkPath(path, false);
    const Walk there = here.error == 0 ? WalkPath(path, true) : Walk{};
    const int walkError = here.error != 0 ? here.error : there.error;
    if (walkError != 0)
    {
        errno = walkError;
        return nullptr;
    }
    struct stat old
    {
    };
    const bool exists = ::fstatat(there.folder.Get(), there.name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
    if (!exists && errno != ENOENT)
        return nullptr;
    mode_t mode = 0;
    if (exists)
    {
        if (!S_ISREG(old.st_mode))
        {
            errno = S_ISDIR(old.st_mode) ? EISDIR : S_ISLNK(old.st_mode) ? ELOOP : EINVAL;
            return nullptr;
        }
        const int probe = ::openat(there.folder.Get(), there.name.c_str(),
                                   O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
        if (probe < 0)
            return nullptr;
        ::close(probe);
        mode = old.st_mode & 0777;
    }
    else
    {
        // The temporary file is made 0600; a new file gets what creating it
        // under its own name would have given it.
        mode = 0666 & ~CurrentUmask();
    }
    std::string suffix;
    const int fd = MakeTemporary(here.folder.Get(), here.name, &suffix);
    if (fd < 0)
        return nullptr;
    *temp = path + suffix;
    ::fchmod(fd, mode);
    if (exists && (old.st_uid != ::geteuid() || old.st_gid != ::getegid()))
        (void)!::fchown(fd, old.st_uid, old.st_gid);
    return OpenDescriptor(fd, *temp);
}

} // namespace platform
