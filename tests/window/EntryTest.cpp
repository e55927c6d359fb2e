// The process entry in the environment it is started in: the single-instance
// lock, and writes that fail at start-up.
#include "INTERFACE/GGlobal.h"
#include "platform/files/NamedMutex.h"
#include "support/PlatformFilesTestUtil.h"
#include "window/AppMain.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

// The exit status of fn run in a child whose data and config homes,
// temporary folder and current folder are below root, without a runtime
// folder.
template <class Fn> int InChild(const filetest::TempFolder& root, Fn fn)
{
    const pid_t child = ::fork();
    if (child == 0)
    {
        ::setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        ::setenv("TMPDIR", root.Path().c_str(), 1);
        ::unsetenv("XDG_RUNTIME_DIR");
        ::setenv("ZORBLET_BACKEND", "headless", 1);
        if (::chdir(root.Path().c_str()) == 0)
            fn();
        ::_exit(121);
    }
    int status = -1;
    ::waitpid(child, &status, 0);
    return status;
}

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
TEST(EntryTest, ACopyWithAnotherRuntimeFolderFindsTheRecordsTaken)
{
    const filetest::TempFolder root;
    const int status = InChild(root,
                               [&]
                               {
                                   ::setenv("XDG_RUNTIME_DIR", root.Path().c_str(), 1);
                                   platform::NamedMutex first;
                                   first.Create("ZORBLET");
                                   GGlobal::LockRecords(first);
                                   ::unsetenv("XDG_RUNTIME_DIR");
                                   const int result = WinMain(&NoteTheWindow, &GGlobal::LockRecords);
                                   ::_exit(windowMade ? 123 : result);
                               });
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status << " (123: it ran)";
}

// The real program, started in a folder without its pack, ends with 255 once
// the log is written and the records are read. A file-size limit below the
// log's size, or a closed stderr with a record to complain about, must not
// end it earlier by a signal.
TEST(EntryTest, WritesThatFailAtStartDoNotEndTheProgram)
{
    const filetest::TempFolder root;
    std::filesystem::create_directories(root / "data/Quenvo/ZORBLET/PROFILES/00000100.bin");
    for (const bool closedPipe : {false, true})
    {
        SCOPED_TRACE(closedPipe ? "stderr a closed pipe" : "file-size limit");
        const int status = InChild(root,
                                   [&]
                                   {
                                       std::signal(SIGPIPE, SIG_DFL);
                                       std::signal(SIGXFSZ, SIG_DFL);
                                       int channel[2];
                                       const rlimit limit{1000, 1000};
                                       if (closedPipe && ::pipe(channel) == 0)
                                           ::close(channel[0]), ::dup2(channel[1], 2);
                                       else if (!closedPipe)
                                           ::setrlimit(RLIMIT_FSIZE, &limit),
                                               ::freopen("/dev/null", "w", stderr);
                                       ::execl(ZORBLET_BINARY, ZORBLET_BINARY, nullptr);
                                   });
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 255)
            << (WIFSIGNALED(status) ? "ended by signal " : "exit status ") << status;
    }
}
