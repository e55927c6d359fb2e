// The real program started by the player while something odd stands at one
// of the places where the game keeps its things: a link, file, hard link or
// named pipe that another user planted there, or a mishap of the player's
// own; and in homes of every kind players have (private groups, no /proc,
// root with the player's home, a full disk, ACLs, a file system that keeps
// no folder modes). Whatever stands there, the game
// must start (or refuse with code 4 when the player's own link makes a lock
// unusable), close on SIGTERM, answer a registry change as the place allows,
// write nothing but 0600 files of its user's in folders of its user's, and
// leave the player's other files and every file of the other user's as they
// were. Each cell of a table gets a fresh tree, runs the same steps and
// faces the same checks.
#include "StartPack.h"
#include "platform/files/Registry.h"
#include "support/ChildProcess.h"
#include "support/ModelessFolders.h"
#include "support/PlatformFilesTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <grp.h>
#include <map>
#include <memory>
#include <pwd.h>
#include <sched.h>
#include <set>
#include <stdexcept>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>

namespace
{

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace platform;
using childtest::Player;
using Clock = std::chrono::steady_clock;

constexpr uid_t kStranger = 1; // the other user, uid and gid 1

// A cell that is not what it claims to be would prove nothing, so every
// step of making one must work.
void Must(bool ok, const std::string& what)
{
    if (!ok)
        throw std::runtime_error(what + ": " + std::strerror(errno));
}

void Own(const fs::path& p, uid_t uid)
{
    if (::geteuid() == 0)
        Must(::lchown(p.c_str(), uid, uid == kStranger ? kStranger : Player().gid) == 0,
             "lchown " + p.string());
}

void Folder(const fs::path& p, mode_t mode, uid_t uid)
{
    Must(::mkdir(p.c_str(), 0700) == 0 && ::chmod(p.c_str(), mode) == 0, "mkdir " + p.string());
    Own(p, uid);
}

void File(const fs::path& p, const std::string& bytes, mode_t mode, uid_t uid)
{
    std::ofstream(p, std::ios::binary) << bytes;
    Must(::chmod(p.c_str(), mode) == 0, "write " + p.string());
    Own(p, uid);
}

// --- The folders of one cell ---------------------------------------------------

struct Homes
{
    fs::path root, data, config, run, tmp, home, mine, theirs, cwd, runtimeLocks, said, program;
};

// The game's folders and the player's two records, in the data home (and
// the config home when `config`), each `open`.
void MakeGameFolders(const Homes& h, mode_t open, bool config = true)
{
    const uid_t me = Player().uid;
    for (const char* p : {"Quenvo", "Quenvo/ZORBLET", "Quenvo/ZORBLET/PROFILES", "Quenvo/ZORBLET/SAVES"})
        Folder(h.data / p, open, me);
    for (const char* p : {"Quenvo", "Quenvo/ZORBLET"})
        if (config)
            Folder(h.config / p, open, me);
    File(h.data / "Quenvo/ZORBLET/PROFILES/00000100.bin", std::string(1000, 'p'), 0600, me);
    File(h.data / "Quenvo/ZORBLET/PROFILES/00050000.bin", std::string(252, 'o'), 0600, me);
}

// Shared: the homes lie in folders everyone may write ($cell/shared, data,
// config and tmp: 1777, root's), and the player's game folders are 0777, so
// another user can plant things in them; as the runtime folder is open to
// all too, the runtime lock goes to tmp/zorblet-<uid>, also the player's and
// 0777. Private: everything lies in the player's home, 0700. Both: the
// player's own folder "mine", the other user's "theirs" (root only) and the
// current folder with the pack.
Homes MakeHomes(const fs::path& root, bool shared, bool gameFolders = true)
{
    const uid_t me = Player().uid;
    Homes h;
    h.root = root, h.home = root / "home", h.mine = root / "mine", h.theirs = root / "theirs";
    h.cwd = root / "cwd", h.said = root.string() + ".said"; // the program's output, beside the cell
    h.program = root.parent_path() / "zorblet";
    Folder(root, 0755, ::geteuid());
    Folder(h.home, 0700, me);
    const fs::path base = shared ? root / "shared" : h.home;
    h.data = base / "data", h.config = base / "config", h.tmp = base / "tmp";
    h.run = shared ? root / "run" : h.home / "run";
    h.runtimeLocks = shared ? h.tmp / ("zorblet-" + std::to_string(me)) : h.run;
    const mode_t open = shared ? 0777 : 0700;
    if (shared)
        for (const fs::path& p : {base, h.data, h.config, h.tmp})
            Folder(p, 01777, ::geteuid());
    for (const fs::path& p : {h.data, h.config, h.tmp, h.run, h.runtimeLocks})
        if (!fs::exists(p))
            Folder(p, open, me);
    if (gameFolders)
        MakeGameFolders(h, open);
    Folder(h.mine, 0755, me);
    File(h.mine / "notes.txt", "the player's notes\n", 0644, me);
    Folder(h.mine / "folder", 0755, me);
    File(h.mine / "folder/inside.txt", "kept in the player's folder\n", 0644, me);
    if (Player().asRoot)
    {
        Folder(h.theirs, 0755, kStranger);
        File(h.theirs / "secret", "the other user's secret\n", 0644, kStranger);
    }
    Folder(h.cwd, 0755, me);
    Folder(h.cwd / "800x600", 0755, me);
    std::string error;
    Must(WriteStartPack((h.cwd / "800x600").string(), &error), "pack " + error);
    for (const auto& entry : fs::recursive_directory_iterator(h.cwd))
        Own(entry.path(), me);
    return h;
}

// How the program and the registry change are run: the umask, as root (with
// the player's home) rather than as the player, without /proc, the
// variables that differ from the cell's ("" unsets one), and the file system
// that keeps no folder modes the program's data home lies on.
struct Run
{
    mode_t mask = 022;
    bool asRoot = false;
    bool noProc = false;
    std::vector<std::pair<const char*, std::string>> variables = {};
    std::shared_ptr<modeless::Stick> stick = {};
};

// Who runs the program: the player, or root.
Player Runner(const Run& run)
{
    Player p;
    if (run.asRoot)
        p.uid = 0, p.gid = 0;
    return p;
}

// What the program and the registry change see of the cell.
void UseCellVariables(const Homes& h, const Run& run)
{
    std::vector<std::pair<const char*, std::string>> variables = {
        {"ZORBLET_BACKEND", "headless"}, {"HOME", h.home},           {"XDG_DATA_HOME", h.data},
        {"XDG_CONFIG_HOME", h.config},   {"XDG_RUNTIME_DIR", h.run}, {"TMPDIR", h.tmp}};
    variables.insert(variables.end(), run.variables.begin(), run.variables.end());
    for (const auto& [name, value] : variables)
        value.empty() ? ::unsetenv(name) : ::setenv(name, value.c_str(), 1);
    // What the display libraries keep until exit is no finding of this test.
    const char* asan = std::getenv("ASAN_OPTIONS");
    ::setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":detect_leaks=0").c_str(), 1);
}

