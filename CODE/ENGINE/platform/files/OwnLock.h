#pragma once
// Lock files that only this user can hold. Anyone who can open a file, or
// reach a folder, may flock it, so a lock on a shared folder or on a file
// another user can read lets that user stop the game. A lock file of the
// user's own, 0600 and reached without a link, can be held by this user's
// processes alone.
#include "platform/files/FileWalk.h"

#include <string>

namespace platform
{

// Opens the lock file `path` for locking, making it with mode 0600 when it is
// missing. Refused (-1, errno set) unless it is a plain file of this user's
// with no other name, at a name that is not a link (ELOOP; a link of the
// user's own is not followed either), as OpenOwnFile says (FileWalk.h),
// which also judges every folder on the way. A lock file of the user's with
// any other mode (others may read it, or a umask left it 0000) is given 0600.
// When `writable`, the file is opened for writing too where this user may
// write it (else for reading alone), so that a holder can leave a note in
// it. *folder (when given) receives the folder it lies in.
int OpenOwnLockFile(const std::string& path, bool writable = false, Descriptor* folder = nullptr);

enum class LockResult
{
    Taken, // this process now holds the lock
    Busy,  // another process held it for the whole wait
    Failed // the lock cannot be taken at all (errno says why)
};

// Takes an exclusive flock on fd, trying for at most waitMs milliseconds
// (0: one try). A holder that is stopped, or never lets go, costs the caller
// the wait and no more.
LockResult TakeLock(int fd, int waitMs);

} // namespace platform
