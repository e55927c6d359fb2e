// The real program started by the player while something odd stands at one
// of the places where the game keeps its things: a link, file, hard link or
// named pipe that another user planted there, or a mishap of the player's
// own. Whatever stands there, the game must start (or refuse with code 4
// when the player's own link makes a lock unusable), close on SIGTERM, leave
// the registry answering, write nothing but 0600 files of the player's in
// folders of the player's, and leave the player's other files and every
// file of the other user's as they were. Each cell of the table gets a fresh
// tree, runs the same steps and faces the same checks.
#include "StartPack.h"
#include "platform/Registry.h"
#include "support/ChildProcess.h"

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
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
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
    fs::path root, data, config, run, tmp, home, mine, theirs, cwd, runtimeLocks, said;
};

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
    {
        for (const char* p : {"Quenvo", "Quenvo/ZORBLET", "Quenvo/ZORBLET/PROFILES", "Quenvo/ZORBLET/SAVES"})
            Folder(h.data / p, open, me);
        for (const char* p : {"Quenvo", "Quenvo/ZORBLET"})
            Folder(h.config / p, open, me);
        File(h.data / "Quenvo/ZORBLET/PROFILES/00000100.bin", std::string(1000, 'p'), 0600, me);
        File(h.data / "Quenvo/ZORBLET/PROFILES/00050000.bin", std::string(252, 'o'), 0600, me);
    }
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

// What the program and the registry change see of the cell.
void UseCellVariables(const Homes& h)
{
    const std::pair<const char*, std::string> variables[] = {
        {"ZORBLET_BACKEND", "headless"}, {"HOME", h.home},           {"XDG_DATA_HOME", h.data},
        {"XDG_CONFIG_HOME", h.config},   {"XDG_RUNTIME_DIR", h.run}, {"TMPDIR", h.tmp}};
    for (const auto& [name, value] : variables)
        ::setenv(name, value.c_str(), 1);
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
};

