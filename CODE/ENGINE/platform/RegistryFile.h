#pragma once
// The file that keeps the registry's user branch, "<config home>/Quenvo/
// ZORBLET/registry", and the lock that keeps its writers apart; for the
// registry's own use.
//
// The text: "ZORBLET registry 1", then one line per key ("K <path>", the root
// being "K \") followed by one line per value ("V <type> <name> <hex
// bytes>"). Names keep printable ASCII and write every other byte, and '%',
// as %XX; an empty name is "%", empty data "-". Lines that cannot be read are
// skipped, and so are keys deeper than kMaxDepth with their values.
#include "platform/RegistryKey.h"

#include <memory>
#include <string>

namespace platform::registry
{

// The file's path; empty when no home folder can be found.
std::string UserFile();

std::string Serialise(const Key& root);
// Adds what text holds to the tree below root. Takes time in proportion to
// the text.
void Parse(const std::string& text, const std::shared_ptr<Key>& root);

enum class FileState
{
    Read,
    Missing,
    // The file exists but cannot be read: its keys are unknown, so it must
    // not be written over.
    Unreadable,
    // The file is longer than kMaxWholeFileLength: no registry the calls
    // write grows so long, so it is not read, and not written over either.
    TooLarge
};

// Reads the file into a new tree, empty unless the file was Read.
FileState ReadUserFile(const std::string& file, std::shared_ptr<Key>* root);

class UserFileLock;
// Whether the file's folder is another user's, which the registry does not
// use: reads then see no file, and changes are refused.
bool UserFolderIsOthers(const std::string& file);
// Replaces the file in one step, so that a failed write leaves the old one.
// A file kept behind a link is replaced where the link leads; a file the
// player may not write, or a folder of another user's, is refused
// (ERROR_ACCESS_DENIED). ERROR_WRITE_FAULT when it cannot be written. The
// replacement's name is noted in `lock` (when given) while it exists.
i32 WriteUserFile(const std::string& file, const Key& root, UserFileLock* lock = nullptr);

// Held around each change to the file, so that reading the file again,
// changing it and writing it happen while no other process does the same,
// and none writes back a copy that misses another's change. The lock is
// "registry.lock" beside the file, a file of the player's own that no other
// user can open, let alone hold.
class UserFileLock
{
public:
    UserFileLock() = default;
    UserFileLock(const UserFileLock&) = delete;
    UserFileLock& operator=(const UserFileLock&) = delete;
    ~UserFileLock();

    // Takes the lock of `file`, waiting a few seconds at most, and then
    // removes the replacement that a writer killed midway left, as its note
    // in the lock file names it.
    // ERROR_LOCK_VIOLATION when another process held it for the whole wait;
    // ERROR_ACCESS_DENIED when something that is not a plain file of the
    // player's own stands at the lock's name, or the folder is another
    // user's. Where no lock file can be made
    // (a folder that takes no files) or the file system cannot lock, the
    // change goes on unlocked: no other process can hold the lock either.
    i32 Take(const std::string& file);
    // Notes in the lock file the whole name of the replacement that exists
    // while this holder writes (empty: none). Lost where the lock file cannot
    // be written, so such a leftover stays.
    void Note(const std::string& replacement);

    // Whether Take looked at the file's folder, and what it found: the
    // failure a write there would meet, or ERROR_SUCCESS.
    bool FolderChecked() const { return folder_ >= 0; }
    i32 FolderResult() const { return folder_; }

private:
    int fd_ = -1;
    i32 folder_ = -1;
};

} // namespace platform::registry
