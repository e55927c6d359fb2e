#include "platform/Backend.h"
#include "platform/files/Registry.h"
#include "services/ORegKey.h"
#include "support/ChildProcess.h"
#include "support/PlatformFilesTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using filetest::TempFolder;
using namespace platform;

namespace
{

// Every case gets its own configuration folder and a registry that has not
// read it yet, as a freshly started program would.
class RegKeyTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        UseHeadless();
        setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
        ResetRegistry();
    }
    void TearDown() override { ResetRegistry(); }
    std::string UserFile() const { return config / "Quenvo/ZORBLET/registry"; }
    TempFolder config{filetest::For::Player}; // the player makes some of the changes
};

TEST_F(RegKeyTest, PathsEnumerationAndQueriesThatFillTheCallersRoomAndNoMore)
{
    ORegKey key;
    key.Open(HKEY_CURRENT_USER, "\\/\\Software\\Quenvo\\Test", true, false);
    ASSERT_EQ(key.failed, 0u);
    EXPECT_STREQ(key.path, "Software\\Quenvo\\Test");
    EXPECT_EQ(key.root, HKEY_CURRENT_USER);
    const u8 bytes[] = {0, 1, 2};
    EXPECT_EQ(key.SetString("text", "abcdef") + key.SetDword("number", 7) + key.SetBinary("bytes", bytes, 3),
              0u);

    char name[16];
    std::vector<std::string> names;
    for (bool more = key.EnumFirstValue(name, sizeof name); more; more = key.EnumNextValue(name, sizeof name))
        names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"text", "number", "bytes"}));
    EXPECT_EQ(key.failed, 0u) << "the end of the values is no failure";
    EXPECT_EQ(key.index, 3u);
    EXPECT_FALSE(key.EnumFirstValue(name, 4)) << "\"text\" and its zero need 5";
    EXPECT_EQ(key.failed, static_cast<u32>(ERROR_MORE_DATA));

    // "abcdef" is 7 bytes with its zero: a smaller buffer is filled and ended
    // at its last byte, and the result is what the buffer holds.
    const struct
    {
        const char* name;
        i32 size, result;
        const char* text;
        u32 failed;
    } cases[] = {
        {"text", 10, 7, "abcdef", 0}, {"text", 7, 7, "abcdef", 0}, {"text", 4, 4, "abc", 0},
        {"text", 1, 1, "", 0},        {"missing", 8, 0, "", 1},    {"number", 8, 4, "\x07", 0},
    };
    for (const auto& c : cases)
    {
        char buffer[16];
        std::fill(std::begin(buffer), std::end(buffer), '#');
        EXPECT_EQ(key.QueryString(c.name, buffer, c.size), c.result) << c.name << " " << c.size;
        EXPECT_STREQ(buffer, c.text) << c.name << " " << c.size;
        EXPECT_EQ(buffer[c.size], '#') << "nothing written past the buffer";
        EXPECT_EQ(key.failed, c.failed);
    }
    u32 value = 77;
    EXPECT_EQ(key.QueryDword("missing", &value), 77u) << "a failed query gives back the caller's value";
    EXPECT_EQ(key.failed, 1u);

    // The same key by another spelling: names ignore case.
    ORegKey again;
    again.Open(HKEY_CURRENT_USER, "software\\QUENVO\\test", false, true);
    ASSERT_EQ(again.failed, 0u);
    EXPECT_EQ(again.QueryDword("NUMBER", &value), 7u);
    EXPECT_EQ(again.SetDword("number", 1), 1u) << "opened read-only";
    key.Close();
    EXPECT_EQ(key.key, HKEY{});
    EXPECT_EQ(key.path, nullptr);

    // Without an open key nothing happens and failure is returned.
    ORegKey closed;
    value = 5;
    EXPECT_EQ(closed.QueryDword("number", &value), 5u);
    EXPECT_EQ(closed.SetDword("number", 1), 1u);
    EXPECT_FALSE(closed.EnumFirstValue(nullptr, 0));
}