const Place kPlaces[] = {
    {"data Quenvo", &Homes::data, "Quenvo", true, false},
    {"data ZORBLET", &Homes::data, "Quenvo/ZORBLET", true, false},
    {"PROFILES", &Homes::data, "Quenvo/ZORBLET/PROFILES", true, false},
    {"SAVES", &Homes::data, "Quenvo/ZORBLET/SAVES", true, false},
    {"config Quenvo", &Homes::config, "Quenvo", true, false},
    {"config ZORBLET", &Homes::config, "Quenvo/ZORBLET", true, false},
    {"profile record", &Homes::data, "Quenvo/ZORBLET/PROFILES/00000100.bin", false, false},
    {"options record", &Homes::data, "Quenvo/ZORBLET/PROFILES/00050000.bin", false, false},
    {"log", &Homes::data, "Quenvo/ZORBLET/SAVES/zorblet.html", false, false},
    {"runtime folder's lock", &Homes::runtimeLocks, "ZORBLET.lock", false, true},
    {"records folder's lock", &Homes::data, "Quenvo/ZORBLET/ZORBLET.lock", false, true},
    {"registry", &Homes::config, "Quenvo/ZORBLET/registry", false, false},
    {"registry.lock", &Homes::config, "Quenvo/ZORBLET/registry.lock", false, false},
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
// judged from the snapshots before and after.
std::string FileProblems(const Snapshot& before, const Snapshot& after, const Homes& h)
{
    const uid_t me = Player().uid;
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
        if (!S_ISREG(is.info.st_mode) || Below(p, h.mine) || Below(p, h.theirs) ||
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
            note(p, "written in a folder that is not the player's");
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

// Starts the program as the player in the cell's current folder, waits until
// it takes SIGTERM (or has ended), runs `meanwhile`, sends SIGTERM and waits
// for the end, however long the start took. The problems of the run.
std::string StartAndClose(const Homes& h, mode_t mask, bool mayRefuse, const std::function<void()>& meanwhile)
{
    const int out = ::open(h.said.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    Must(out >= 0, "output of the program");
    const pid_t pid = ::fork();
    if (pid == 0)
    {
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::umask(mask);
        UseCellVariables(h);
        if (::dup2(out, 1) == 1 && ::dup2(out, 2) == 2 && childtest::BecomePlayer(Player()) &&
            ::chdir(h.cwd.c_str()) == 0)
            ::execl(ZORBLET_BINARY, ZORBLET_BINARY, nullptr);
        std::fprintf(stderr, "the test could not start the program as the player: %s\n",
                     std::strerror(errno));
        ::_exit(121);
    }
    ::close(out);
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
            meanwhile();
        ::kill(pid, SIGTERM);
        for (const auto limit = Clock::now() + 15s; !(over = ended()) && Clock::now() < limit;)
            std::this_thread::sleep_for(5ms);
    }
    if (!over)
    {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return problems + "; did not end within 15 s of SIGTERM";
    }
    std::ifstream file(h.said);
    std::string said(std::istreambuf_iterator<char>(file), {});
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

// fn() run as the player with the cell's variables, in a child that an alarm
// ends after `seconds`. Its text, or "child failed" when it did not return.
template <class Fn> std::string AsPlayer(const Homes& h, unsigned seconds, mode_t mask, Fn fn)
{
    return childtest::RunAsPlayer(Player(),
                                  [&]
                                  {
                                      ::alarm(seconds);
                                      ::umask(mask);
                                      UseCellVariables(h);
                                      return ::chdir(h.cwd.c_str()) == 0 ? fn() : std::string("no cwd");
                                  });
}

// One change to the registry, as the game makes them: any answer will do, so
// long as there is one.
std::string ChangeTheRegistry()
{
    ResetRegistry();
    HKEY key{};
    const u8 bytes[] = {1, 2, 3, 4};
    if (RegCreateKeyEx(HKEY_CURRENT_USER, "Matrix", 0, KEY_ALL_ACCESS, &key, nullptr) == ERROR_SUCCESS)
        RegSetValueEx(key, "v", REG_BINARY, bytes, 4);
    return "returned";
}

// The steps and checks every cell shares: the program started and closed,
// then one registry change. Empty when every check held.
std::string RunAndCheck(const Homes& h, bool mayRefuse, const std::function<void()>& meanwhile = {},
                        mode_t mask = 022)
{
    const Snapshot before = Take(h.root);
    std::string problems = StartAndClose(h, mask, mayRefuse, meanwhile);
    const std::string registry = AsPlayer(h, 15, mask, ChangeTheRegistry);
    if (registry != "returned")
        problems += "; the registry change: " + registry;
    return problems + FileProblems(before, Take(h.root), h);
}

// The folder of a test, under /tmp so that "nobody" reaches it.
class Top
{
public:
    Top()
    {
        std::string pattern = "/tmp/zorblet-trust-XXXXXX";
        Must(::mkdtemp(pattern.data()) != nullptr && ::chmod(pattern.c_str(), 0755) == 0, "mkdtemp");
        path_ = pattern;
    }
    ~Top()
    {
        // A folder left 0000 cannot be emptied until it is opened again
        // (root needs no such help).
        std::error_code ignored;
        for (auto it = fs::recursive_directory_iterator(path_, ignored); it != fs::end(it);
             it.increment(ignored))
            if (it->is_directory(ignored) && !it->is_symlink(ignored))
                ::chmod(it->path().c_str(), 0700);
        fs::remove_all(path_, ignored);
    }
    fs::path Cell(int n) const { return path_ / ("cell" + std::to_string(n)); }

private:
    fs::path path_;
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
            Plant(t.thing, h.*p.base / p.path, p.folder, h);
            const std::string problems = RunAndCheck(h, t.mayRefuseAtLock && p.lock);
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

// The other user owns a folder above the game's, or may write one that has
// no sticky bit, and while the game runs swaps the player's folders for a
// tree of theirs: the saves at exit must not land in that tree.
TEST(TrustMatrix, GameFoldersSwappedForAnotherUsersWhileItRuns)
{
    if (!Player().asRoot)
        GTEST_SKIP() << "another user's folders can only be made when the tests run as root";
    const Top top;
    const struct
    {
        const char* open;    // open to all (0777, no sticky bit) from the start; "" is the data home
        bool theirs;         // and the other user's, not root's
        const char* swapped; // renamed away and made anew by the other user while it runs
    } cases[] = {{"Quenvo", true, "Quenvo/ZORBLET"}, {"", true, "Quenvo"}, {"", false, "Quenvo"}};
    int n = 0;
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::string("swapped: ") + c.swapped);
        const Homes h = MakeHomes(top.Cell(n++), true);
        const fs::path swapped = h.data / c.swapped, product = h.data / "Quenvo/ZORBLET";
        if (c.theirs)
            Own(h.data / c.open, kStranger);
        Must(::chmod((h.data / c.open).c_str(), 0777) == 0, "chmod");
        // Ordered by name, so each folder comes after the one above it.
        std::set<fs::path> tree{swapped, product / "PROFILES", product / "SAVES"};
        for (fs::path p = product; p != swapped; p = p.parent_path())
            tree.insert(p);
        auto swap = [&]
        {
            Must(::rename(swapped.c_str(), (swapped.parent_path() / "old").c_str()) == 0, "rename");
            for (const fs::path& p : tree)
                Folder(p, 0777, kStranger);
        };
        std::string problems = RunAndCheck(h, false, swap);
        // Refused from the start, so the session's records went to the
        // current folder rather than being lost at the exit.
        for (const char* record : {"00000100.bin", "00050000.bin"})
            if (!fs::exists(h.cwd / record))
                problems += std::string("; ") + record + " was not saved in the current folder";
        for (const auto& [p, e] : Take(swapped))
            if (!tree.count(p))
                problems +=
                    "; " + p.lexically_relative(h.root).string() + " written in the other user's tree";
        EXPECT_EQ(problems, "");
    }
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
        AsPlayer(h, 60, 022,
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
        AsPlayer(h, 60, 022,
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

// What the game makes is the player's alone whatever the umask, and usable
// by the next start: a start under umask 0777 must not leave folders no one
// may enter or a lock file no one may open.
TEST(TrustMatrix, AStartUnderUmask0777MakesPrivateThingsTheNextStartCanUse)
{
    const Top top;
    const Homes h = MakeHomes(top.Cell(0), false, false);
    const Snapshot before = Take(h.root);
    std::string problems = RunAndCheck(h, false, {}, 0777);
    const Snapshot after = Take(h.root);
    const fs::path product = h.data / "Quenvo/ZORBLET";
    for (const fs::path& p :
         {h.data / "Quenvo", product, product / "PROFILES", product / "SAVES",
          product / "PROFILES/00000100.bin", product / "PROFILES/00050000.bin",
          product / "SAVES/zorblet.html", product / "ZORBLET.lock", h.run / "ZORBLET.lock"})
        if (!after.count(p))
            problems += "; " + p.lexically_relative(h.root).string() + " was not made";
    // The files it made are judged by the checks every cell shares.
    for (const auto& [p, e] : after)
        if (!before.count(p) && S_ISDIR(e.info.st_mode) && (e.info.st_mode & 07777) != 0700)
            problems += "; folder " + p.lexically_relative(h.root).string() + " not made 0700";
    EXPECT_EQ(problems, "");
    EXPECT_EQ(RunAndCheck(h, false), "") << "the second start, at umask 022";
}
