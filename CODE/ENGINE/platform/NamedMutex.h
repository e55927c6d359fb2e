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

    // sharedFolder, when given, is the folder that every copy which could
    // clash with this one uses; the lock file "<name>.lock" of this user's
    // in it is taken too, and a copy that finds it held is told
    // AlreadyExists. One that cannot be taken at all (the name is another
    // user's file or a link, the folder is not writable, the file system
    // has no locks) does not stop the start: the lock file in the runtime
    // folder alone then keeps the copies apart. So players who share a
    // folder, such as the one they start in, never keep each other out.
    Result Create(const char* name, const char* sharedFolder = nullptr);
    void Close();
    // After Failed: what went wrong, in plain words (folders tried and why).
    const std::string& GetProblem() const { return problem_; }
    // The folder the lock files live in, empty when none is usable; why
    // (when given) receives what made the others unusable.
    static std::string GetRuntimeFolder(std::string* why = nullptr);

private:
    int fd_ = -1;
    int sharedFd_ = -1;
    std::string problem_;
};

} // namespace platform
