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
#include "platform/files/FileWalk.h"
#include "platform/files/RegistryKey.h"

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

// Reads the file into a new tree, empty unless the file was Read. *why (when
// given) says in plain words why a file was Unreadable or TooLarge.
FileState ReadUserFile(const std::string& file, std::shared_ptr<Key>* root, std::string* why = nullptr);

// Returns `result`, the answer to a change of the file that was refused or
// failed, having said so on stderr the first time in the process only,
// naming the file and `why` in plain words: that the registry cannot be used
// when every later change will meet the same (`lasting`), else that this
// change could not be made.
i32 RefuseChange(const std::string& file, i32 result, const std::string& why, bool lasting = true);
// Lets the next refusal be told, as in a new process.
void TellRefusalsAgain();

class UserFileLock;
// Replaces the file in one step, so that a failed write leaves the old one.
// A file kept behind a link of the player's is replaced where the link
// leads; a file or folder that fails the rule of FileWalk.h, or a file the
// player may not write, is refused (ERROR_ACCESS_DENIED), and so is a tree
// whose text would be longer than a read takes (ERROR_FILE_TOO_LARGE).
// ERROR_WRITE_FAULT when it cannot be written. Each failure is told as
// RefuseChange says. The replacement's name is noted in `lock` (when given)
// before the replacement is made, and for as long as it exists.
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
    // user's; each told as RefuseChange says. Where no lock file can be made
    // (a folder that takes no files) or the file system cannot lock, the
    // change goes on unlocked: no other process can hold the lock either.
    i32 Take(const std::string& file);
    // Notes in the lock file the bare name of the replacement that is about
    // to be made in `folder` and exists while this holder writes; a folder
    // of -1 takes the note back. Only a replacement in the registry's own
    // folder is noted. Lost where the lock file cannot be written, so such a
    // leftover stays.
    void Note(int folder, const std::string& name);

    // Whether Take looked at the file's folder, and what it found: the
    // failure a write there would meet, or ERROR_SUCCESS.
    bool FolderChecked() const { return folderResult_ >= 0; }
    i32 FolderResult() const { return folderResult_; }

private:
    int fd_ = -1;
    Descriptor folder_; // the registry's folder, where the lock file lies
    i32 folderResult_ = -1;
};

} // namespace platform::registry
