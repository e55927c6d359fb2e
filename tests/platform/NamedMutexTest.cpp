#include "platform/files/NamedMutex.h"
#include "support/ChildProcess.h"
#include "support/PlatformFilesTestUtil.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using platform::NamedMutex;

namespace
{

class NamedMutexTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        env.Set("XDG_RUNTIME_DIR", folder.c_str());
        // The fallback under the temporary folder is this test's own, as
        // shared as /tmp itself.
        ::mkdir(tmpBase.c_str(), 0);
        ::chmod(tmpBase.c_str(), 01777);
        env.Set("TMPDIR", tmpBase.c_str());
    }
    filetest::TempFolder temp{filetest::For::Player}; // the player takes some of the locks
    const std::string folder = temp.Path(), tmpBase = folder + "/tmp";
    filetest::EnvGuard env;
};

TEST_F(NamedMutexTest, ASecondHolderOfTheNameIsToldItExists)
{
    EXPECT_EQ(NamedMutex::GetRuntimeFolder(), folder);
    NamedMutex first, second, other;
    ASSERT_EQ(first.Create("ZORBLET"), NamedMutex::Result::Created);
    EXPECT_TRUE(std::filesystem::exists(folder + "/ZORBLET.lock"));
    EXPECT_EQ(second.Create("ZORBLET"), NamedMutex::Result::AlreadyExists);
    EXPECT_EQ(other.Create("OTHER"), NamedMutex::Result::Created);
    first.Close();
    EXPECT_EQ(second.Create("ZORBLET"), NamedMutex::Result::Created) << "free once the holder lets go";
}

TEST_F(NamedMutexTest, ADeadHolderReleasesTheName)
{
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
    {
        NamedMutex held;
        char result = held.Create("ZORBLET") == NamedMutex::Result::Created ? 'y' : 'n';
        (void)!::write(ready[1], &result, 1);
        ::pause(); // killed below, without any chance to clean up
        ::_exit(0);
    }
    char result = 0;
    ASSERT_EQ(::read(ready[0], &result, 1), 1);
    EXPECT_EQ(result, 'y');
    NamedMutex mine;
    EXPECT_EQ(mine.Create("ZORBLET"), NamedMutex::Result::AlreadyExists) << "another process holds it";
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(mine.Create("ZORBLET"), NamedMutex::Result::Created);
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST_F(NamedMutexTest, UnusableNamesAndFoldersFail)
{
    NamedMutex m;
    EXPECT_EQ(m.Create(""), NamedMutex::Result::Failed);
    EXPECT_EQ(m.Create(nullptr), NamedMutex::Result::Failed);
    EXPECT_EQ(m.Create("no/such/folder"), NamedMutex::Result::Failed);
    // A relative runtime folder is not trusted; the fallback is the user's
    // own folder under /tmp.
    ::setenv("XDG_RUNTIME_DIR", "relative", 1);
    EXPECT_EQ(NamedMutex::GetRuntimeFolder(), tmpBase + "/zorblet-" + std::to_string(::geteuid()));
}

} // namespace

namespace
{

// The folder the lock went to, or the failure, as the player sees it with
// the given environment; names are unique so parallel runs do not meet.
struct LockCase
{
    const char* name;
    const char* runtime;       // XDG_RUNTIME_DIR below the test folder; null: unset
    mode_t runtimeMode;        // 0: the folder is not made
    bool runtimeForeign;       // the runtime folder belongs to another user
    bool squatTmp;             // another user made the player's folder under /tmp
    bool dataHome;             // XDG_DATA_HOME below the test folder is usable
    const char* expect;        // "runtime", "tmp", "data", "records" or "failed"
    bool records = false;      // a records folder of the player's is given
    mode_t recordsMode = 0700; // its mode
};

} // namespace