TEST_F(RegKeyTest, MachineBranchDescribesThisMachineAndRefusesChanges)
{
    ORegKey cpu;
    cpu.Open(HKEY_LOCAL_MACHINE, "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", false, true);
    ASSERT_EQ(cpu.failed, 0u);
    char text[256];
    EXPECT_GT(cpu.QueryString("VendorIdentifier", text, sizeof text) +
                  cpu.QueryString("ProcessorNameString", text, sizeof text),
              0);
    EXPECT_EQ(cpu.SetDword("~MHz", 1), 1u);
    EXPECT_GT(GetCpuMHz(), 0);

    ORegKey writable;
    writable.Open(HKEY_LOCAL_MACHINE, "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", false, false);
    EXPECT_EQ(writable.failed, 1u);
    writable.Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\New", true, false);
    EXPECT_EQ(writable.failed, 1u);
}

TEST_F(RegKeyTest, UserKeysOutliveTheProcessThatWroteThem)
{
    const std::vector<u8> bytes{0, 0x25, 0xFF, 0x0A};
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
    {
        ORegKey key;
        key.Open(HKEY_CURRENT_USER, "Software\\Quenvo\\Saved", true, false);
        _exit(static_cast<int>(key.failed + key.SetString("a name with spaces", "text\nwith a line") +
                               key.SetDword("number", 0xDEADBEEF) + key.SetBinary("bytes", bytes.data(), 4)));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(std::filesystem::exists(UserFile()));
    EXPECT_FALSE(std::filesystem::exists(UserFile() + ".tmp"));

    ORegKey key;
    key.Open(HKEY_CURRENT_USER, "Software\\Quenvo\\Saved", false, true);
    ASSERT_EQ(key.failed, 0u);
    char text[64];
    EXPECT_EQ(key.QueryString("a name with spaces", text, sizeof text), 17);
    EXPECT_STREQ(text, "text\nwith a line");
    u32 number = 0;
    EXPECT_EQ(key.QueryDword("number", &number), 0xDEADBEEFu);
    u8 read[8] = {};
    EXPECT_EQ(key.QueryBinary("bytes", read, sizeof read), 4u);
    EXPECT_EQ(std::vector<u8>(read, read + 4), bytes);
}

TEST_F(RegKeyTest, AChangeThatCannotBeStoredIsUndoneAndReported)
{
    // The configuration "folder" is a file: nothing can be written below it.
    const std::string blocked = config / "blocked";
    filetest::WriteBytes(blocked, {1});
    setenv("XDG_CONFIG_HOME", blocked.c_str(), 1);
    ResetRegistry();
    ORegKey key;
    key.Open(HKEY_CURRENT_USER, "Software\\Quenvo", true, false);
    EXPECT_EQ(key.failed, 1u);
    HKEY root = HKEY_CURRENT_USER;
    EXPECT_EQ(RegSetValueEx(root, "v", REG_DWORD, reinterpret_cast<const u8*>("\1\0\0\0"), 4),
              ERROR_WRITE_FAULT);
    u32 size = 0;
    EXPECT_EQ(RegQueryValueEx(root, "v", nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    key.Open(HKEY_CURRENT_USER, "Software", false, true);
    EXPECT_EQ(key.failed, 1u) << "the key that could not be stored is gone";
}

// A file of 1 TiB (sparse) at the registry's name is not read into memory:
// reads find no keys, changes are refused, and the file stays as it was.
TEST_F(RegKeyTest, AFileFarLongerThanAnyRegistryIsLeftAsItIs)
{
    std::filesystem::create_directories(config / "Quenvo/ZORBLET");
    const std::string text = "ZORBLET registry 1\nK Old\n";
    filetest::WriteBytes(UserFile(), {text.begin(), text.end()});
    ASSERT_EQ(::truncate(UserFile().c_str(), off_t(1) << 40), 0);
    struct stat before
    {
    };
    ASSERT_EQ(::stat(UserFile().c_str(), &before), 0);
    HKEY key{};
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Old", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "New", 0, KEY_ALL_ACCESS, &key, nullptr),
              ERROR_FILE_TOO_LARGE);
    struct stat after
    {
    };
    ASSERT_EQ(::stat(UserFile().c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "not replaced";
    EXPECT_EQ(after.st_size, before.st_size);
}

// Each user file is set up by the test (as the player's or another user's,
// with a mode, maybe behind a link, in a folder of the player's or not), then
// read and changed twice by the player. Beside it lie files of the player's
// that only look like a writer's replacements, which stay. The first refused
// change of the process says why in one line on stderr, the second nothing.
TEST_F(RegKeyTest, ChangesRespectTheFilesPermissionsAndFollowLinks)
{
    enum Folder
    {
        Own,
        Foreign,     // the game's folder was made by another user, open to all
        PlantedLink, // another user put a link to a folder of the player's in its place
        LockLink,    // another user put a link at the name of the lock file
        ReadOnly,    // the game's folder takes no new files (0500)
    };
    const struct
    {
        const char* name;
        mode_t mode;
        bool foreign, linked;
        Folder folder;
        i32 read, result;
        const char* says; // what the line told at the first change says; "" when nothing is told
    } cases[] = {
        {"own 0000", 0000, false, false, Own, ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED,
         "cannot be used (Permission denied); settings changed in this session are not kept."},
        {"own 0444", 0444, false, false, Own, ERROR_SUCCESS, ERROR_ACCESS_DENIED, "(Permission denied);"},
        {"foreign 0644", 0644, true, false, Own, ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED,
         "/registry\" belongs to another user);"},
        {"own 0640", 0640, false, false, Own, ERROR_SUCCESS, ERROR_SUCCESS, ""},
        {"own 0600 behind a link", 0600, false, true, Own, ERROR_SUCCESS, ERROR_SUCCESS, ""},
        {"own 0600 in another user's folder", 0600, false, false, Foreign, ERROR_FILE_NOT_FOUND,
         ERROR_ACCESS_DENIED, "/ZORBLET\" belongs to another user);"},
        {"own 0600 behind another user's link", 0600, false, false, PlantedLink, ERROR_FILE_NOT_FOUND,
         ERROR_ACCESS_DENIED, "/Quenvo\" belongs to another user);"},
        {"own 0600, another user's link at the lock's name", 0600, false, false, LockLink, ERROR_SUCCESS,
         ERROR_ACCESS_DENIED, "/registry.lock\" is a link another user put there);"},
        {"own 0600 in a folder that takes no new files", 0600, false, false, ReadOnly, ERROR_SUCCESS,
         ERROR_ACCESS_DENIED, "(no new file can be made beside it: Permission denied);"},
    };
    const childtest::Player player;
    const uid_t stranger = player.uid == 1 ? 2 : 1;
    const std::string old = "ZORBLET registry 1\nK \\\nK Old\nV 4 v 01000000\n";
    const std::set<std::string> lookAlikes{"registry.backup", "registry.before", "registry.2024v1"};
    ASSERT_EQ(::chown(config.Path().c_str(), player.uid, player.gid), 0);
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        if ((c.foreign || (c.folder != Own && c.folder != ReadOnly)) && !player.asRoot)
            continue; // another user's file cannot be made without root
        const std::string home = config / c.name, vendor = home + "/Quenvo", folder = vendor + "/ZORBLET",
                          elsewhere = home + "/elsewhere", mine = home + "/mine",
                          holder = c.folder == PlantedLink ? mine : folder,
                          file = (c.linked ? elsewhere : holder) + "/registry";
        for (const std::string& f : {home, vendor, holder, elsewhere})
        {
            std::filesystem::create_directories(f);
            ASSERT_EQ(::chown(f.c_str(), player.uid, player.gid), 0);
        }
        filetest::WriteBytes(file, std::vector<unsigned char>(old.begin(), old.end()));
        if (c.linked)
            std::filesystem::create_symlink(file, holder + "/registry");
        for (const std::string& name : lookAlikes)
        {
            filetest::WriteBytes(holder + "/" + name, {'K'});
            ASSERT_EQ(::chown((holder + "/" + name).c_str(), player.uid, player.gid), 0);
        }
        std::filesystem::create_symlink(file, holder + "/registry.LINK00");
        ASSERT_EQ(::chmod(file.c_str(), c.mode), 0);
        ASSERT_EQ(::chown(file.c_str(), c.foreign ? ::geteuid() : player.uid, player.gid), 0);
        if (c.folder == Foreign)
        {
            ASSERT_EQ(::chown(folder.c_str(), stranger, player.gid), 0);
            ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
        }
        if (c.folder == PlantedLink)
        {
            ASSERT_EQ(::chown(vendor.c_str(), stranger, player.gid), 0);
            ASSERT_EQ(::chmod(vendor.c_str(), 0777), 0);
            std::filesystem::create_symlink(mine, folder);
            ASSERT_EQ(::lchown(folder.c_str(), stranger, player.gid), 0);
        }
        if (c.folder == LockLink)
        {
            std::filesystem::create_symlink(file, folder + "/registry.lock");
            ASSERT_EQ(::lchown((folder + "/registry.lock").c_str(), stranger, player.gid), 0);
        }
        if (c.folder == ReadOnly)
        {
            ASSERT_EQ(::chmod(folder.c_str(), 0500), 0);
        }
        setenv("XDG_CONFIG_HOME", home.c_str(), 1);

        // The second change, of the same kind, is refused as the first was
        // (or, once made, finds it made).
        const std::string said = home + ".said";
        auto readAndChange = [&]
        {
            std::freopen(said.c_str(), "w", stderr);
            ResetRegistry();
            HKEY key{};
            std::string results = std::to_string(RegOpenKeyEx(HKEY_CURRENT_USER, "Old", 0, KEY_READ, &key));
            for (int change = 0; change < 2; ++change)
                results += " " + std::to_string(RegCreateKeyEx(HKEY_CURRENT_USER, "New", 0, KEY_ALL_ACCESS,
                                                               &key, nullptr));
            std::fflush(stderr);
            return results;
        };
        const std::string result = std::to_string(c.result);
        EXPECT_EQ(childtest::RunAsPlayer(player, readAndChange),
                  std::to_string(c.read) + " " + result + " " + result);
        if (c.folder == ReadOnly)
        {
            ASSERT_EQ(::chmod(folder.c_str(), 0700), 0);
        }
        const std::vector<unsigned char> told = filetest::ReadBytes(said);
        const std::string line(told.begin(), told.end());
        EXPECT_TRUE(c.says[0]
                        ? line.rfind("The registry \"" + folder + "/registry\" ", 0) == 0 &&
                              line.find(c.says) != std::string::npos && line.find('\n') == line.size() - 1
                        : line.empty())
            << "one line, or none: " << line;
        const std::vector<unsigned char> text = filetest::ReadBytes(file);
        EXPECT_EQ(std::string(text.begin(), text.end()), c.result ? old : old + "K New\n");
        struct stat after
        {
        };
        ASSERT_EQ(::stat(file.c_str(), &after), 0);
        EXPECT_EQ(after.st_mode & 0777, c.result ? c.mode : c.mode & 0600) << "never more than 0600";
        EXPECT_EQ(after.st_uid, c.foreign ? ::geteuid() : player.uid);
        EXPECT_EQ(std::filesystem::is_symlink(holder + "/registry"), c.linked);
        std::set<std::string> left;
        for (const auto& entry : std::filesystem::directory_iterator(holder))
            left.insert(entry.path().filename());
        std::set<std::string> expected = lookAlikes;
        expected.insert({"registry", "registry.LINK00"});
        if (c.folder == Own || c.folder == LockLink)
            expected.insert("registry.lock");
        EXPECT_EQ(left, expected) << "nothing is made in, or removed from, a folder the game does not use";
    }
}

// A writer killed midway (here by a file-size limit) leaves its replacement,
// a full copy of the keys, beside the file; the next change removes exactly
// that one.
TEST_F(RegKeyTest, TheReplacementAKilledWriterLeftIsRemovedByTheNextChange)
{
    HKEY key{};
    ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "Old", 0, KEY_ALL_ACCESS, &key, nullptr), ERROR_SUCCESS);
    const std::string folder = config / "Quenvo/ZORBLET";
    auto names = [&]
    {
        std::set<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            found.insert(entry.path().filename());
        return found;
    };
    const std::set<std::string> before = names();
    const pid_t writer = ::fork();
    ASSERT_GE(writer, 0);
    if (writer == 0)
    {
        std::signal(SIGXFSZ, SIG_DFL);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ResetRegistry();
        const std::vector<u8> big(8192, 7);
        HKEY root = HKEY_CURRENT_USER;
        RegSetValueEx(root, "big", REG_BINARY, big.data(), static_cast<u32>(big.size()));
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(writer, &status, 0), writer);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << "status " << status;
    ASSERT_EQ(names().size(), before.size() + 1) << "the killed writer left its replacement";
    ResetRegistry();
    ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "New", 0, KEY_ALL_ACCESS, &key, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(names(), before);
}

// The lock file's note names the one replacement the next change removes. A
// note is only ever a bare replacement's name in the registry's own folder,
// and names only a plain file of the player's: a path, a name with a NUL in
// it, or a link at the noted name remove nothing.
TEST_F(RegKeyTest, TheLocksNoteRemovesOnlyABareReplacementOfThePlayers)
{
    HKEY key{};
    ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "Old", 0, KEY_ALL_ACCESS, &key, nullptr), ERROR_SUCCESS);
    const std::string folder = config / "Quenvo/ZORBLET", victim = config / "victim.abcdef";
    const struct
    {
        const char* name;
        std::string note;
        bool linkAtNote; // the noted name is a link to the victim
        bool removed;    // the noted file is gone after the change
    } cases[] = {
        {"a writer's leftover", "registry.Ab12Cd", false, true},
        {"a whole path", victim, false, false},
        {"a path from the registry's folder", "../../victim.abcdef", false, false},
        {"a name cut by a NUL", std::string("registry.Ab12Cd\0/x", 19), false, false},
        {"a link at the noted name", "registry.Ab12Cd", true, false},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        filetest::WriteBytes(victim, {'v'});
        const std::string noted = folder + "/registry.Ab12Cd";
        std::filesystem::remove(noted);
        if (c.linkAtNote)
            std::filesystem::create_symlink(victim, noted);
        else
            filetest::WriteBytes(noted, {'K'});
        filetest::WriteBytes(folder + "/registry.lock",
                             std::vector<unsigned char>(c.note.begin(), c.note.end()));
        ResetRegistry();
        ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, c.name, 0, KEY_ALL_ACCESS, &key, nullptr), ERROR_SUCCESS);
        EXPECT_EQ(std::filesystem::exists(std::filesystem::symlink_status(noted)), !c.removed);
        EXPECT_EQ(filetest::ReadBytes(victim), std::vector<unsigned char>{'v'});
        EXPECT_EQ(std::filesystem::file_size(folder + "/registry.lock"), 0u) << "the note is taken back";
    }
}