// --- What stands where -------------------------------------------------------

struct Place
{
    const char* name;
    fs::path Homes::*base;
    const char* path;
    bool folder, lock;
    bool registry; // the registry change needs it
};

const Place kPlaces[] = {
    {"data Quenvo", &Homes::data, "Quenvo", true, false, false},
    {"data ZORBLET", &Homes::data, "Quenvo/ZORBLET", true, false, false},
    {"PROFILES", &Homes::data, "Quenvo/ZORBLET/PROFILES", true, false, false},
    {"SAVES", &Homes::data, "Quenvo/ZORBLET/SAVES", true, false, false},
    {"config Quenvo", &Homes::config, "Quenvo", true, false, true},
    {"config ZORBLET", &Homes::config, "Quenvo/ZORBLET", true, false, true},
    {"profile record", &Homes::data, "Quenvo/ZORBLET/PROFILES/00000100.bin", false, false, false},
    {"options record", &Homes::data, "Quenvo/ZORBLET/PROFILES/00050000.bin", false, false, false},
    {"log", &Homes::data, "Quenvo/ZORBLET/SAVES/zorblet.html", false, false, false},
    {"runtime folder's lock", &Homes::runtimeLocks, "ZORBLET.lock", false, true, false},
    {"records folder's lock", &Homes::data, "Quenvo/ZORBLET/ZORBLET.lock", false, true, false},
    {"registry", &Homes::config, "Quenvo/ZORBLET/registry", false, false, true},
    {"registry.lock", &Homes::config, "Quenvo/ZORBLET/registry.lock", false, true, true},
};

enum class Thing
{
    Nothing,
    TheirLink,
    TheirOwn,
    TheirHardLink,
    TheirFifo,
    MyFifo,
    MyDanglingLink,
    MyLinkToMyFile,
    MyUnopenableLock
};

const struct ThingRow
{
    Thing thing;
    const char* name;
    bool theirs;          // another user's: the shared homes, and root only
    bool locksOnly;       // a thing that only a lock file's place can have
    bool mayRefuseAtLock; // the player's own link at a lock may stop the start (code 4)
} kThings[] = {
    {Thing::Nothing, "nothing, shared homes", true, false, false},
    {Thing::TheirLink, "their link to the player's", true, false, false},
    {Thing::TheirOwn, "their file or folder", true, false, false},
    {Thing::TheirHardLink, "their file hard-linked in", true, false, false},
    {Thing::TheirFifo, "their named pipe", true, false, false},
    {Thing::Nothing, "nothing, private home", false, false, false},
    {Thing::MyFifo, "the player's named pipe", false, false, false},
    {Thing::MyDanglingLink, "the player's link into an unmounted folder", false, false, true},
    {Thing::MyLinkToMyFile, "the player's link to their own file", false, true, true},
    {Thing::MyUnopenableLock, "the player's lock file at mode 000", false, true, false},
};

// Puts the thing at `at` in place of what the cell had there.
void Plant(Thing thing, const fs::path& at, bool folder, const Homes& h)
{
    const uid_t me = Player().uid;
    auto link = [&](const fs::path& to, uid_t owner)
    {
        Must(::symlink(to.c_str(), at.c_str()) == 0, "symlink " + at.string());
        Own(at, owner);
    };
    if (thing != Thing::Nothing)
        fs::remove_all(at);
    switch (thing)
    {
    case Thing::Nothing:
        break;
    case Thing::TheirLink:
        link(folder ? h.mine / "folder" : h.mine / "notes.txt", kStranger);
        break;
    case Thing::TheirOwn:
        if (folder)
        {
            Folder(at, 0777, kStranger);
            File(at / "theirs.txt", "the other user's file\n", 0666, kStranger);
        }
        else
        {
            File(at, "the other user's bytes\n", 0666, kStranger);
        }
        break;
    case Thing::TheirHardLink:
        Must(::link((h.theirs / "secret").c_str(), at.c_str()) == 0, "link " + at.string());
        break;
    case Thing::TheirFifo:
    case Thing::MyFifo:
        Must(::mkfifo(at.c_str(), 0600) == 0 &&
                 ::chmod(at.c_str(), thing == Thing::TheirFifo ? 0666 : 0600) == 0,
             "mkfifo " + at.string());
        Own(at, thing == Thing::TheirFifo ? kStranger : me);
        break;
    case Thing::MyDanglingLink:
        link(h.mine / "unmounted/x", me);
        break;
    case Thing::MyLinkToMyFile:
        link(h.mine / "notes.txt", me);
        break;
    case Thing::MyUnopenableLock:
        File(at, {}, 0, me);
        break;
    }
}

// --- Snapshots -----------------------------------------------------------------

struct Entry
{
    struct stat info;
    std::string content; // a regular file's bytes, a link's target
};
using Snapshot = std::map<fs::path, Entry>;

// Every entry below root, links and pipes included; no link is followed and
// only regular files are read.
Snapshot Take(const fs::path& root)
{
    Snapshot snapshot;
    auto add = [&](const fs::path& p)
    {
        Entry e{};
        if (::lstat(p.c_str(), &e.info) != 0)
            return;
        if (S_ISLNK(e.info.st_mode))
            e.content = fs::read_symlink(p).string();
        else if (S_ISREG(e.info.st_mode))
            e.content.assign(std::istreambuf_iterator<char>(std::ifstream(p, std::ios::binary).rdbuf()), {});
        snapshot[p] = std::move(e);
    };
    add(root);
    std::error_code error;
    for (fs::recursive_directory_iterator it(root, error), end; !error && it != end; it.increment(error))
        add(it->path());
    return snapshot;
}

bool Below(const fs::path& p, const fs::path& folder)
{
    const auto [end, at] = std::mismatch(folder.begin(), folder.end(), p.begin(), p.end());
    return end == folder.end();
}

std::string Octal(mode_t mode)
{
    char text[8];
    std::snprintf(text, sizeof text, "0%03o", static_cast<unsigned>(mode & 07777));
    return text;
}

