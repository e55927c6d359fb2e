#pragma once
// Reaching the player's files and folders one name at a time, and the one
// rule of trust that every step obeys. Every step that makes, opens, locks,
// reads, writes, renames or removes something of the game's goes through the
// walk below, so the rule is decided here and nowhere else:
//
//   - The game's folders are those below the data home or the config home
//     ($XDG_DATA_HOME, $XDG_CONFIG_HOME or their defaults): the first folder
//     there (the vendor's) and everything in it. Each must be the player's.
//     A link in them is followed only when the player or root owns it,
//     whatever the mode of the folder it stands in now: a folder made private
//     today may still hold what others put in it before.
//   - The home holding them and every folder above it must be root's or the
//     player's, and one that others may write must carry the sticky bit (as
//     /tmp does), so that nobody else can move the game's folders away and
//     put their own in their place. A folder's group counts as others only
//     when someone besides the folder's owner is in it (a user whose primary
//     group it is, or a name in its member list), so the private group each
//     user has on many systems does not; a group the user database does not
//     know counts as others. That allowance holds only for a folder without
//     an access ACL naming users or groups: with one (or one that cannot be
//     read), the group class's write bit is the ACL's mask, and counts as
//     others.
//   - Elsewhere (and above the game's folders), a link is followed only when
//     it is the player's or root's, or stands in a folder that no one but the
//     player or root may change.
//   - A file is used only when it is a plain file of the player's; one that
//     is written where it stands must have no other name.
//
// Anything that fails the rule is refused and left exactly as it is. The
// walk also reaches paths longer than the system's limit on one lookup. No
// mode is set through /proc: a mode is set by name, only in a folder that no
// one else may change (HomeFolderRefusal), so nothing can be swapped in.
//
// The files of this folder, each a step that obeys the rule:
//   FileWalk     the walk, the rule, folders made and opened, own files opened
//   FileReplace  a file replaced whole through a new copy beside it
//   OwnLock      lock files only the player can hold
//   NamedMutex   the single-instance lock (runtime folder, records folder)
//   OShell       the data and config homes and the game's folders in them
//   Registry, RegistryFile, RegistryKey   the registry kept in the config home
#include <deque>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <utility>

namespace platform
{

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
    // Gives the descriptor up without closing it.
    int Release() { return std::exchange(fd_, -1); }
    void Reset(int fd = -1);

private:
    int fd_ = -1;
};

// Why the walk refused a step by the rule above.
enum class Refusal
{
    None,
    OthersLink,   // a link that is not followed (errno EACCES)
    OthersFolder, // a folder of another user's where the player's must be (EPERM)
    OpenFolder,   // a folder others may write, without the sticky bit (EPERM)
    NoMode // a folder made that could not be given its mode and was unusable as made, removed again (EACCES)
};

// Whether anyone but the folder's owner may add, remove or rename names in
// it: others may write it, or its group class may and either the folder has
// an access ACL naming users or groups (or one that cannot be read), or its
// group has a member other than the owner (a group the user database does
// not know, or a listed member it does not know, counts as such). `folder`
// is a descriptor of the folder itself, O_PATH will do.
bool OthersMayWrite(int folder, const struct stat& info);

// How a folder that holds the game's folders is judged, or one the game
// keeps files in directly: it must be root's or the player's, and carry the
// sticky bit when others may write it. Refusal::None when it passes.
Refusal HomeFolderRefusal(int folder, const struct stat& info);

// Why a folder just made was removed again (Refusal::NoMode): the mode it
// came out with, and why it could not be given 0700.
struct ModeProblem
{
    bool removed = false; // a folder was made and removed again
    mode_t made = 0;
    int error = 0;           // the mode change's errno; 0 when it reported success and changed nothing
    bool openFolder = false; // it stands in a folder others may change, where no mode is set by name
};