// Two processes change the file at once, after this one read it and while
// it holds a key open: no change fails, and none is lost when this one
// changes the file last.
TEST_F(RegKeyTest, ProcessesChangingTheFileTogetherKeepEveryChange)
{
    ORegKey first;
    first.Open(HKEY_CURRENT_USER, "Software\\Two\\First", true, false);
    ASSERT_EQ(first.failed, 0u);
    pid_t children[2];
    for (u32 i = 0; i < 2; ++i)
    {
        ASSERT_GE(children[i] = fork(), 0);
        if (children[i] == 0)
        {
            ResetRegistry();
            ORegKey key;
            key.Open(HKEY_CURRENT_USER, ("Software\\Two\\" + std::to_string(i)).c_str(), true, false);
            u32 failures = key.failed;
            for (u32 n = 0; n < 40; ++n)
                failures += key.SetDword(std::to_string(n).c_str(), n);
            _exit(static_cast<int>(failures));
        }
    }
    for (pid_t child : children)
    {
        int status = -1;
        waitpid(child, &status, 0);
        EXPECT_EQ(status, 0) << "changes that failed: " << WEXITSTATUS(status);
    }
    EXPECT_EQ(first.SetDword("v", 1), 0u);
    ResetRegistry();
    for (const char* path : {"Software\\Two\\0", "Software\\Two\\1", "Software\\Two\\First"})
    {
        ORegKey key;
        key.Open(HKEY_CURRENT_USER, path, false, true);
        u32 values = 0;
        char name[8];
        for (bool more = key.EnumFirstValue(name, sizeof name); more;
             more = key.EnumNextValue(name, sizeof name))
            ++values;
        EXPECT_EQ(values, path[13] == 'F' ? 1u : 40u) << path;
    }
}