// How an entry differs from what it was; empty when it is the same.
std::string Change(const Entry& was, const Entry* now)
{
    if (!now)
        return " removed";
    const struct stat &a = was.info, &b = now->info;
    std::string c;
    if (a.st_ino != b.st_ino || (a.st_mode & S_IFMT) != (b.st_mode & S_IFMT))
        c += " replaced";
    if (a.st_mode != b.st_mode)
        c += " mode " + Octal(a.st_mode) + "->" + Octal(b.st_mode);
    if (a.st_uid != b.st_uid)
        c += " owner " + std::to_string(a.st_uid) + "->" + std::to_string(b.st_uid);
    if (was.content != now->content)
        c += " bytes changed";
    return c;
}

// The player's own files, the other user's files and whatever the run wrote,
// judged from the snapshots before and after: what `runner` writes must be
// its own, 0600, in a folder of its own.
std::string FileProblems(const Snapshot& before, const Snapshot& after, const Homes& h,
                         uid_t runner = Player().uid)
{
    const uid_t me = runner;
    std::string problems;
    auto note = [&](const fs::path& p, const std::string& what)
    { problems += "; " + p.lexically_relative(h.root).string() + " " + what; };
    for (const auto& [p, was] : before)
    {
        const auto now = after.find(p);
        const std::string change = Change(was, now == after.end() ? nullptr : &now->second);
        if (!change.empty() && Below(p, h.mine))
            note(p, "(the player's):" + change);
        else if (!change.empty() && was.info.st_uid == kStranger && Player().asRoot)
            note(p, "(the other user's):" + change);
    }
    for (const auto& [p, is] : after)
    {
        const auto was = before.find(p);
        const bool fresh = was == before.end();
        if (fresh && Below(p, h.mine))
            note(p, "appeared in the player's own folder");
        if (!S_ISREG(is.info.st_mode) || Below(p, h.mine) ||
            (!fresh && Change(was->second, &is).empty() &&
             was->second.info.st_mtim.tv_nsec == is.info.st_mtim.tv_nsec &&
             was->second.info.st_mtim.tv_sec == is.info.st_mtim.tv_sec))
            continue;
        const auto folder = after.find(p.parent_path());
        if (is.info.st_uid != me)
            note(p, "written, owned by uid " + std::to_string(is.info.st_uid));
        if ((is.info.st_mode & 07777) != 0600)
            note(p, "written with mode " + Octal(is.info.st_mode));
        if (folder == after.end() || folder->second.info.st_uid != me)
            note(p, "written in a folder that is not its writer's");
    }
    return problems;
}

// --- Running the program and the registry ---------------------------------------

bool CatchesSigterm(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("SigCgt:", 0) == 0)
            return (std::strtoull(line.c_str() + 7, nullptr, 16) & (1ull << (SIGTERM - 1))) != 0;
    return false;
}