// Where a path leads, walked one name at a time from "/" or the current
// folder, so that each link is judged in the folder it sits in, by the link
// that is then read: nothing can be swapped in between. Opens go through
// `folder` with O_NOFOLLOW, so a link planted at the last name after the walk
// makes them fail rather than follow it.
struct Walk
{
    Descriptor folder;              // the folder that holds `name` (an O_PATH descriptor)
    std::string name;               // the last name, missing or not a link that is followed
    std::string text;               // the folders walked, links replaced by where they lead, "/"-ended
    std::deque<std::string> unread; // on failure: the names not walked, the failing one first
    bool followedLink = false;
    int error = 0;
    Refusal refusal = Refusal::None;
    std::string refusedAt; // the refused link or folder, as walked
    ModeProblem mode;      // Refusal::NoMode: what the folder was made with, and why it kept that
};

// Walks `path`; a link at its last name is followed only when followLast.
// With makeFolders, a missing folder on the way is made (0700 whatever the
// umask, or kept as made, see MakeFolderWalked). A folder at the last name
// is judged like the folders on the way.
Walk WalkPath(const std::string& path, bool followLast, bool makeFolders = false);

// In plain words, what the walk refused and why ("\"<folder>\" belongs to
// another user"); empty when it refused nothing.
std::string DescribeRefusal(const Walk& walk);
// The same for a refusal of the folder or link `at`.
std::string DescribeRefusal(Refusal refusal, const std::string& at);

// Opens the folder `path` leads to (O_RDONLY | O_DIRECTORY), judged as above.
// -1 with errno on failure; *refused (when given) then holds the refusal in
// plain words, if the rule was the reason.
int OpenFolderWalked(const std::string& path, std::string* refused = nullptr);

// Makes the folder `path` with mode 0700 whatever the umask, when it is
// missing, and with `parents` the missing folders on its way too, in the
// same walk. True when a folder stands there now (one reached through a link
// that the walk follows counts); errno says why not, and *refused (when
// given) the refusal in plain words, if the rule was the reason. A folder
// made with another mode (a umask that takes the owner's bits, a default
// ACL, a file system that keeps modes of its own) that cannot be given 0700
// is kept as made when it is the player's, the player has full access and
// no one else may write it; otherwise it is removed again (NoMode).
bool MakeFolderWalked(const std::string& path, bool parents = false, std::string* refused = nullptr);

// How OpenOwnFile treats the file.
enum OwnFileUse : unsigned
{
    kFollowLink = 1, // a link at the last name is followed as the walk allows; else it fails (ELOOP)
    kCreate = 2,     // made when missing, 0600 whatever the umask
    kInPlace = 4,    // written where it stands: one name only (else EMLINK), narrowed to 0600 at most
    kLockFile = 8    // a lock file: one name only, and given mode 0600 whatever it had
};

// Why a file found at a name may not be used for `use` (a mask of
// OwnFileUse): 0 when it is a plain file of the player's (with one name
// where that is asked); else EISDIR for a folder, ELOOP for a link, EINVAL
// for anything else that is not a plain file, EPERM for another user's file,
// EMLINK for a file with other names.
int OwnFileProblem(const struct stat& info, unsigned use);

// Opens the player's own file `path` with `access` (O_RDONLY, O_WRONLY or
// O_RDWR, and O_APPEND), as `use` says, never waiting on what stands at the
// name: anything but a plain file of the player's is refused as
// OwnFileProblem says and left as it is, before it is opened. The descriptor
// is in blocking mode; -1 with errno on failure. *folder (when given)
// receives the folder the file was found or made in.
int OpenOwnFile(const std::string& path, int access, unsigned use, Descriptor* folder = nullptr);

// Sets the mode of `name` in `folder` while it is still the file or folder
// `was` (same device and inode, not a link): only in a folder that passes
// HomeFolderRefusal, so no one else can swap something in under the name
// (else EPERM). False with errno on failure.
bool SetModeIn(int folder, const std::string& name, const struct stat& was, mode_t mode);

} // namespace platform
