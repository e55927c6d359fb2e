#include "platform/files/FileReplace.h"

#include "platform/files/FileWalk.h"

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

// A stdio stream on fd, which it then owns; null with errno (fd closed) when
// there is none.
FILE* StreamOf(int fd, const char* mode)
{
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

// The tries at a replacement's name before giving up: with 62^6 names, a
// clash a hundred times running means something else is wrong.
constexpr int kNameAttempts = 100;

// A fresh suffix for a replacement's name: a dot and six letters or digits.
std::string TemporarySuffix()
{
    constexpr std::uint64_t kLetterCount = sizeof kTemporaryLetters - 1;
    std::uint64_t bits = RandomBits();
    std::string suffix = ".";
    for (size_t i = 0; i < kTemporaryLength; ++i, bits /= kLetterCount)
        suffix += kTemporaryLetters[bits % kLetterCount];
    return suffix;
}

} // namespace

FILE* OpenRegularForReading(const std::string& path)
{
    return StreamOf(OpenOwnFile(path, O_RDONLY, kFollowLink), "rb");
}

FILE* OpenRegularForWriting(const std::string& path, bool append)
{
    const int fd = OpenOwnFile(path, O_WRONLY | (append ? O_APPEND : 0), kFollowLink | kCreate | kInPlace);
    // Emptied only now that it is known to be the player's own plain file.
    if (fd >= 0 && !append && ::ftruncate(fd, 0) != 0)
    {
        const int why = errno;
        ::close(fd);
        errno = why;
        return nullptr;
    }
    return StreamOf(fd, append ? "ab" : "wb");
}

int OpenRegularForUpdate(const std::string& path)
{
    return OpenOwnFile(path, O_RDWR, kFollowLink | kInPlace);
}

bool IsReplacementName(std::string_view name, std::string_view base)
{
    constexpr std::string_view kLetters = kTemporaryLetters;
    return name.size() == base.size() + 1 + kTemporaryLength && name.substr(0, base.size()) == base &&
           name[base.size()] == '.' &&
           name.find_first_not_of(kLetters, base.size() + 1) == std::string_view::npos;
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

bool Replacement::Open(const std::string& path, const Hooks& hooks)
{
    Abandon();
    // The replacement goes beside the file the name stands for.
    Walk there = WalkPath(path, true);
    if (there.error != 0)
    {
        errno = there.error;
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
        if (int problem = OwnFileProblem(old, 0))
        {
            errno = problem;
            return false;
        }
        const int probe = ::openat(there.folder.Get(), there.name.c_str(),
                                   O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
        if (probe < 0)
            return false;
        ::close(probe);
    }
    folder_ = std::move(there.folder);
    name_ = there.name;
    int fd = -1;
    for (int attempt = 0; attempt < kNameAttempts && fd < 0; ++attempt)
    {
        tempName_ = name_ + TemporarySuffix();
        // Told first, so that whoever must know of the file knows of it
        // before it exists: a writer killed the moment after leaves nothing
        // unknown behind.
        if (hooks.naming)
            hooks.naming(folder_.Get(), tempName_);
        // Never an existing name, never through a link: made here, or not at all.
        fd = ::openat(folder_.Get(), tempName_.c_str(),
                      O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
    {
        const int why = errno;
        tempName_.clear();
        errno = why;
        return false;
    }
    if (hooks.made)
        hooks.made(folder_.Get(), tempName_.c_str());
    // A new file is the player's alone, whatever the umask; a replacement
    // keeps the old file's mode, never more, and its group.
    ::fchmod(fd, exists ? old.st_mode & 0600 : 0600);
    if (exists && old.st_gid != ::getegid())
        (void)!::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
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
