#include "platform/files/OShell.h"

#include "platform/files/FileWalk.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <pwd.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

int SystemMajorVersion()
{
    utsname name{};
    if (::uname(&name) != 0)
        return 0;
    return std::atoi(name.release);
}

bool IsPlainComponent(const char* name)
{
    return name && name[0] && std::strchr(name, '/') == nullptr && std::strcmp(name, ".") != 0 &&
           std::strcmp(name, "..") != 0;
}

} // namespace

namespace platform
{

// Creates every missing folder of an absolute path, as the shell's folder
// creation does for the data home itself (~/.local/share may not exist yet).
bool EnsureFolderTree(const std::string& path, std::string* refused)
{
    return MakeFolderWalked(path, true, refused);
}

bool MakeOwnFolder(const std::string& path, std::string* why, bool make)
{
    // The walk judges the folder and everything on its way; a refusal is
    // told in its own words, naming what it refused.
    std::string refused;
    auto fail = [&](const char* problem, int error)
    {
        if (why)
            *why = !refused.empty() ? refused
                                    : "\"" + path + "\" " + problem +
                                          (error == EPERM ? "" : std::string(": ") + std::strerror(error));
        errno = error;
        return false;
    };
    if (make && !MakeFolderWalked(path, false, &refused))
        return fail("cannot be made", errno);
    const Descriptor folder(OpenFolderWalked(path, &refused));
    struct stat info
    {
    };
    if (!make && folder.Get() < 0 && errno == ENOENT)
        return true;
    if (folder.Get() < 0 || ::fstat(folder.Get(), &info) != 0)
        return fail("cannot be opened", errno);
    // One of the player's that others may write would let them plant files
    // and folders of their own in it. Narrowing it keeps them out from now
    // on; what they put there before is judged by the walk like anything
    // else of theirs.
    // Narrowing also empties an ACL's mask, so the users it names lose
    // their write with the group. It is judged again afterwards: some file
    // systems report a mode change they did not make.
    if (OthersMayWrite(folder.Get(), info) &&
        (::fchmod(folder.Get(), 0700) != 0 || ::fstat(folder.Get(), &info) != 0 ||
         OthersMayWrite(folder.Get(), info)))
        return fail("is writable by other users and cannot be made the player's alone", EPERM);
    return true;
}

std::string MakeOwnFolders(const std::string& home, std::initializer_list<const char*> names,
                           std::string* why)
{
    std::string refused;
    if (!EnsureFolderTree(home, &refused))
    {
        if (why)
            *why = !refused.empty() ? refused : "\"" + home + "\" cannot be made: " + std::strerror(errno);
        return {};
    }
    std::string path = home;
    for (const char* name : names)
    {
        path += "/";
        path += name;
        if (!MakeOwnFolder(path, why))
            return {};
    }
    return path;
}

std::string XdgFolder(const char* variable, const char* fallback)
{
    const char* xdg = std::getenv(variable);
    // Relative values are to be ignored, so a stray setting cannot move the
    // players' records into whatever the current folder is.
    if (xdg && xdg[0] == '/')
        return xdg;
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/')
    {
        const passwd* entry = ::getpwuid(::getuid());
        home = entry ? entry->pw_dir : nullptr;
    }
    if (!home || home[0] != '/')
        return {};
    return std::string(home) + "/" + fallback;
}

} // namespace platform

namespace platform
{

std::string AppDataFolder(const char* vendor, const char* product, i16 minMajor, std::string* why)
{
    if (SystemMajorVersion() < minMajor || !IsPlainComponent(vendor) || !IsPlainComponent(product))
        return {};
    const std::string home = XdgFolder("XDG_DATA_HOME", ".local/share");
    if (home.empty())
        return {};
    return MakeOwnFolders(home, {vendor, product}, why);
}

} // namespace platform

u32 GetAppDataFolder(char* out, const char* vendor, const char* product, i16 minMajor)
{
    if (!out)
        return 0;
    const std::string path = platform::AppDataFolder(vendor, product, minMajor);
    if (path.empty() || path.size() >= MAX_PATH_LENGTH)
        return 0;
    std::memcpy(out, path.c_str(), path.size() + 1);
    return 1;
}

bool GetProgramDir(char* out, const char* fileName)
{
    if (!out)
        return false;
    char exe[MAX_PATH_LENGTH];
    ssize_t length = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (length <= 0)
        return false;
    exe[length] = 0;
    char* slash = std::strrchr(exe, '/');
    if (!slash)
        return false;
    slash[1] = 0;
    std::string path = std::string(exe) + (fileName ? fileName : "");
    if (path.size() >= MAX_PATH_LENGTH)
        return false;
    std::memcpy(out, path.c_str(), path.size() + 1);
    return true;
}

const char* GetProgramDir(const char* fileName)
{
    // Window thread only, like every caller of the module.
    static char path[MAX_PATH_LENGTH];
    return GetProgramDir(path, fileName) ? path : nullptr;
}

bool OpenWithShell(const char* document)
{
    if (!document || !document[0])
        return false;
    // The document goes to the opener as one argument, never through a
    // shell, so no character in its name can run anything.
    // A name starting with '-' would be read as an option of the opener.
    std::string argument = document[0] == '-' ? std::string("./") + document : std::string(document);
    char opener[] = "xdg-open";
    char* argv[] = {opener, argument.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    // Signals this program ignores would stay ignored in the opener and in
    // whatever it starts; they get their usual actions back.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGXFSZ);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    int result = ::posix_spawnp(&pid, opener, &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0)
        return false;
    // Some openers run the program in the foreground, so the window thread
    // does not wait; openers started earlier are reaped here instead.
    static pid_t started[8];
    for (pid_t& earlier : started)
    {
        if (earlier > 0 && ::waitpid(earlier, nullptr, WNOHANG) != 0)
            earlier = 0;
    }
    for (pid_t& slot : started)
    {
        if (slot == 0)
        {
            slot = pid;
            break;
        }
    }
    return true;
}
