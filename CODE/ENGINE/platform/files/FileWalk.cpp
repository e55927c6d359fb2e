#include "platform/files/FileWalk.h"

#include "platform/files/OShell.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <initializer_list>
#include <map>
#include <mutex>
#include <pwd.h>
#include <set>
#include <string_view>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

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

// Which rule a name on the way is judged by.
enum class Zone
{
    Plain, // on a path outside the homes
    Above, // the home of the game's folders, a folder above it, or a folder a trusted link leads through
    Game   // the game's own folders and what is in them
};

struct Step
{
    std::string name;
    Zone zone;
};

bool IsPlayersOrRoots(uid_t owner)
{
    return owner == ::geteuid() || owner == 0;
}

// Whether a link found in `folder` may be followed. Anyone who may add or
// rename names in a folder can plant a link there that leads to a file of the
// player's, and the game would then write that file under the name of its
// own. In the game's folders only a link of the player's or root's is
// followed, whatever the folder's mode now. Elsewhere, a link of someone
// else's is followed only in a folder that no one but the player or root may
// change. The kernel's protected-symlinks rule judges sticky folders alike,
// but only those, and only where it is switched on.
bool MayFollow(Zone zone, int folder, const struct stat& link)
{
    if (IsPlayersOrRoots(link.st_uid))
        return true;
    struct stat where
    {
    };
    if (zone == Zone::Game || ::fstat(folder, &where) != 0)
        return false;
    return !OthersMayWrite(folder, where) && IsPlayersOrRoots(where.st_uid);
}