// Starts the program as the run says (the player, or root), in the cell's
// current folder, its output going to `said`.
pid_t Launch(const Homes& h, const Run& run, const fs::path& said)
{
    const int out = ::open(said.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    Must(out >= 0, "output of the program");
    const pid_t pid = ::fork();
    if (pid == 0)
    {
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::dup2(out, 1), ::dup2(out, 2);
        // Without /proc: a view of the mounts of its own, with an empty
        // folder over /proc.
        if (run.noProc && (::unshare(CLONE_NEWNS) != 0 ||
                           ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                           ::mount("none", "/proc", "tmpfs", 0, "size=16k") != 0))
            std::fprintf(stderr, "the test could not hide /proc: %s\n", std::strerror(errno)), ::_exit(121);
        ::umask(run.mask);
        UseCellVariables(h, run);
        if (childtest::BecomePlayer(Runner(run)) && ::chdir(h.cwd.c_str()) == 0 &&
            (!run.stick || run.stick->EnterInChild()))
            ::execl(h.program.c_str(), h.program.c_str(), nullptr);
        std::fprintf(stderr, "the test could not start the program as the player: %s\n",
                     std::strerror(errno));
        ::_exit(121);
    }
    ::close(out);
    if (run.stick)
    {
        const std::string problem = run.stick->Serve(pid);
        Must(problem.empty(), "the file system that keeps no modes: " + problem);
    }
    return pid;
}

// Waits up to `limit` for the end of `pid`; false when it still runs.
bool Ended(pid_t pid, int* status, std::chrono::seconds limit)
{
    for (const auto end = Clock::now() + limit;; std::this_thread::sleep_for(5ms))
    {
        if (::waitpid(pid, status, WNOHANG) == pid)
            return true;
        if (Clock::now() > end)
            return false;
    }
}

std::string Said(const fs::path& said)
{
    std::ifstream file(said);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// Starts the program, waits until it takes SIGTERM (or has ended), runs
// `meanwhile`, sends SIGTERM and waits for the end, however long the start
// took. The problems of the run.
std::string StartAndClose(const Homes& h, const Run& run, bool mayRefuse,
                          const std::function<std::string()>& meanwhile)
{
    const pid_t pid = Launch(h, run, h.said);
    std::string problems;
    int status = 0;
    bool over = false, ready = false;
    auto ended = [&] { return ::waitpid(pid, &status, WNOHANG) == pid; };
    for (const auto limit = Clock::now() + 20s; !(over = ended()) && !(ready = CatchesSigterm(pid));)
    {
        if (Clock::now() > limit)
        {
            problems += "; did not take SIGTERM within 20 s of its start";
            break;
        }
        std::this_thread::sleep_for(2ms);
    }
    if (!over)
    {
        std::this_thread::sleep_for(100ms);
        if (meanwhile)
            problems += meanwhile();
        ::kill(pid, SIGTERM);
        over = Ended(pid, &status, 15s);
    }
    if (!over)
    {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return problems + "; did not end within 15 s of SIGTERM";
    }
    std::string said = Said(h.said);
    const bool refused = said.find("ZORBLET cannot start") != std::string::npos;
    said = said.substr(0, 300);
    // Ending at once with 0 is what a second copy does: something kept this
    // one from taking the lock.
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return ready ? problems : problems + "; ended at once with code 0, as if another copy ran";
    if (WIFEXITED(status) && WEXITSTATUS(status) == 4 && refused)
        return mayRefuse ? problems : problems + "; refused to start (code 4): " + said;
    return problems +
           (WIFEXITED(status) ? "; ended with code " + std::to_string(WEXITSTATUS(status))
                              : "; ended by signal " + std::to_string(WTERMSIG(status))) +
           ": " + said;
}

// fn() run as the program is run, with the cell's variables, in a child that
// an alarm ends after `seconds`. Its text, or "child failed" when it did not
// return.
template <class Fn> std::string AsRunner(const Homes& h, const Run& run, unsigned seconds, Fn fn)
{
    return childtest::RunAsPlayer(Runner(run),
                                  [&]
                                  {
                                      ::alarm(seconds);
                                      ::umask(run.mask);
                                      UseCellVariables(h, run);
                                      return ::chdir(h.cwd.c_str()) == 0 ? fn() : std::string("no cwd");
                                  });
}

// Two changes to the registry, as the game makes them, and the first one's
// answer (a refusal is told once, whatever follows).
std::string ChangeTheRegistry()
{
    ResetRegistry();
    const u8 bytes[] = {1, 2, 3, 4};
    i32 answers[2] = {};
    for (i32& answer : answers)
    {
        HKEY key{};
        answer = RegCreateKeyEx(HKEY_CURRENT_USER, "Matrix", 0, KEY_ALL_ACCESS, &key, nullptr);
        if (answer == ERROR_SUCCESS)
            answer = RegSetValueEx(key, "v", REG_BINARY, bytes, 4);
    }
    return "answered " + std::to_string(answers[0]);
}

// How often `text` holds `part`.
size_t Times(const std::string& text, const std::string& part)
{
    size_t times = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++times;
    return times;
}

struct Outcome
{
    std::string problems;
    Snapshot before, after;
    std::string registrySaid; // what the registry change told stderr
};

// The steps and checks every cell shares: the program started and closed,
// then one registry change, which must succeed or be refused as
// `registryWorks` says. Empty problems when every check held.
Outcome RunAndCheck(const Homes& h, const Run& run = {}, bool mayRefuse = false,
                    const std::function<std::string()>& meanwhile = {}, bool registryWorks = true)
{
    Outcome o;
    o.before = Take(h.root);
    o.problems = StartAndClose(h, run, mayRefuse, meanwhile);
    const fs::path registrySaid = h.root.string() + ".registry";
    File(registrySaid, {}, 0600, Runner(run).uid);
    const std::string registry = AsRunner(h, run, 15,
                                          [&]
                                          {
                                              std::freopen(registrySaid.c_str(), "w", stderr);
                                              const std::string answer = ChangeTheRegistry();
                                              std::fflush(stderr);
                                              return answer;
                                          });
    o.registrySaid = Said(registrySaid);
    if (registryWorks ? registry != "answered 0"
                      : registry.rfind("answered ", 0) != 0 || registry == "answered 0")
        o.problems +=
            "; the registry change " + registry + (registryWorks ? "" : ", where it must be refused");
    // A refused change says why, once; a change that works says nothing.
    if (Times(o.registrySaid, "The registry \"") != (registryWorks ? 0u : 1u))
        o.problems += "; the registry changes said \"" + o.registrySaid.substr(0, 300) + "\"";
    o.after = Take(h.root);
    o.problems += FileProblems(o.before, o.after, h, Runner(run).uid);
    return o;
}

// The folder of a test, where "nobody" reaches it, with a copy of the
// program the player may run wherever the build lies.
class Top
{
public:
    Top()
    {
        Must(::chmod(path_.c_str(), 0755) == 0, "the test's folder");
        fs::copy_file(ZORBLET_BINARY, path_ / "zorblet");
        Must(::chmod((path_ / "zorblet").c_str(), 0755) == 0, "the program's copy");
    }
    fs::path Cell(int n) const { return path_ / ("cell" + std::to_string(n)); }

private:
    const filetest::TempFolder folder_{filetest::For::Player};
    const fs::path path_ = folder_.Path();
};

// Every thing of the table at every place it fits, each in a fresh tree.
void RunMatrix(bool theirs)
{
    const Top top;
    std::string failures;
    int cells = 0, failed = 0;
    for (const ThingRow& t : kThings)
        for (const Place& p : kPlaces)
        {
            // Nothing planted: the tree as the game leaves it, once per layout.
            if (t.theirs != theirs || (t.thing == Thing::Nothing && &p != kPlaces) ||
                (t.locksOnly && !p.lock))
                continue;
            const Homes h = MakeHomes(top.Cell(cells++), theirs);
            const fs::path at = h.*p.base / p.path;
            Plant(t.thing, at, p.folder, h);
            // Whatever stands at a place the registry needs keeps it from
            // being changed, but a lock file of the player's it mends.
            const bool registryWorks =
                !p.registry || t.thing == Thing::Nothing || t.thing == Thing::MyUnopenableLock;
            std::string problems =
                RunAndCheck(h, {}, t.mayRefuseAtLock && p.lock, {}, registryWorks).problems;
            struct stat lock
            {
            };
            if (t.thing == Thing::MyUnopenableLock &&
                (::lstat(at.c_str(), &lock) != 0 || (lock.st_mode & 07777) != 0600))
                problems += "; the lock file at mode 000 was not given 0600 again";
            if (!problems.empty())
            {
                ++failed;
                failures += (t.thing == Thing::Nothing ? "-" : std::string(p.name)) + " / " + t.name + ":" +
                            problems.substr(1) + "\n";
            }
            fs::remove_all(h.root);
        }
    EXPECT_EQ(failed, 0) << failed << " of " << cells << " cells failed:\n" << failures;
}

// --- Homes of every kind ---------------------------------------------------------

// How a row arranges its cell and runs the program.
enum class Home
{
    Open,       // a folder on the way open to all (and another user's), swapped while it runs
    TheirHome,  // the data home is another user's, not open
    Group,      // the data and config homes 0775, with the row's group
    Umask0777,  // no homes yet, started under umask 0777
    NoProc,     // the same without /proc, and a lock file of the player's at 000
    NoSaves,    // SAVES cannot be made (ZORBLET 0500), and a second copy starts
    RootsStart, // root starts it with the player's HOME, from the player's folder
    FullDisk,   // the data home on a disk with no room left
    Acl,        // the folder `open` ("" the data home) 0775 with an ACL giving the other user write
    DefaultAcl, // a default ACL on the data home gives the other user write in what is made there
    // The data home on a file system that keeps no folder modes (kSticks).
    Modeless,
    ModelessSilent,
    ModelessNoWrite,
    ModelessSilentNoWrite,
    ModelessOpen,
    ModelessOpenThere,
    OpenHere,      // the data home and the current folder 0777, the player's
    ReadOnlyConfig // the registry's folder 0500
};

// Where the records must be kept, and the log beside them.
enum class Kept
{
    Profiles,
    CurrentFolder,
    Nowhere
};

enum : unsigned
{
    kRoot = 1,        // needs root: another user, a group of a given make-up, mounts of its own
    kUserDb = 2,      // the program sees the test's own user database
    kShared = 4,      // the shared homes of MakeHomes, else the private ones
    kNoLog = 8,       // no log is kept
    kNotSaved = 16,   // the records cannot be written back
    kNoRegistry = 32, // the registry change must be refused
    kLockThere = 64   // NoSaves: ZORBLET.lock is there already
};

// The user database a row shows the program: the player with a group of
// their own, the other user with theirs, a group the other user is a member
// of, a group whose only member the user database does not know;
// kUnknownGroup is in none of it.
constexpr gid_t kSharedGroup = 4243, kUnknownGroup = 4244, kGhostGroup = 4245;

struct HomeRow
{
    const char* name;
    Home home;
    unsigned flags;
    Kept kept;
    const char* says;    // a text the program must say exactly once ("" for none)
    gid_t group;         // Group: the homes' group
    const char* open;    // Open: the folder open to all; "" is the data home
    bool theirs;         // Open: and the other user's, not root's
    const char* swapped; // Open: renamed away and made anew by the other user while it runs
};

const HomeRow kHomeRows[] = {
    // Another user owns the data home or a folder in it, or may write it:
    // refused from the start, so a tree of theirs swapped in while the game
    // runs gets nothing, and the records go to the current folder.
    {"Quenvo open to all, the other user's, swapped", Home::Open, kRoot | kShared, Kept::CurrentFolder, "", 0,
     "Quenvo", true, "Quenvo/ZORBLET"},
    {"data home open to all, the other user's, swapped", Home::Open, kRoot | kShared, Kept::CurrentFolder, "",
     0, "", true, "Quenvo"},
    {"data home open to all, root's, swapped", Home::Open, kRoot | kShared, Kept::CurrentFolder, "", 0, "",
     false, "Quenvo"},
    {"data home the other user's, not open", Home::TheirHome, kRoot, Kept::CurrentFolder,
     "belongs to another user", 0, "", false, ""},
    // Homes 0775 as a umask of 002 makes them: used when the group is the
    // player's own, refused when someone else may write through it.
    {"homes 0775, the player's private group", Home::Group, kRoot | kUserDb, Kept::Profiles, "", Player().gid,
     "", false, ""},
    {"homes 0775, a group with another member", Home::Group, kRoot | kUserDb | kNoRegistry,
     Kept::CurrentFolder, "may be written by other users and has no sticky bit", kSharedGroup, "", false, ""},
    {"homes 0775, another user's primary group", Home::Group, kRoot | kUserDb | kNoRegistry,
     Kept::CurrentFolder, "may be written by other users and has no sticky bit", kStranger, "", false, ""},
    {"homes 0775, a group the user database does not know", Home::Group, kRoot | kUserDb | kNoRegistry,
     Kept::CurrentFolder, "may be written by other users and has no sticky bit", kUnknownGroup, "", false,
     ""},
    {"homes 0775, a group with a member the user database does not know", Home::Group,
     kRoot | kUserDb | kNoRegistry, Kept::CurrentFolder,
     "may be written by other users and has no sticky bit", kGhostGroup, "", false, ""},
    // An ACL naming another user grants write through the group class,
    // however private the group is: the data home is refused, Quenvo is
    // narrowed (its mask emptied). A default ACL gives nothing in what the
    // game makes 0700.
    {"data home 0775, an ACL gives the other user write", Home::Acl, kRoot | kUserDb, Kept::CurrentFolder,
     "may be written by other users and has no sticky bit", 0, "", false, ""},
    {"Quenvo 0775, an ACL gives the other user write", Home::Acl, kRoot | kUserDb, Kept::Profiles, "", 0,
     "Quenvo", false, ""},
    {"a default ACL on the data home gives the other user write", Home::DefaultAcl, kRoot | kUserDb,
     Kept::Profiles, "", 0, "", false, ""},
    // What a file system that keeps no folder modes makes is kept when the
    // player has full access and no one else may write it, else removed,
    // saying what the file system answered.
    {"folders come out 0755, a mode change fails", Home::Modeless, 0, Kept::Profiles, "", 0, "", false, ""},
    {"folders come out 0755, a mode change does nothing", Home::ModelessSilent, 0, Kept::Profiles, "", 0, "",
     false, ""},
    {"folders come out 0555, a mode change fails", Home::ModelessNoWrite, 0, Kept::CurrentFolder,
     "was made with mode 0555, without full access for its owner, and the file system refused mode 0700 "
     "(Function not implemented), so it was removed again",
     0, "", false, ""},
    {"folders come out 0555, a mode change does nothing", Home::ModelessSilentNoWrite, 0, Kept::CurrentFolder,
     "was made with mode 0555, without full access for its owner, and the file system kept that mode when "
     "given 0700, so it was removed again",
     0, "", false, ""},
    {"folders come out 0777, a mode change fails", Home::ModelessOpen, 0, Kept::CurrentFolder,
     "was made with mode 0777, open to other users, and the file system refused mode 0700 (Function not "
     "implemented), so it was removed again",
     0, "", false, ""},
    {"the game's folders there 0777, a mode change does nothing", Home::ModelessOpenThere, 0,
     Kept::CurrentFolder, "is writable by other users and cannot be made the player's alone", 0, "", false,
     ""},
    // What a start under umask 0777 makes is the player's alone and usable,
    // with /proc and without it, and a lock file of theirs at 000 is mended.
    {"umask 0777", Home::Umask0777, 0, Kept::Profiles, "", 0, "", false, ""},
    {"umask 0777, no /proc, a lock file at 000", Home::NoProc, kRoot, Kept::Profiles, "", 0, "", false, ""},
    // One decision for the records, the log and their lock: a second copy
    // with a runtime folder of its own stays out.
    {"SAVES cannot be made, two copies", Home::NoSaves, 0, Kept::CurrentFolder, "kept in the current folder",
     0, "", false, ""},
    {"SAVES cannot be made, the lock there already, two copies", Home::NoSaves, kLockThere | kNoLog,
     Kept::Profiles, "SAVES\" cannot be made: Permission denied); this session keeps no log", 0, "", false,
     ""},
    // The current folder is judged as a home is; a refused registry says why.
    {"data home and current folder 0777", Home::OpenHere, kNoLog, Kept::Nowhere, "nor can the current folder",
     0, "", false, ""},
    {"the registry's folder 0500", Home::ReadOnlyConfig, kNoRegistry, Kept::Profiles, "", 0, "", false, ""},
    // Nothing of root's goes into the player's folders.
    {"root with the player's HOME", Home::RootsStart, kRoot | kNoLog | kNotSaved | kNoRegistry, Kept::Nowhere,
     "nor can the current folder", 0, "", false, ""},
    // The old records are kept, and the log says once that it cannot be written.
    {"a full disk", Home::FullDisk, kRoot | kNotSaved, Kept::Profiles,
     "zorblet.html\" cannot be written (No space left on device)", 0, "", false, ""},
};

void ShowUserDb(const Homes& h)
{
    const Player me;
    const fs::path passwd = h.root.string() + ".passwd", group = h.root.string() + ".group";
    std::ofstream(passwd) << "root:x:0:0:root:/root:/bin/sh\nstranger:x:" << kStranger << ":" << kStranger
                          << "::/:/bin/sh\nnobody:x:" << me.uid << ":" << me.gid << "::/:/bin/sh\n";
    std::ofstream(group) << "root:x:0:\nstrangers:x:" << kStranger << ":\nplayers:x:" << me.gid << ":\n"
                         << "shared:x:" << kSharedGroup << ":stranger\nghosts:x:" << kGhostGroup
                         << ":ghost\n";
    Must(::chmod(passwd.c_str(), 0644) == 0 && ::chmod(group.c_str(), 0644) == 0 &&
             ::mount(passwd.c_str(), "/etc/passwd", nullptr, MS_BIND, nullptr) == 0 &&
             ::mount(group.c_str(), "/etc/group", nullptr, MS_BIND, nullptr) == 0,
         "show the user database");
}

// A row that cannot be arranged on this machine, and why.
struct Skip : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

// Gives the other user write on `p` through an ACL naming them, as "setfacl
// -m u:OTHER:rwx" does (with `defaults`, "setfacl -d -m u:OTHER:rwx").
void GiveStrangerWrite(const fs::path& p, bool defaults)
{
    struct stat info
    {
    };
    Must(::stat(p.c_str(), &info) == 0, "stat " + p.string());
    const unsigned mode = info.st_mode, anyone = ~0u;
    // Version 2, then a 16-bit tag, 16-bit permissions and a 32-bit id per
    // entry, little-endian: the owner, the other user, the group, the mask,
    // everyone else.
    const unsigned entries[][3] = {{0x01, (mode >> 6) & 7, anyone},
                                   {0x02, 7, kStranger},
                                   {0x04, (mode >> 3) & 7, anyone},
                                   {0x10, 7, anyone},
                                   {0x20, mode & 7, anyone}};
    std::string acl{2, 0, 0, 0};
    for (const auto& [tag, permissions, id] : entries)
        for (const unsigned value :
             {tag, tag >> 8, permissions, permissions >> 8, id, id >> 8, id >> 16, id >> 24})
            acl.push_back(static_cast<char>(value & 0xff));
    if (::setxattr(p.c_str(), defaults ? "system.posix_acl_default" : "system.posix_acl_access", acl.data(),
                   acl.size(), 0) != 0)
    {
        if (errno == EOPNOTSUPP)
            throw Skip("the file system of the tests' folder keeps no ACLs");
        Must(false, "setxattr " + p.string());
    }
}

// What the other user changes in the game's folders and the home holding
// them, after a run that kept the records there: nothing, or the row fails.
std::string StrangersChanges(const Homes& h)
{
    Player stranger;
    stranger.uid = kStranger, stranger.gid = kStranger;
    const std::string changed = childtest::RunAsPlayer(
        stranger,
        [&]
        {
            std::string made;
            const fs::path product = h.data / "Quenvo/ZORBLET";
            for (const fs::path& p : {h.data / "Quenvo", product, product / "PROFILES", product / "SAVES",
                                      h.config / "Quenvo", h.config / "Quenvo/ZORBLET"})
                if (::mkdir((p / "intruder").c_str(), 0777) == 0)
                    made += "; the other user made a folder in " + p.lexically_relative(h.root).string();
            if (::rename((h.data / "Quenvo").c_str(), (h.data / "Quenvo.moved").c_str()) == 0)
                made += "; the other user moved the data home's Quenvo away";
            return made.empty() ? std::string("none") : made;
        });
    return changed == "none" ? "" : changed[0] == ';' ? changed : "; the other user's try: " + changed;
}

// The folders the other user makes anew in place of the swapped one,
// ordered so that each comes after the one above it.
std::set<fs::path> SwappedTree(const HomeRow& row, const Homes& h)
{
    const fs::path swapped = h.data / row.swapped, product = h.data / "Quenvo/ZORBLET";
    std::set<fs::path> tree{swapped, product / "PROFILES", product / "SAVES"};
    for (fs::path p = product; p != swapped; p = p.parent_path())
        tree.insert(p);
    return tree;
}

// The file systems that keep no folder modes: how folders come out, what a
// mode change answers (0: success, and nothing changes), and whether the
// game's folders stand there already, with that mode.
const struct StickKind
{
    Home home;
    modeless::Rules rules;
    bool there;
} kSticks[] = {
    {Home::Modeless, {0755, ENOSYS}, false},        {Home::ModelessSilent, {0755, 0}, false},
    {Home::ModelessNoWrite, {0555, ENOSYS}, false}, {Home::ModelessSilentNoWrite, {0555, 0}, false},
    {Home::ModelessOpen, {0777, ENOSYS}, false},    {Home::ModelessOpenThere, {0777, 0}, true}};

// Makes the cell what the row says, and the run.
void Arrange(const HomeRow& row, Homes& h, Run& run)
{
    const Player me;
    const fs::path product = h.data / "Quenvo/ZORBLET";
    switch (row.home)
    {
    case Home::Open:
        if (row.theirs)
            Own(h.data / row.open, kStranger);
        Must(::chmod((h.data / row.open).c_str(), 0777) == 0, "chmod");
        break;
    case Home::TheirHome:
        Own(h.data, kStranger);
        break;
    case Home::Group:
        for (const fs::path& home : {h.data, h.config})
            Must(::chown(home.c_str(), me.uid, row.group) == 0 && ::chmod(home.c_str(), 0775) == 0, "group");
        break;
    case Home::NoProc:
        run.noProc = true;
        File(h.run / "ZORBLET.lock", {}, 0, me.uid);
        [[fallthrough]];
    case Home::Umask0777:
        run.mask = 0777;
        h.data = h.home / ".local/share", h.config = h.home / ".config";
        break;
    case Home::NoSaves:
        fs::remove_all(product / "SAVES");
        if (row.flags & kLockThere)
            File(product / "ZORBLET.lock", {}, 0600, me.uid);
        Must(::chmod(product.c_str(), 0500) == 0, "chmod");
        Folder(h.home / "run2", 0700, me.uid);
        break;
    case Home::RootsStart:
        run.asRoot = true;
        Folder(h.root / "rootrun", 0700, 0), Folder(h.root / "roottmp", 01777, 0);
        run.variables = {{"XDG_RUNTIME_DIR", (h.root / "rootrun").string()},
                         {"TMPDIR", (h.root / "roottmp").string()}};
        break;
    case Home::FullDisk:
    {
        fs::remove_all(h.data / "Quenvo");
        const std::string options =
            "size=1m,mode=0700,uid=" + std::to_string(me.uid) + ",gid=" + std::to_string(me.gid);
        Must(::mount("zorblet-full", h.data.c_str(), "tmpfs", 0, options.c_str()) == 0, "mount a small disk");
        MakeGameFolders(h, 0700, false);
        std::ofstream filler(h.data / "filler", std::ios::binary);
        for (const std::string block(4096, 'f'); filler.write(block.data(), block.size());)
        {
        }
        break;
    }
    case Home::Acl:
        // An ordinary home others may pass through, the data home made 0775
        // by the umask 002 of the player's private group.
        Must(::chmod(h.home.c_str(), 0755) == 0 && ::chmod(h.data.c_str(), 0775) == 0 &&
                 ::chmod((h.data / row.open).c_str(), 0775) == 0,
             "chmod");
        GiveStrangerWrite(h.data / row.open, false);
        break;
    case Home::DefaultAcl:
        fs::remove_all(h.data / "Quenvo");
        Must(::chmod(h.home.c_str(), 0755) == 0 && ::chmod(h.data.c_str(), 0755) == 0, "chmod");
        GiveStrangerWrite(h.data, true);
        break;
    case Home::Modeless:
    case Home::ModelessSilent:
    case Home::ModelessNoWrite:
    case Home::ModelessSilentNoWrite:
    case Home::ModelessOpen:
    case Home::ModelessOpenThere:
    {
        const auto& stick = *std::find_if(std::begin(kSticks), std::end(kSticks),
                                          [&](const StickKind& k) { return k.home == row.home; });
        fs::remove_all(h.data / "Quenvo");
        if (stick.there)
            MakeGameFolders(h, stick.rules.made, false);
        Must(::chmod(h.data.c_str(), 0755) == 0, "chmod");
        run.stick = std::make_shared<modeless::Stick>(h.data.string(), stick.rules, me.uid, me.gid);
        break;
    }
    case Home::OpenHere:
        Must(::chmod(h.data.c_str(), 0777) == 0 && ::chmod(h.cwd.c_str(), 0777) == 0, "chmod");
        break;
    case Home::ReadOnlyConfig:
        Must(::chmod((h.config / "Quenvo/ZORBLET").c_str(), 0500) == 0, "chmod");
        break;
    }
}

// What the row does while the program runs.
std::string Meanwhile(const HomeRow& row, const Homes& h)
{
    if (row.home == Home::Open)
    {
        const fs::path swapped = h.data / row.swapped;
        Must(::rename(swapped.c_str(), (swapped.parent_path() / "old").c_str()) == 0, "rename");
        for (const fs::path& p : SwappedTree(row, h))
            Folder(p, 0777, kStranger);
    }
    if (row.home != Home::NoSaves)
        return {};
    // A second copy with a runtime folder of its own must find the records
    // taken and end at once with 0.
    Run second;
    second.variables = {{"XDG_RUNTIME_DIR", (h.home / "run2").string()}};
    const fs::path said = h.root.string() + ".said2";
    const pid_t pid = Launch(h, second, said);
    int status = 0;
    if (!Ended(pid, &status, 20s))
    {
        ::kill(pid, SIGTERM);
        Ended(pid, &status, 15s) || (::kill(pid, SIGKILL), ::waitpid(pid, &status, 0));
        return "; a second copy ran beside the first";
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0
               ? ""
               : "; the second copy ended with status " + std::to_string(status) + ": " +
                     Said(said).substr(0, 300);
}

// The checks a row's own kind asks for.
std::string After(const HomeRow& row, const Homes& h, const Run& run, const Outcome& o)
{
    std::string problems;
    if (run.stick)
    {
        // The file system played its part: what it made is kept as it made
        // it, or removed.
        const auto quenvo = o.after.find(h.data / "Quenvo");
        if (row.kept == Kept::Profiles &&
            (quenvo == o.after.end() || (quenvo->second.info.st_mode & 07777) != 0755))
            problems += "; the data home's Quenvo is not the 0755 folder its file system made";
        if (row.kept != Kept::Profiles && row.home != Home::ModelessOpenThere && quenvo != o.after.end())
            problems += "; the data home's Quenvo was not removed";
    }
    if (row.home == Home::Open)
    {
        const std::set<fs::path> tree = SwappedTree(row, h);
        for (const auto& [p, e] : Take(h.data / row.swapped))
            if (!tree.count(p))
                problems +=
                    "; " + p.lexically_relative(h.root).string() + " written in the other user's tree";
    }
    if (row.home != Home::Umask0777 && row.home != Home::NoProc)
        return problems;
    // Everything it made is the player's alone and usable, and the next
    // start, at the usual umask, finds it so.
    const fs::path product = h.data / "Quenvo/ZORBLET";
    for (const fs::path& p :
         {h.data / "Quenvo", product, product / "PROFILES", product / "SAVES", product / "ZORBLET.lock",
          h.run / "ZORBLET.lock", h.config / "Quenvo/ZORBLET/registry"})
        if (const auto at = o.after.find(p); at == o.after.end())
            problems += "; " + p.lexically_relative(h.root).string() + " was not made";
        else if (S_ISREG(at->second.info.st_mode) && (at->second.info.st_mode & 07777) != 0600)
            problems +=
                "; " + p.lexically_relative(h.root).string() + " left " + Octal(at->second.info.st_mode);
    for (const auto& [p, e] : o.after)
        if (const auto was = o.before.find(p);
            S_ISDIR(e.info.st_mode) && (e.info.st_mode & 07777) != 0700 &&
            (was == o.before.end() || (was->second.info.st_mode & 0700) != 0700))
            problems +=
                "; folder " + p.lexically_relative(h.root).string() + " left " + Octal(e.info.st_mode);
    const std::string again = RunAndCheck(h).problems;
    return problems + (again.empty() ? "" : "; the next start, at umask 022:" + again);
}

// Where the records and the log went, as the row says they must.
std::string WhereThingsWent(const HomeRow& row, const Homes& h, const Outcome& o)
{
    std::string problems;
    const fs::path product = h.data / "Quenvo/ZORBLET";
    auto rewritten = [&](const fs::path& p)
    {
        const auto was = o.before.find(p), now = o.after.find(p);
        return now != o.after.end() && (was == o.before.end() || !Change(was->second, &now->second).empty());
    };
    for (const char* record : {"00000100.bin", "00050000.bin"})
    {
        if (o.after.count(h.cwd / record) != (row.kept == Kept::CurrentFolder))
            problems += std::string("; ") + record + (row.kept == Kept::CurrentFolder ? " not" : "") +
                        " saved in the current folder";
        const bool saved = row.kept == Kept::Profiles && !(row.flags & kNotSaved);
        if (rewritten(product / "PROFILES" / record) != saved)
            problems += std::string("; ") + record + (saved ? " not" : "") + " saved in PROFILES";
    }
    const bool inSaves = o.after.count(product / "SAVES/zorblet.html") != 0;
    const bool inCwd = o.after.count(h.cwd / "zorblet.html") != 0;
    const bool logKept = !(row.flags & kNoLog);
    if (inSaves != (logKept && row.kept == Kept::Profiles) ||
        inCwd != (logKept && row.kept == Kept::CurrentFolder))
        problems += std::string("; the log was ") + (inSaves ? "kept in SAVES"
                                                     : inCwd ? "kept in the current folder"
                                                             : "not kept");
    const std::string said = Said(h.said);
    if (const size_t times = Times(said, row.says); row.says[0] && times != 1)
        problems += "; said \"" + std::string(row.says) + "\" " + std::to_string(times) +
                    " times: " + said.substr(0, 600);
    // Whatever keeps the log from being written is told once.
    if (Times(said, "zorblet.html\" cannot be written") > 1)
        problems += "; told more than once that the log cannot be written: " + said.substr(0, 600);
    return problems;
}

// One row in a fresh cell, in a child with a view of the mounts of its own
// when the tests run as root; its problems.
std::string RunHomeRow(const HomeRow& row, const fs::path& cell)
{
    Player root;
    root.uid = 0, root.gid = 0;
    return childtest::RunAsPlayer(
        root,
        [&]() -> std::string
        {
            try
            {
                if (::geteuid() == 0 && (::unshare(CLONE_NEWNS) != 0 ||
                                         ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0))
                    return "no mounts of its own";
                Homes h = MakeHomes(cell, row.flags & kShared,
                                    row.home != Home::Umask0777 && row.home != Home::NoProc);
                if (row.flags & kUserDb)
                    ShowUserDb(h);
                Run run;
                Arrange(row, h, run);
                const Outcome o = RunAndCheck(
                    h, run, false, [&] { return Meanwhile(row, h); }, !(row.flags & kNoRegistry));
                // Records kept in the game's folders are the player's alone.
                const std::string strangers =
                    row.kept == Kept::Profiles && Player().asRoot ? StrangersChanges(h) : "";
                return o.problems + WhereThingsWent(row, h, o) + After(row, h, run, o) + strangers;
            }
            catch (const Skip& skip)
            {
                return std::string("skip: ") + skip.what();
            }
            catch (const std::exception& e)
            {
                return std::string("; ") + e.what();
            }
        });
}

} // namespace

TEST(TrustMatrix, AnotherUsersThingsInTheGamesPlaces)
{
    if (!Player().asRoot)
        GTEST_SKIP() << "another user's things can only be made when the tests run as root";
    RunMatrix(true);
}

TEST(TrustMatrix, ThePlayersOwnMishapsInTheGamesPlaces)
{
    RunMatrix(false);
}

// Every home of the table, each in a fresh cell, through the same steps and
// checks.
TEST(TrustMatrix, HomesOfEveryKind)
{
    const Top top;
    std::string failures, skipped;
    int n = 0, failed = 0;
    for (const HomeRow& row : kHomeRows)
    {
        if ((row.flags & kRoot) && !Player().asRoot)
        {
            skipped += std::string(skipped.empty() ? "" : ", ") + row.name;
            continue;
        }
#if defined(__SANITIZE_ADDRESS__)
        // The sanitizer's own runtime stops the program at exit without
        // /proc; the plain build runs this row.
        if (row.home == Home::NoProc)
        {
            std::printf("row \"%s\" left to the build without sanitizers\n", row.name);
            continue;
        }
#endif
        const std::string problems = RunHomeRow(row, top.Cell(n++));
        if (problems.rfind("skip: ", 0) == 0)
            skipped += std::string(skipped.empty() ? "" : ", ") + row.name + " (" + problems.substr(6) + ")";
        else if (!problems.empty())
            ++failed, failures += std::string(row.name) + ":" +
                                  (problems[0] == ';' ? problems.substr(1) : problems) + "\n";
    }
    EXPECT_EQ(failed, 0) << failed << " of " << n << " rows failed:\n" << failures;
    if (!skipped.empty())
        GTEST_SKIP() << "rows skipped (those that need root for another user, a group or mounts of their "
                        "own, and those this machine cannot arrange): "
                     << skipped;
}

// A value too large for the registry's file must not cost the player the
// keys that were there, nor every later change.
TEST(TrustMatrix, AHugeRegistryValueLeavesTheRegistryUsable)
{
    const Top top;
    const Homes h = MakeHomes(top.Cell(0), false);
    const Snapshot before = Take(h.root);
    static const u8 small[] = {1, 2, 3, 4};
    auto change = [](const char* name, const std::vector<u8>& bytes)
    {
        HKEY key{};
        const i32 made = RegCreateKeyEx(HKEY_CURRENT_USER, "Small", 0, KEY_ALL_ACCESS, &key, nullptr);
        return made ? made
                    : RegSetValueEx(key, name, REG_BINARY, bytes.data(), static_cast<u32>(bytes.size()));
    };
    const std::string huge =
        AsRunner(h, {}, 60,
                 [&]
                 {
                     ResetRegistry();
                     if (change("v", {small, small + 4}) != 0)
                         return std::string("the small value could not be made");
                     return "the 33 MiB value answered " +
                            std::to_string(change("huge", std::vector<u8>(33u << 20, 0x5A)));
                 });
    ASSERT_EQ(huge.rfind("the 33 MiB value", 0), 0u) << huge;
    const std::string after =
        AsRunner(h, {}, 60,
                 [&]
                 {
                     ResetRegistry();
                     HKEY key{};
                     u8 read[4] = {};
                     u32 size = sizeof read;
                     const i32 opened = RegOpenKeyEx(HKEY_CURRENT_USER, "Small", 0, KEY_READ, &key);
                     const i32 got = RegQueryValueEx(key, "v", nullptr, read, &size);
                     return "open " + std::to_string(opened) + ", read " + std::to_string(got) + ", change " +
                            std::to_string(change("w", {small, small + 4}));
                 });
    EXPECT_EQ(after, "open 0, read 0, change 0") << "after " << huge;
    EXPECT_EQ(FileProblems(before, Take(h.root), h), "");
}
