// The process entry in the environment it is started in: the single-instance
// lock, and writes that fail at start-up.
#include "INTERFACE/GGlobal.h"
#include "platform/NamedMutex.h"
#include "window/AppMain.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace
{

class EntryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/zorblet-entry-XXXXXX";
        root = ::mkdtemp(pattern);
        for (const char* folder : {"run", "data", "tmp", "here"})
            fs::create_directories(root / folder);
        ::chmod((root / "run").c_str(), 0700);
    }
    void TearDown() override { fs::remove_all(root); }

    // Runs fn in a child with the data home and the folders below the test
    // folder; its exit status.
    template <class Fn> int InChild(Fn fn)
    {
        const pid_t child = ::fork();
        if (child == 0)
        {
            ::setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
            ::setenv("TMPDIR", (root / "tmp").c_str(), 1);
            ::setenv("ZORBLET_BACKEND", "headless", 1);
            if (::chdir((root / "here").c_str()) != 0)
                ::_exit(120);
            fn();
            ::_exit(121);
        }
        int status = -1;
        ::waitpid(child, &status, 0);
        return status;
    }

    fs::path root;
};

bool windowMade = false;

OWindow* NoteTheWindow()
{
    windowMade = true;
    return nullptr;
}

} // namespace

// One copy started with XDG_RUNTIME_DIR and one without take their lock
// files in different folders; the folder of the records they share still
// keeps the second one out.
TEST_F(EntryTest, ACopyWithAnotherRuntimeFolderFindsTheRecordsTaken)
{
    const std::string runtime = (root / "run").string();
    const int status = InChild(
        [&]
        {
            ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
            platform::NamedMutex first;
            if (first.Create("ZORBLET", GGlobal::GetRecordsLockFolder().c_str()) !=
                platform::NamedMutex::Result::Created)
                ::_exit(122);
            ::unsetenv("XDG_RUNTIME_DIR");
            const int result = WinMain(&NoteTheWindow, &GGlobal::GetRecordsLockFolder);
            ::_exit(windowMade ? 123 : result);
        });
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0) << "123: the second copy ran";
}

// The real program, started in a folder without its pack: it ends with 255
// once the log is written and the records are read. A file-size limit below
// the log's size, or a closed stderr with a record to complain about, must
// not end it earlier by a signal.
TEST_F(EntryTest, WritesThatFailAtStartDoNotEndTheProgram)
{
    fs::create_directories(root / "data" / "Quenvo" / "ZORBLET" / "PROFILES" / "00000100.bin");
    for (const bool closedPipe : {false, true})
    {
        SCOPED_TRACE(closedPipe ? "stderr a closed pipe" : "file-size limit");
        const int status = InChild(
            [&]
            {
                ::setenv("XDG_RUNTIME_DIR", (root / "run").c_str(), 1);
                std::signal(SIGPIPE, SIG_DFL);
                std::signal(SIGXFSZ, SIG_DFL);
                int channel[2];
                if (closedPipe && ::pipe(channel) == 0)
                {
                    ::close(channel[0]);
                    ::dup2(channel[1], 2);
                }
                const rlimit limit{1000, 1000};
                if (!closedPipe)
                    ::setrlimit(RLIMIT_FSIZE, &limit), ::freopen("/dev/null", "w", stderr);
                ::execl(ZORBLET_BINARY, ZORBLET_BINARY, nullptr);
            });
        EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 255);
    }
}