// Whether the folder `fd`, reached in `zone`, may be walked through or used.
Refusal JudgeFolder(Zone zone, int fd, const struct stat& info)
{
    switch (zone)
    {
    case Zone::Plain:
        return Refusal::None;
    case Zone::Above:
        return HomeFolderRefusal(fd, info);
    case Zone::Game:
        return info.st_uid == ::geteuid() ? Refusal::None : Refusal::OthersFolder;
    }
    return Refusal::None;
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

// How much of `path` is the data or the config home it lies in (the longer,
// when one holds the other); npos when it lies in neither.
size_t HomeLength(const std::string& path)
{
    size_t found = std::string::npos;
    for (auto [variable, fallback] :
         {std::pair{"XDG_DATA_HOME", ".local/share"}, {"XDG_CONFIG_HOME", ".config"}})
    {
        std::string home = XdgFolder(variable, fallback);
        while (home.size() > 1 && home.back() == '/')
            home.pop_back();
        if (home.empty() || path.compare(0, home.size(), home) != 0)
            continue;
        const bool inside = path.size() == home.size() || path[home.size()] == '/' || home == "/";
        if (inside && (found == std::string::npos || home.size() > found))
            found = home.size();
    }
    return found;
}

// The steps of `path`, each with the rule it is judged by.
std::deque<Step> StepsOf(const std::string& path)
{
    std::deque<Step> steps;
    const size_t home = HomeLength(path);
    const std::string_view all(path);
    for (std::string& name : NamesOf(home == std::string::npos ? all : all.substr(0, home)))
        steps.push_back({std::move(name), home == std::string::npos ? Zone::Plain : Zone::Above});
    if (home != std::string::npos)
    {
        for (std::string& name : NamesOf(all.substr(home)))
            steps.push_back({std::move(name), Zone::Game});
    }
    return steps;
}

// Following a link is what the kernel allows on one lookup, so a loop ends too.
constexpr int kMaxLinks = 40;

// Whether the folder `name` in `folder`, still the one `made` describes,
// can serve as it was made: the player's, with full access for them, and
// no one else may write it. Others reading it is all a file system that
// keeps modes of its own gives every folder on it.
bool UsableAsMade(int folder, const std::string& name, const struct stat& made)
{
    if (made.st_uid != ::geteuid() || (made.st_mode & S_IRWXU) != S_IRWXU)
        return false;
    const Descriptor at(::openat(folder, name.c_str(), O_PATH | O_NOFOLLOW | O_DIRECTORY | O_CLOEXEC));
    struct stat now
    {
    };
    return at.Get() >= 0 && ::fstat(at.Get(), &now) == 0 && now.st_dev == made.st_dev &&
           now.st_ino == made.st_ino && !OthersMayWrite(at.Get(), now);
}

// Makes the folder `name` in `folder` (0700 whatever the umask) when it is
// missing; 0 when a folder stands there now, else the errno. One made with
// another mode (a umask, a default ACL or the file system's own) is given
// 0700; when that fails, or the file system keeps its own mode all the
// same, it is kept only when it can serve as made, and otherwise removed
// again (*problem then says why): it would lock the player out of it, and
// every other program out of what it should have held, or let others in.
int MakeFolderIn(int folder, const std::string& name, ModeProblem* problem = nullptr)
{
    if (::mkdirat(folder, name.c_str(), 0700) == 0)
    {
        struct stat made
        {
        }, where{};
        if (::fstatat(folder, name.c_str(), &made, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(made.st_mode) ||
            (made.st_mode & 07777) == 0700)
            return 0;
        ModeProblem why;
        if (SetModeIn(folder, name, made, 0700))
        {
            // Some file systems report success and keep a mode of their own.
            struct stat now
            {
            };
            if (::fstatat(folder, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 ||
                now.st_ino != made.st_ino || (now.st_mode & 07777) == 0700)
                return 0;
            made = now;
        }
        else
        {
            why.error = errno;
            why.openFolder =
                ::fstat(folder, &where) == 0 && HomeFolderRefusal(folder, where) != Refusal::None;
        }
        why.made = made.st_mode & 07777;
        if (UsableAsMade(folder, name, made))
            return 0;
        struct stat still
        {
        };
        // Only the very folder made, and only while it is still the
        // player's: it may stand where others may write.
        if (::fstatat(folder, name.c_str(), &still, AT_SYMLINK_NOFOLLOW) == 0 &&
            still.st_uid == ::geteuid() && still.st_dev == made.st_dev && still.st_ino == made.st_ino)
            ::unlinkat(folder, name.c_str(), AT_REMOVEDIR);
        why.removed = true;
        if (problem)
            *problem = why;
        return why.error ? why.error : EPERM;
    }
    const int why = errno;
    struct stat info
    {
    };
    if (why != EEXIST || ::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return why == EEXIST ? errno : why;
    return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

// The tries an open makes when what it found at a name is gone, or replaced,
// by the time it opens it: another process of the player's at work there.
constexpr int kOpenAttempts = 3;

} // namespace

Walk WalkPath(const std::string& path, bool followLast, bool makeFolders)
{
    Walk walk;
    std::deque<Step> steps = StepsOf(path);
    const bool absolute = !path.empty() && path[0] == '/';
    // Built by push_back and assign(1, '/'): assigning "/" trips a false
    // -Wrestrict of GCC 12 at -O3.
    if (absolute)
        walk.text.push_back('/');
    walk.folder.Reset(::open(absolute ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (walk.folder.Get() < 0 || steps.empty())
    {
        walk.error = walk.folder.Get() < 0 ? errno : ENOENT;
        return walk;
    }
    auto fail = [&](int error)
    {
        for (const Step& step : steps)
            walk.unread.push_back(step.name);
        walk.error = error;
        return std::move(walk);
    };
    auto refuse = [&](Refusal refusal, const std::string& at)
    {
        walk.refusal = refusal;
        walk.refusedAt = at;
        return fail(refusal == Refusal::OthersLink || refusal == Refusal::NoMode ? EACCES : EPERM);
    };
    // The root itself is the first folder above a home.
    struct stat info
    {
    };
    if (absolute && steps.front().zone != Zone::Plain &&
        (::fstat(walk.folder.Get(), &info) != 0 ||
         JudgeFolder(Zone::Above, walk.folder.Get(), info) != Refusal::None))
        return refuse(Refusal::OthersFolder, "/");
    int links = 0;
    while (!steps.empty())
    {
        const std::string name = steps.front().name;
        const Zone zone = steps.front().zone;
        const bool last = steps.size() == 1;
        Descriptor at(::openat(walk.folder.Get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (at.Get() < 0 && !last && errno == ENOENT && makeFolders)
        {
            ModeProblem problem;
            if (const int error = MakeFolderIn(walk.folder.Get(), name, &problem))
            {
                walk.mode = problem;
                return problem.removed ? refuse(Refusal::NoMode, walk.text + name) : fail(error);
            }
            at.Reset(::openat(walk.folder.Get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        }
        if (at.Get() < 0 && last && errno == ENOENT)
        {
            walk.name = name; // a file yet to be made
            return walk;
        }
        if (at.Get() < 0 || ::fstat(at.Get(), &info) != 0)
            return fail(errno);
        if (S_ISLNK(info.st_mode) && (followLast || !last))
        {
            if (!MayFollow(zone, walk.folder.Get(), info))
                return refuse(Refusal::OthersLink, walk.text + name);
            if (++links > kMaxLinks)
                return fail(ELOOP);
            // The link that was judged is the one read: its descriptor is
            // the link itself, not a name someone could replace meanwhile.
            std::string target(static_cast<size_t>(info.st_size > 0 ? info.st_size : PATH_MAX) + 1, '\0');
            const ssize_t length = ::readlinkat(at.Get(), "", target.data(), target.size());
            if (length <= 0 || static_cast<size_t>(length) >= target.size())
                return fail(length == 0 ? ENOENT : length < 0 ? errno : ENAMETOOLONG);
            target.resize(static_cast<size_t>(length));
            // The folders a trusted link leads through are the player's
            // choice, judged as folders above the game's are; what it finally
            // names stands in the link's place and is judged as the link's
            // name would be.
            std::deque<std::string> leads = NamesOf(target);
            steps.pop_front();
            for (size_t i = leads.size(); i-- > 0;)
            {
                const bool standsIn = i + 1 == leads.size();
                steps.push_front({std::move(leads[i]), standsIn || zone == Zone::Plain ? zone : Zone::Above});
            }
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
        if (S_ISDIR(info.st_mode))
        {
            if (Refusal refusal = JudgeFolder(zone, at.Get(), info); refusal != Refusal::None)
                return refuse(refusal, walk.text + name);
        }
        if (last)
        {
            walk.name = name;
            return walk;
        }
        if (!S_ISDIR(info.st_mode))
            return fail(ENOTDIR);
        steps.pop_front();
        walk.folder = std::move(at);
        walk.text += name + "/";
    }
    return walk;
}

std::string DescribeRefusal(const Walk& walk)
{
    if (walk.refusal != Refusal::NoMode)
        return DescribeRefusal(walk.refusal, walk.refusedAt);
    const ModeProblem& mode = walk.mode;
    char made[8];
    std::snprintf(made, sizeof made, "%04o", static_cast<unsigned>(mode.made));
    const std::string how =
        (mode.made & S_IRWXU) != S_IRWXU ? "without full access for its owner" : "open to other users";
    const std::string why =
        mode.openFolder ? "it stands in a folder others may change, where no mode is set by name"
        : mode.error    ? std::string("the file system refused mode 0700 (") + std::strerror(mode.error) + ")"
                        : "the file system kept that mode when given 0700";
    return "\"" + walk.refusedAt + "\" was made with mode " + made + ", " + how + ", and " + why +
           ", so it was removed again";
}

std::string DescribeRefusal(Refusal refusal, const std::string& name)
{
    const std::string at = "\"" + name + "\"";
    switch (refusal)
    {
    case Refusal::None:
        return {};
    case Refusal::OthersLink:
        return at + " is a link another user put there";
    case Refusal::OthersFolder:
        return at + " belongs to another user";
    case Refusal::OpenFolder:
        return at + " may be written by other users and has no sticky bit";
    case Refusal::NoMode:
        return at + " could not be given mode 0700, so it was removed again";
    }
    return {};
}

int OpenFolderWalked(const std::string& path, std::string* refused)
{
    const Walk walk = WalkPath(path, true);
    if (walk.error != 0)
    {
        if (refused)
            *refused = DescribeRefusal(walk);
        errno = walk.error;
        return -1;
    }
    return ::openat(walk.folder.Get(), walk.name.c_str(),
                    O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
}

bool MakeFolderWalked(const std::string& path, bool parents, std::string* refused)
{
    Walk walk = WalkPath(path, true, parents);
    if (walk.error == 0)
    {
        walk.error = MakeFolderIn(walk.folder.Get(), walk.name, &walk.mode);
        if (walk.mode.removed)
            walk.refusal = Refusal::NoMode, walk.refusedAt = walk.text + walk.name;
    }
    if (walk.error != 0)
    {
        if (refused)
            *refused = DescribeRefusal(walk);
        errno = walk.error;
        return false;
    }
    return true;
}

int OwnFileProblem(const struct stat& info, unsigned use)
{
    if (S_ISLNK(info.st_mode))
        return ELOOP;
    if (!S_ISREG(info.st_mode))
        return S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    // Another user's file, their own or one hard-linked in, is theirs to
    // change or read back; the game neither writes nor believes it.
    if (info.st_uid != ::geteuid())
        return EPERM;
    // A second name makes it some other file of the player's as well, one
    // whose contents and mode must not change under the game's name.
    if ((use & (kInPlace | kLockFile)) != 0 && info.st_nlink != 1)
        return EMLINK;
    return 0;
}

namespace
{

// Who may write a folder through its group: the users whose primary group
// it is and the names in its member list, looked up once per group.
struct GroupMembers
{
    bool known = false;
    bool strangers = false; // a listed name the user database does not know
    std::set<uid_t> users;
};

bool GroupHasOtherMember(gid_t gid, uid_t owner)
{
    static std::mutex lock;
    static std::map<gid_t, GroupMembers> looked;
    const std::lock_guard<std::mutex> held(lock);
    auto [at, fresh] = looked.try_emplace(gid);
    GroupMembers& members = at->second;
    if (fresh)
    {
        if (const group* entry = ::getgrgid(gid))
        {
            members.known = true;
            std::vector<std::string> names;
            for (char** name = entry->gr_mem; name && *name; ++name)
                names.emplace_back(*name);
            for (const std::string& name : names)
            {
                const passwd* user = ::getpwnam(name.c_str());
                if (user)
                    members.users.insert(user->pw_uid);
                else
                    members.strangers = true;
            }
            ::setpwent();
            while (const passwd* user = ::getpwent())
                if (user->pw_gid == gid)
                    members.users.insert(user->pw_uid);
            ::endpwent();
        }
    }
    if (!members.known || members.strangers)
        return true;
    return std::any_of(members.users.begin(), members.users.end(), [&](uid_t user) { return user != owner; });
}

} // namespace

namespace
{

// The access ACL's entries that grant through the group class (its mask):
// a named user, a named group, and the mask itself.
constexpr uint16_t kAclNamedUser = 0x02, kAclNamedGroup = 0x08, kAclMask = 0x10;

// Whether the folder carries an access ACL beyond its mode bits, one naming
// users or groups: their write, whoever they are, is the group class's write
// bit. One that cannot be read counts as such. Read from the kernel's own
// attribute through the folder itself, never through /proc.
bool HasExtendedAcl(int folder)
{
    // A minimal ACL is the mode itself and is not stored; one of a handful of
    // entries already tells. A longer one (ERANGE) names someone.
    unsigned char acl[4 + 8 * 16];
    ssize_t size = ::fgetxattr(folder, "system.posix_acl_access", acl, sizeof acl);
    if (size < 0 && errno == EBADF)
    {
        // An O_PATH descriptor reads no attribute: the folder opened anew
        // through it is the same folder.
        const Descriptor opened(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_NOCTTY | O_CLOEXEC));
        if (opened.Get() < 0)
            return true;
        size = ::fgetxattr(opened.Get(), "system.posix_acl_access", acl, sizeof acl);
    }
    if (size < 0)
        return errno != ENODATA && errno != EOPNOTSUPP;
    // Version 2, then entries of a 16-bit tag, 16-bit permissions and a
    // 32-bit id, little-endian.
    if (size < 4 || (size - 4) % 8 != 0 || acl[0] != 2 || acl[1] != 0 || acl[2] != 0 || acl[3] != 0)
        return true;
    for (ssize_t at = 4; at < size; at += 8)
    {
        const auto tag = static_cast<uint16_t>(acl[at] | acl[at + 1] << 8);
        if (tag == kAclNamedUser || tag == kAclNamedGroup || tag == kAclMask)
            return true;
    }
    return false;
}

} // namespace

bool OthersMayWrite(int folder, const struct stat& info)
{
    if ((info.st_mode & S_IWOTH) != 0)
        return true;
    if ((info.st_mode & S_IWGRP) == 0)
        return false;
    // With an ACL that names anyone, the group bits are its mask: whoever it
    // names may write, however private the group is.
    return HasExtendedAcl(folder) || GroupHasOtherMember(info.st_gid, info.st_uid);
}

Refusal HomeFolderRefusal(int folder, const struct stat& info)
{
    // Whoever may rename names in it could move the game's folders away;
    // the sticky bit leaves that to their owner.
    if (!IsPlayersOrRoots(info.st_uid))
        return Refusal::OthersFolder;
    return OthersMayWrite(folder, info) && (info.st_mode & S_ISVTX) == 0 ? Refusal::OpenFolder
                                                                         : Refusal::None;
}

bool SetModeIn(int folder, const std::string& name, const struct stat& was, mode_t mode)
{
    // Only where no one else may swap another file in under the name, as the
    // change goes by name: a descriptor that has no access to its file
    // cannot change its mode without /proc.
    struct stat where
    {
    }, now{};
    if (::fstat(folder, &where) != 0)
        return false;
    if (HomeFolderRefusal(folder, where) != Refusal::None)
    {
        errno = EPERM;
        return false;
    }
    if (::fstatat(folder, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    if (S_ISLNK(now.st_mode) || now.st_dev != was.st_dev || now.st_ino != was.st_ino)
    {
        errno = EAGAIN;
        return false;
    }
    return ::fchmodat(folder, name.c_str(), mode, 0) == 0;
}

int OpenOwnFile(const std::string& path, int access, unsigned use, Descriptor* folder)
{
    int why = ENOENT;
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt)
    {
        Walk walk = WalkPath(path, (use & kFollowLink) != 0);
        if (walk.error != 0)
        {
            errno = walk.error;
            return -1;
        }
        const int in = walk.folder.Get();
        const char* name = walk.name.c_str();
        // Looked at before it is opened: opening a device may act on it,
        // and another user's pipe would learn of the open.
        const Descriptor at(::openat(in, name, O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (at.Get() < 0)
        {
            if (errno != ENOENT || (use & (kCreate | kLockFile)) == 0)
                return -1;
            const int made =
                ::openat(in, name, access | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
            if (made < 0 && errno == EEXIST)
                continue; // made by another process meanwhile: judged as found
            if (made < 0)
                return -1;
            // The player's alone, whatever the umask.
            ::fchmod(made, 0600);
            if (folder)
                *folder = std::move(walk.folder);
            return made;
        }
        struct stat found
        {
        };
        if (::fstat(at.Get(), &found) != 0)
            return -1;
        if (int problem = OwnFileProblem(found, use))
        {
            errno = problem;
            return -1;
        }
        // A lock file of the player's that even they cannot open (left so by
        // a umask that took the owner's bits) is theirs to mend.
        if ((use & kLockFile) != 0 && (found.st_mode & 07777) != 0600)
            SetModeIn(in, walk.name, found, 0600);
        // O_NONBLOCK: should a pipe be swapped in after the look, the open
        // does not wait on it, and the check below refuses it.
        const int fd = ::openat(in, name, access | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
        {
            if (errno != ENOENT && errno != ELOOP)
                return -1;
            why = errno;
            continue;
        }
        struct stat opened
        {
        };
        if (::fstat(fd, &opened) == 0 && opened.st_dev == found.st_dev && opened.st_ino == found.st_ino &&
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0)
        {
            // What the game writes where it stands is the player's alone;
            // narrowed only once it is open, so a refusal changes nothing.
            if ((use & kInPlace) != 0 && (found.st_mode & 07177) != 0)
                ::fchmod(fd, found.st_mode & 0600);
            if (folder)
                *folder = std::move(walk.folder);
            return fd;
        }
        ::close(fd);
        why = EAGAIN;
    }
    errno = why;
    return -1;
}

} // namespace platform