TEST_F(NamedMutexTest, TheLockIsPerUserAndABrokenRuntimeFolderFallsBack)
{
    const LockCase cases[] = {
        {"usable runtime folder", "run", 0700, false, false, true, "runtime"},
        {"missing runtime folder", "absent", 0, false, false, true, "tmp"},
        {"unset runtime folder", nullptr, 0, false, false, true, "tmp"},
        {"runtime folder others may write", "open", 0777, false, false, true, "tmp"},
        {"runtime folder of another user", "foreign", 0700, true, false, true, "tmp"},
        {"squatted /tmp folder", "absent", 0, false, true, true, "data"},
        {"nowhere to go", "absent", 0, false, true, false, "failed"},
        {"only the records folder", "absent", 0, false, true, false, "records", true},
        {"only a records folder others may write", "absent", 0, false, true, false, "failed", true, 01777},
    };
    const childtest::Player player;
    ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
    const std::string tmp = tmpBase + "/zorblet-" + std::to_string(player.uid);
    for (const LockCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        if ((c.runtimeForeign || c.squatTmp) && !player.asRoot)
            continue; // another user's folder cannot be made without root
        const std::string runtime = c.runtime ? folder + "/" + c.runtime : "";
        if (c.runtimeMode)
        {
            std::filesystem::create_directories(runtime);
            ASSERT_EQ(::chmod(runtime.c_str(), c.runtimeMode), 0);
            if (!c.runtimeForeign)
            {
                ASSERT_EQ(::chown(runtime.c_str(), player.uid, player.gid), 0);
            }
        }
        const std::string data = folder + "/data-" + std::to_string(&c - cases);
        if (c.dataHome)
        {
            std::filesystem::create_directories(data);
            ASSERT_EQ(::chown(data.c_str(), player.uid, player.gid), 0);
        }
        if (c.squatTmp)
        {
            std::filesystem::remove_all(tmp);
            ASSERT_EQ(::mkdir(tmp.c_str(), 0755), 0);
        }
        const std::string lockName = "TEST-" + std::to_string(::getpid()) + "-" + std::to_string(&c - cases);
        const std::string records = folder + "/records-" + std::to_string(&c - cases);
        if (c.records)
        {
            ASSERT_EQ(::mkdir(records.c_str(), 0700), 0);
            ASSERT_EQ(::chown(records.c_str(), player.uid, player.gid), 0);
            ASSERT_EQ(::chmod(records.c_str(), c.recordsMode), 0);
        }

        const std::string result = childtest::RunAsPlayer(
            player,
            [&]
            {
                if (c.runtime)
                    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
                else
                    ::unsetenv("XDG_RUNTIME_DIR");
                ::setenv("XDG_DATA_HOME", c.dataHome ? data.c_str() : (folder + "/no-data").c_str(), 1);
                ::setenv("HOME", "/nonexistent", 1);
                NamedMutex first, second;
                const char* shared = c.records ? records.c_str() : nullptr;
                if (first.Create(lockName.c_str(), shared) != NamedMutex::Result::Created)
                    return "failed: " + first.GetProblem();
                if (second.Create(lockName.c_str(), shared) != NamedMutex::Result::AlreadyExists)
                    return std::string("second copy not told");
                const std::string where = NamedMutex::GetRuntimeFolder();
                if (c.records && where.empty())
                    return std::string("records");
                return where == runtime ? "runtime" : where == tmp ? "tmp" : where == data ? "data" : where;
            });
        if (c.squatTmp)
            std::filesystem::remove_all(tmp);
        if (std::string(c.expect) == "failed")
        {
            EXPECT_EQ(result.rfind("failed: no folder for the lock file could be used", 0), 0u) << result;
            EXPECT_NE(result.find(tmp + ": owned by another user"), std::string::npos) << result;
            if (c.records)
            {
                EXPECT_NE(result.find(records + ": writable by other users"), std::string::npos) << result;
            }
        }
        else
        {
            EXPECT_EQ(result, c.expect);
        }
        std::filesystem::remove((c.expect == std::string("tmp") ? tmp : runtime) + "/" + lockName + ".lock");
    }
}

// A lock file left behind by a copy that was killed, even one that lost its
// write permission, never blocks the next start.
TEST_F(NamedMutexTest, AStaleLockFileDoesNotBlock)
{
    const std::string path = folder + "/ZORBLET.lock";
    std::ofstream(path) << "left over";
    ASSERT_EQ(::chmod(path.c_str(), 0400), 0);
    NamedMutex m;
    EXPECT_EQ(m.Create("ZORBLET"), NamedMutex::Result::Created);
}

// Another user who can reach the records' folder holds a lock on it, and
// on what is planted at lock files' names there: a file of their own, and a
// second name for a file of the player's that they may read. None of them
// is a second copy, and the player's file keeps its mode.
TEST_F(NamedMutexTest, AnotherUsersLocksInTheRecordsFolderDoNotStopTheStart)
{
    const childtest::Player other;
    if (!other.asRoot)
        GTEST_SKIP() << "holding a lock as another user needs the tests to run as root";
    const std::string shared = folder + "/records", notes = folder + "/notes";
    ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(shared.c_str(), 0), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 0777), 0);
    std::ofstream(notes) << "the player's";
    ASSERT_EQ(::chmod(notes.c_str(), 0644), 0);
    ASSERT_EQ(::link(notes.c_str(), (shared + "/OTHER.lock").c_str()), 0);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0)
    {
        char held = ::setgid(other.gid) == 0 && ::setuid(other.uid) == 0 ? 'y' : 'n';
        for (const int fd : {::open(shared.c_str(), O_RDONLY | O_DIRECTORY),
                             ::open((shared + "/ZORBLET.lock").c_str(), O_RDONLY | O_CREAT, 0644),
                             ::open(notes.c_str(), O_RDONLY)})
        {
            if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0)
                held = 'n';
        }
        (void)!::write(ready[1], &held, 1);
        ::pause();
        ::_exit(0);
    }
    char held = 0;
    const bool heard = ::read(ready[0], &held, 1) == 1;
    NamedMutex mutex, second;
    const NamedMutex::Result result = mutex.Create("ZORBLET", shared.c_str());
    const NamedMutex::Result linked = second.Create("OTHER", shared.c_str());
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    ASSERT_TRUE(heard && held == 'y') << "the other user could not take the locks";
    EXPECT_EQ(result, NamedMutex::Result::Created);
    EXPECT_EQ(linked, NamedMutex::Result::Created);
    struct stat info
    {
    };
    ASSERT_EQ(::stat(notes.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
}
