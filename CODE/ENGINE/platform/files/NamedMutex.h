#pragma once
// A process-wide named mutex that tells a second copy of the program that a
// first one runs. It is a lock file "<name>.lock" held with flock, so the
// kernel releases it when the process dies, however it dies: a file left by
// a killed copy never blocks the next start.
//
// The lock belongs to the user: other users on the same machine neither see
// it nor can take it away. It lives in the first usable of
//   - $XDG_RUNTIME_DIR, when it is an absolute folder of this user that no
//     one else may write;
//   - /tmp/zorblet-<uid> ($TMPDIR in place of /tmp when it is absolute),
//     made with mode 0700 when missing, used only when it is a real folder
//     owned by this user (its mode is then narrowed to 0700);
//   - the data home ($XDG_DATA_HOME or ~/.local/share), made when missing.
// Which of them is used depends on the environment, so a copy started with
// another XDG_RUNTIME_DIR would find the name free. What the lock protects
// is the player's records, so a second lock file, "<name>.lock" in the
// folder that holds them, is taken as well: two copies that would write the
// same records exclude each other whatever their environment. Both are
// files of the player's own, 0600 and reached without a link, which no other
// user can open and so none can hold: a lock on a folder, or on a file others
// may read, would let anyone who can reach it stop the game from starting.
#include "core/Types.h"

#include <string>

namespace platform
{

class NamedMutex
{
public:
    enum class Result
    {
        Created,       // this process holds the name
        AlreadyExists, // another process holds it
        Failed         // the lock file could not be made or locked
    };

    NamedMutex() = default;
    ~NamedMutex();
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    // Takes the lock file "<name>.lock" of this user's in the first usable
    // runtime folder. Failed when none can be used or locked: that alone
    // does not stop a start, when Hold then takes the lock of the player's
    // records in a folder no one else may change. sharedFolder, when given,
    // is held as Hold says, except that a lock file there that cannot be
    // taken is passed over while the runtime lock is held; AlreadyExists
    // when either is held by another process.
    Result Create(const char* name, const char* sharedFolder = nullptr);
    // Takes "<name>.lock" (the name given to Create) in `folder` as well:
    // the lock of what one running copy must keep to itself. Only a copy of
    // this user's can hold a lock file of this user's, so AlreadyExists is a
    // second copy (all locks are then let go). Failed, with the reason
    // noted, when the file cannot be made or locked (another user's file or
    // a link at its name, a folder the player may not write, a file system
    // without locks), or when no runtime lock is held and the folder is not
    // the player's alone; *why (when given) then says why. At most one such
    // folder is held.
    Result Hold(const std::string& folder, std::string* why = nullptr);
    // Whether a lock file is held, in the runtime folder or by Hold.
    bool Holds() const { return fd_ >= 0 || sharedFd_ >= 0; }
    void Close();
    // What went wrong, in plain words (folders tried and why), once a lock
    // could not be taken.
    const std::string& GetProblem() const { return problem_; }
    // The folder the lock files live in, empty when none is usable; why
    // (when given) receives what made the others unusable.
    static std::string GetRuntimeFolder(std::string* why = nullptr);

private:
    int fd_ = -1;
    int sharedFd_ = -1;
    std::string name_;
    std::string notes_;
    std::string problem_;

    void Note(const std::string& folder, const std::string& problem);
};

} // namespace platform