// A change waits a few seconds at most for the player's own process that
// holds the registry's lock (here stopped), then fails with the file and the
// keys as they were. Another user (where the tests can be one), who can reach
// the folder and lock it, no longer holds changes up at all.
TEST_F(RegKeyTest, ALockHeldElsewhereHoldsAChangeUpBrieflyOrNotAtAll)
{
    const childtest::Player other;
    const std::string folder = config / "Quenvo/ZORBLET";
    HKEY key{};
    ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "Old", 0, KEY_ALL_ACCESS, &key, nullptr), ERROR_SUCCESS);
    for (const std::string& f : {config.Path(), config / "Quenvo", folder})
        ASSERT_EQ(::chmod(f.c_str(), 0755), 0); // as folders made under the usual umask were
    for (const bool byOther : {false, true})
    {
        const std::vector<unsigned char> before = filetest::ReadBytes(UserFile());
        const char* newKey = byOther ? "Free" : "Held";
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t holder = fork();
        ASSERT_GT(holder, -1);
        if (holder == 0)
        {
            if (byOther && other.asRoot && (::setgid(other.gid) != 0 || ::setuid(other.uid) != 0))
                _exit(1);
            const int fd = byOther ? ::open(folder.c_str(), O_RDONLY)
                                   : ::open((folder + "/registry.lock").c_str(), O_RDONLY | O_CREAT, 0600);
            if (fd < 0 || ::flock(fd, LOCK_EX) != 0 || ::write(ready[1], "x", 1) != 1)
                _exit(1);
            ::raise(SIGSTOP);
            _exit(0);
        }
        ::close(ready[1]);
        char byte = 0;
        const bool held = ::read(ready[0], &byte, 1) == 1;
        ::close(ready[0]);
        ::alarm(60); // a change that waits for good ends the run instead
        const auto start = std::chrono::steady_clock::now();
        const i32 result =
            held ? RegCreateKeyEx(HKEY_CURRENT_USER, newKey, 0, KEY_ALL_ACCESS, &key, nullptr) : -1;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
        ::alarm(0);
        ::kill(holder, SIGKILL);
        ::waitpid(holder, nullptr, 0);
        EXPECT_EQ(result, byOther ? ERROR_SUCCESS : ERROR_LOCK_VIOLATION) << newKey;
        if (!byOther)
        {
            EXPECT_EQ(filetest::ReadBytes(UserFile()), before);
            EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, newKey, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
        }
    }
}

