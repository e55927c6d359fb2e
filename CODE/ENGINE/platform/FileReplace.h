#pragma once
// Replacing a file in one step: the new bytes go to a file beside it, and a
// rename swaps them in only once all of them are on disk, so a full disk or a
// crash midway leaves the old copy. The save files and the registry's file
// both keep the player's data this way.
#include "platform/FileWalk.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace platform
{

// The opens below reach `path` through the walk of FileWalk.h, so a link
// that another user planted on the way is refused (EACCES) and a path of any
// length is reached.

// Opens `path` for reading without waiting on it. Opening a named pipe
// blocks until someone writes to it, and a device may never end, so anything
// but a regular file is refused: errno is then EISDIR for a folder, EINVAL
// for the rest. Null with errno on failure.
FILE* OpenRegularForReading(const std::string& path);

// Opens `path` for writing without waiting on it, emptied first or appended
// to, created when missing (0600, whatever the umask); refused as
// OpenRegularForReading refuses. A named pipe with no reader fails at once
// instead of holding the open.
FILE* OpenRegularForWriting(const std::string& path, bool append);

// Opens the existing `path` for reading and writing where it is, neither
// emptied nor created, and refused as OpenRegularForReading refuses. A
// descriptor, or -1 with errno.
int OpenRegularForUpdate(const std::string& path);

// The file a name finally stands for once every symbolic link on it is
// followed, whether or not that file exists yet. A file kept as a link to a
// file elsewhere is then replaced where it really lives, and the link stays.
// A link that the opens here would refuse is not followed: the name then
// still holds it, so opening the result is refused the same way. A name
// with no link on it comes back unchanged.
std::string FollowLinks(std::string path);

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

    // Creates the replacement of `path` (whose links are already followed),
    // "<path>.XXXXXX". A new file is 0600 whatever the umask; the replacement
    // of an existing one keeps its permissions and, where allowed, its owner.
    // Refused (false, errno set) when `path` exists and is not a plain file
    // the caller may write: writing in place would fail there, and the rename
    // must not get past the file's own permissions.
    bool Open(const std::string& path);
    FILE* File() const { return file_; }
    // The replacement's whole name, and the folder it was made in with its
    // name there (what a signal handler needs to remove it).
    const std::string& Name() const { return temp_; }
    int Folder() const { return folder_.Get(); }
    const std::string& NameInFolder() const { return tempName_; }

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
    std::string temp_;
};

// Whether `name` has the shape of a replacement's name of the file named
// `base` (in the same folder): base, a dot and six letters or digits. A
// person may name a file of their own so too, so the shape alone never says
// that a file is a leftover to remove.
bool IsReplacementName(std::string_view name, std::string_view base);

} // namespace platform
