#pragma once
// Replacing a file in one step: the new bytes go to a file beside it, and a
// rename swaps them in only once all of them are on disk, so a full disk or a
// crash midway leaves the old copy. The save files and the registry's file
// both keep the player's data this way.
#include <cstdio>
#include <string>
#include <string_view>

namespace platform
{

// The opens below walk the name one folder at a time. In a folder that
// someone other than the player or root may change (writable by group or
// others, or owned by another user), a link is followed only when it is the
// player's or root's; any other is refused with EACCES, like a file the
// player may not read, and nothing it leads to is touched.

// Opens `path` for reading without waiting on it. Opening a named pipe
// blocks until someone writes to it, and a device may never end, so anything
// but a regular file is refused: errno is then EISDIR for a folder, EINVAL
// for the rest. Null with errno on failure.
FILE* OpenRegularForReading(const std::string& path);

// Opens `path` for writing without waiting on it, emptied first or appended
// to, created when missing; refused as OpenRegularForReading refuses. A named
// pipe with no reader fails at once instead of holding the open.
FILE* OpenRegularForWriting(const std::string& path, bool append);

// Opens the existing `path` for reading and writing where it is, neither
// emptied nor created, and refused as OpenRegularForReading refuses. A
// descriptor, or -1 with errno.
int OpenRegularForUpdate(const std::string& path);

// Creates (or empties) the replacement file `temp` for writing, without
// following a link planted at that name. Null with errno on failure.
FILE* OpenReplacement(const std::string& temp);

// Ends a replacement: when `written`, flushes `file` to disk, closes it,
// renames `temp` over `path` and syncs the folder. Otherwise, or when any of
// that fails, closes and removes `temp` and leaves `path` as it was; errno
// then says why. True when `path` now holds the new bytes.
bool CommitReplacement(FILE* file, bool written, const std::string& temp, const std::string& path);

// The file a name finally stands for once every symbolic link on it is
// followed, whether or not that file exists yet. A file kept as a link to a
// file elsewhere is then replaced where it really lives, and the link stays.
// A link that the opens here would refuse is not followed: the name then
// still holds it, so opening the result is refused the same way. A name
// with no link on it comes back unchanged.
std::string FollowLinks(std::string path);

// Creates the replacement of `path` (whose links are already followed) under
// a name of this caller's own beside it, so that writers of the same file
// never take each other's replacement; *temp receives that name. The new file
// keeps the old one's permissions and, where allowed, its owner. Refused
// (null, errno set) when `path` exists and is not a plain file the caller may
// write: writing in place would fail there, and the rename must not get past
// the file's own permissions.
FILE* OpenReplacementOf(const std::string& path, std::string* temp);

// Whether `name` is one that OpenReplacementOf gives a replacement of the
// file named `base` (in the same folder): base, a dot and six letters or
// digits. Such a file left behind is what a writer killed midway leaves.
bool IsReplacementName(std::string_view name, std::string_view base);

} // namespace platform
