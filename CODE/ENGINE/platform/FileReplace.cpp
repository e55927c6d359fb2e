#include "platform/FileReplace.h"

#include "platform/FileWalk.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <string_view>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace platform
{

namespace
{

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
    const int flags = O_WRONLY | O_NONBLOCK | (append ? O_APPEND : O_TRUNC);
    for (;;)
    {
        // A file this makes is the player's alone, whatever the umask; one
        // that is there keeps its mode.
        const int made = OpenWalked(path, flags | O_CREAT | O_EXCL, 0600);
        if (made >= 0)
        {
            ::fchmod(made, 0600);
            return RegularStream(made, append ? "ab" : "wb");
        }
        if (errno != EEXIST)
            return nullptr;
        const int fd = OpenWalked(path, flags, 0);
        if (fd >= 0 || errno != ENOENT)
            return RegularStream(fd, append ? "ab" : "wb");
        // Removed between the two opens: made afresh.
    }
}

int OpenRegularForUpdate(const std::string& path)
{
    return RegularDescriptor(OpenWalked(path, O_RDWR | O_NONBLOCK, 0));
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

Replacement::~Replacement()
{
    Abandon();
}

void Replacement::Abandon()
{
    if (file_ == nullptr)
        return;
    std::fclose(file_);
    file_ = nullptr;
    ::unlinkat(folder_.Get(), tempName_.c_str(), 0);
}

bool Replacement::Open(const std::string& path)
{
    Abandon();
    // The replacement goes beside the name itself; what the name leads to
    // says what the new file must look like.
    Walk here = WalkPath(path, false);
    const Walk there = here.error == 0 ? WalkPath(path, true) : Walk{};
    const int walkError = here.error != 0 ? here.error : there.error;
    if (walkError != 0)
    {
        errno = walkError;
        return false;
    }
    struct stat old
    {
    };
    const bool exists = ::fstatat(there.folder.Get(), there.name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
    if (!exists && errno != ENOENT)
        return false;
    if (exists)
    {
        if (!S_ISREG(old.st_mode))
        {
            errno = S_ISDIR(old.st_mode) ? EISDIR : S_ISLNK(old.st_mode) ? ELOOP : EINVAL;
            return false;
        }
        const int probe = ::openat(there.folder.Get(), there.name.c_str(),
                                   O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
        if (probe < 0)
            return false;
        ::close(probe);
    }
    std::string suffix;
    const int fd = MakeTemporary(here.folder.Get(), here.name, &suffix);
    if (fd < 0)
        return false;
    folder_ = std::move(here.folder);
    name_ = here.name;
    tempName_ = here.name + suffix;
    temp_ = path + suffix;
    // A new file is the player's alone, whatever the umask; a replacement
    // keeps the old file's mode, never more, and where allowed its owner.
    ::fchmod(fd, exists ? old.st_mode & 0777 : 0600);
    if (exists && (old.st_uid != ::geteuid() || old.st_gid != ::getegid()))
        (void)!::fchown(fd, old.st_uid, old.st_gid);
    file_ = ::fdopen(fd, "wb");
    if (file_ == nullptr)
    {
        const int why = errno;
        ::close(fd);
        ::unlinkat(folder_.Get(), tempName_.c_str(), 0);
        errno = why;
        return false;
    }
    return true;
}

bool Replacement::Commit(bool written)
{
    if (file_ == nullptr)
    {
        errno = EBADF;
        return false;
    }
    bool ok = written && std::fflush(file_) == 0 && ::fsync(fileno(file_)) == 0;
    int why = errno;
    if (std::fclose(file_) != 0 && ok)
    {
        ok = false;
        why = errno;
    }
    file_ = nullptr;
    // Renamed and removed in the folder it was made in, never by the whole
    // path again: a link swapped in on the way since cannot redirect it, and
    // a path of any length works.
    if (ok && ::renameat(folder_.Get(), tempName_.c_str(), folder_.Get(), name_.c_str()) == 0)
    {
        // The rename is only durable once the folder is on disk too.
        const Descriptor folder(::openat(folder_.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (folder.Get() >= 0)
            ::fsync(folder.Get());
        return true;
    }
    if (ok)
        why = errno;
    ::unlinkat(folder_.Get(), tempName_.c_str(), 0);
    errno = why;
    return false;
}

} // namespace platform