// 280,000 values in one key (4 MB) are read in time in proportion to the
// file: finding each name among the values read so far took minutes.
TEST_F(RegKeyTest, AFileOfManyValuesIsReadInLinearTime)
{
    std::string text = "ZORBLET registry 1\nK Big\n";
    for (u32 i = 0; i < 280000; ++i)
        text += "V 3 v" + std::to_string(i) + " 01\n";
    std::filesystem::create_directories(config / "Quenvo/ZORBLET");
    filetest::WriteBytes(UserFile(), {text.begin(), text.end()});
    const auto start = std::chrono::steady_clock::now();
    HKEY key{};
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "big", 0, KEY_READ, &key), ERROR_SUCCESS);
    u32 size = 0;
    EXPECT_EQ(RegQueryValueEx(key, "V279999", nullptr, nullptr, &size), ERROR_SUCCESS);
    const auto spent = std::chrono::steady_clock::now() - start;
    EXPECT_LT(spent, std::chrono::seconds(10));
    std::printf("280,000 values read and queried in %lld ms\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(spent).count()));
}

// A key deeper than 512 levels is refused through the calls and left out of
// a file; the deepest keys allowed are written, read and freed like others.
TEST_F(RegKeyTest, KeysDeeperThanTheLimitAreRefusedOrLeftOut)
{
    auto levels = [](size_t n)
    {
        std::string path = "k";
        while (--n)
            path += "\\k";
        return path;
    };
    std::filesystem::create_directories(config / "Quenvo/ZORBLET");
    const std::string text = "ZORBLET registry 1\nK " + levels(250000) + "\nK b\n";
    filetest::WriteBytes(UserFile(), {text.begin(), text.end()});
    HKEY key{}, below{};
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "k", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "b", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, levels(30000).c_str(), 0, KEY_ALL_ACCESS, &below, nullptr),
              ERROR_BAD_PATHNAME);
    ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, levels(512).c_str(), 0, KEY_ALL_ACCESS, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegCreateKeyEx(key, "k", 0, KEY_ALL_ACCESS, &below, nullptr), ERROR_BAD_PATHNAME);
    ResetRegistry();
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, levels(512).c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
}

