#pragma once
// Reaching the player's files and folders one name at a time. Every step
// that makes, opens, locks, lists or removes something under the game's
// folders goes through the walk below, so that one rule on links holds for
// all of them: in a folder that someone other than the player or root may
// change (writable by group or others, or owned by another user), a link is
// followed only when it is the player's or root's. Any other is refused with
// EACCES, like a file the player may not read, and nothing it leads to is
// touched. The walk also reaches paths longer than the system's limit on one
// name lookup.
#include <deque>
#include <string>
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
};

// Walks `path`; a link at its last name is followed only when followLast.
// With makeFolders, a missing folder on the way is made (0700 whatever the
// umask).
Walk WalkPath(const std::string& path, bool followLast, bool makeFolders = false);

// Opens what `path` leads to (O_NOFOLLOW, O_NOCTTY and O_CLOEXEC added), every
// link on the way judged as above. -1 with errno on failure; EACCES for a
// link that is not followed.
int OpenWalked(const std::string& path, int flags, mode_t mode);

// Makes the folder `path` with mode 0700 whatever the umask, when it is
// missing, and with `parents` the missing folders on its way too, in the
// same walk. True when a folder stands there now (one reached through a link
// that the walk follows counts); errno says why not.
bool MakeFolderWalked(const std::string& path, bool parents = false);

} // namespace platform
