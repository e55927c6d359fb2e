#pragma once
// Replacing a file in one step: the new bytes go to a file beside it, and a
// rename swaps them in only once all of them are on disk, so a full disk or a
// crash midway leaves the old copy. The save files and the registry's file
// both keep the player's data this way.
#include "platform/files/FileWalk.h"

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

namespace platform
{

// The opens below reach `path` by the rule of FileWalk.h: a link or folder
// that fails it on the way is refused, and only a plain file of the player's
// is taken; anything else at the name is left as it is.

// Opens `path` for reading without waiting on it. A named pipe or a device at
// the name would block or never end, so anything but a plain file of the
// player's is refused: errno is then EISDIR for a folder, EINVAL for the rest
// that is not a plain file, EPERM for another user's file. A link of the
// player's at the name is followed. Null with errno on failure.
FILE* OpenRegularForReading(const std::string& path);

// Opens `path` for writing where it stands, emptied first or appended to,
// created when missing (0600, whatever the umask); refused as
// OpenRegularForReading refuses, and EMLINK for a file with a second name.
// An existing file is narrowed to 0600 at most.
FILE* OpenRegularForWriting(const std::string& path, bool append);

// Opens the existing `path` for reading and writing where it is, neither
// emptied nor created, and refused as OpenRegularForWriting refuses. A
// descriptor, or -1 with errno.
int OpenRegularForUpdate(const std::string& path);

// The new copy of a file under way: written beside it under a name of this
// writer's own, so that writers of the same file never take each other's,
// and renamed over it only once every byte is on disk.
class Replacement
{
public:
    Replacement() = default;
    // An unfinished replacement is closed and removed.
    ~Replacement();
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;

    // Told of a replacement's name before it is made, and of the replacement
    // once it exists.
    struct Hooks
    {
        // The folder and the name the replacement is about to take.
        std::function<void(int folder, const std::string& name)> naming;
        // The folder and the name once the file exists; the name stays valid
        // until the replacement ends.
        std::function<void(int folder, const char* name)> made;
    };
    // Creates the replacement of `path`, "<name>.XXXXXX" beside the file the
    // name finally stands for once the links the walk follows are followed
    // (a file kept as a link to a file elsewhere is replaced where it really
    // lives, and the link stays). A new file is 0600 whatever the umask; the
    // replacement of an existing one keeps its mode, never more than 0600,
    // and its group. Refused (false, errno set) when `path` exists and is
    // not a plain file of the player's that they may write: writing in place
    // would fail there, and the rename must not get past the file's own
    // permissions.
    bool Open(const std::string& path, const Hooks& hooks);
    bool Open(const std::string& path) { return Open(path, Hooks{}); }
    FILE* File() const { return file_; }

    // Ends it: when `written`, flushes the file to disk, closes it, renames
    // it over the file in the folder it was made in and syncs that folder.
    // Otherwise, or when any of that fails, closes and removes it and leaves
    // the file as it was; errno then says why. True when the file now holds
    // the new bytes.
    bool Commit(bool written);

private:
    void Abandon();

    FILE* file_ = nullptr;
    Descriptor folder_;
    std::string name_;     // the file's name in folder_
    std::string tempName_; // the replacement's name in folder_
};

// Whether `name` has the shape of a replacement's name of the file named
// `base` (in the same folder): base, a dot and six letters or digits. A
// person may name a file of their own so too, so the shape alone never says
// that a file is a leftover to remove.
bool IsReplacementName(std::string_view name, std::string_view base);

} // namespace platform