// Random changes under one key, checked after each step against a plain
// model (keys by lower-case path, values in the order first set) and, now
// and then, after the registry reads its file back.
TEST_F(RegKeyTest, RandomChangesMatchAModelAndSurviveReading)
{
    struct Value
    {
        std::string name;
        u32 type;
        std::vector<u8> data;
        bool operator==(const Value&) const = default;
    };
    std::map<std::string, std::vector<Value>> model;
    std::mt19937 random(20261207);
    auto pick = [&](u32 n) { return static_cast<u32>(random() % n); };
    auto recase = [&](std::string s, bool atRandom) // lower case, or each letter at random
    {
        for (char& c : s)
            c = static_cast<char>(atRandom && pick(2) ? std::toupper(static_cast<unsigned char>(c))
                                                      : std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    auto find = [&](std::vector<Value>& values, const std::string& name)
    {
        return std::find_if(values.begin(), values.end(),
                            [&](const Value& v) { return recase(v.name, false) == recase(name, false); });
    };
    const char* const paths[] = {"A", "a\\B", "A\\b\\C", "D", "d\\E"};
    const char* const names[] = {"", "x", "X", "name with space", "per%cent", "\x01\xff", "K V"};
    const u32 types[] = {REG_SZ, REG_DWORD, REG_BINARY};

    auto check = [&]
    {
        for (const auto& [path, values] : model)
        {
            HKEY key{};
            ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, ("Software\\Fuzz\\" + path).c_str(), 0, KEY_READ, &key),
                      ERROR_SUCCESS)
                << path;
            std::vector<Value> read;
            for (i32 result = ERROR_SUCCESS; result == ERROR_SUCCESS && read.size() <= values.size();)
            {
                char name[64];
                u8 data[64];
                u32 nameLength = sizeof name, dataSize = sizeof data, type = 99;
                result = RegEnumValue(key, static_cast<u32>(read.size()), name, &nameLength, &type, data,
                                      &dataSize);
                if (result == ERROR_SUCCESS)
                    read.push_back(
                        {std::string(name, nameLength), type, std::vector<u8>(data, data + dataSize)});
                else
                    EXPECT_EQ(result, ERROR_NO_MORE_ITEMS) << path;
            }
            EXPECT_EQ(read, values) << path;
            RegCloseKey(key);
        }
    };

    for (int step = 0; step < 400; ++step)
    {
        const std::string path = recase(paths[pick(5)], false),
                          full = "Software\\Fuzz\\" + recase(path, true);
        const u32 action = pick(4); // set a value (twice as likely), delete one, delete the key
        ORegKey key;
        key.Open(HKEY_CURRENT_USER, full.c_str(), action < 2, false);
        ASSERT_TRUE(action != 2 || key.failed == (model.count(path) ? 0u : 1u))
            << path << " opens when it exists";
        if (action < 2)
        {
            ASSERT_EQ(key.failed, 0u);
            for (size_t end = path.find('\\');; end = path.find('\\', end + 1))
            {
                model[path.substr(0, end)]; // the key and every key above it
                if (end == std::string::npos)
                    break;
            }
            const std::string name = recase(names[pick(7)], true);
            Value value{name, types[pick(3)], std::vector<u8>(pick(9))};
            for (u8& byte : value.data)
                byte = static_cast<u8>(random());
            ASSERT_EQ(RegSetValueEx(key.key, name.c_str(), value.type, value.data.data(),
                                    static_cast<u32>(value.data.size())),
                      ERROR_SUCCESS);
            auto same = find(model[path], name);
            if (same == model[path].end())
                model[path].push_back(value);
            else
                same->type = value.type, same->data = value.data;
        }
        else if (action == 2 && !key.failed)
        {
            const std::string name = names[pick(7)];
            auto same = find(model[path], name);
            EXPECT_EQ(key.DeleteValue(name.c_str()), same == model[path].end() ? 1u : 0u);
            if (same != model[path].end())
                model[path].erase(same);
        }
        else if (action == 3 && !key.failed)
        {
            auto below = model.lower_bound(path + "\\");
            const bool hasChildren = below != model.end() && below->first.rfind(path + "\\", 0) == 0;
            key.DeleteKey();
            EXPECT_EQ(key.failed, hasChildren ? 1u : 0u) << path;
            if (!hasChildren)
                model.erase(path);
        }
        check();
        if (pick(20) == 0)
        {
            ResetRegistry();
            check();
        }
    }
    ResetRegistry();
    check();
}

} // namespace
