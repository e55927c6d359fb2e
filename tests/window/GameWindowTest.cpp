// The game's window object: start-up, the records it keeps, and input routing.
#include "WindowFixture.h"

#include "INTERFACE/GGlobal.h"
#include "INTERFACE/GWindow.h"
#include "StartPack.h"
#include "image/OBitmapStore.h"
#include "platform/Termination.h"
#include "platform/files/NamedMutex.h"
#include "platform/files/Registry.h"
#include "render/GPtrArray.h"
#include "render/OEngine.h"
#include "render/ORectList.h"
#include "services/OSaveFile.h"
#include "support/ChildProcess.h"
#include "support/PlatformFilesTestUtil.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace platform;
namespace fs = std::filesystem;

namespace
{

class Screen : public OEngine
{
public:
    explicit Screen(std::vector<std::string>* log, const char* name) : log_(log), name_(name) {}
    int Update() override { return Note("update", 0); }
    int OnKeyUp(u32 key) override { return Note("keyup", key); }
    int OnChar(u32 c) override { return Note("char", c); }
    int OnLButtonDown(i16 x, i16) override { return Note("ldown", static_cast<u32>(x)); }
    int OnMouseMove(i16 x, i16) override { return Note("move", static_cast<u32>(x)); }

private:
    int Note(const char* what, u32 v)
    {
        log_->push_back(name_ + " " + what + " " + std::to_string(v));
        return 1;
    }
    std::vector<std::string>* log_;
    std::string name_;
};

std::vector<u8> ReadAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class GameWindowTest : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        // The game's folders, the registry and the single-instance lock are
        // all below home; what a test sets instead is put back at its end.
        env.Set("XDG_DATA_HOME", home.c_str());
        env.Set("XDG_CONFIG_HOME", (home / "config").c_str());
        env.Set("XDG_RUNTIME_DIR", (home / "runtime").c_str());
        previous = fs::current_path();
        fs::create_directory(home / "runtime");
        // The window loads the pack of "800x600" below the current folder.
        fs::create_directories(home / "run" / "800x600");
        std::string error;
        ASSERT_TRUE(WriteStartPack((home / "run" / "800x600").string(), &error)) << error;
        fs::current_path(home / "run");
    }
    void TearDown() override
    {
        fs::current_path(previous);
        ResetRegistry();
    }

    const filetest::TempFolder temp;
    const fs::path home = temp.Path();
    const fs::path profiles = home / "Quenvo" / "ZORBLET" / "PROFILES";
    fs::path previous;
    filetest::EnvGuard env;
};

// Starts a process that shows a window of type W with the termination
// signals caught, runs `shown`, and ends with the code of the window's loop.
template <typename W, typename Shown> pid_t RunInChild(Shown shown)
{
    const pid_t child = ::fork();
    if (child == 0)
    {
        ::alarm(20);
        platform::CatchTerminationSignals();
        W w;
        if (w.Create("ZORBLET", "ZORBLET", 800, 600) != 1)
            ::_exit(2);
        w.Show();
        shown();
        ::_exit(w.Run());
    }
    return child;
}

} // namespace

TEST_F(GameWindowTest, StartUpSetsTheWindowUpAndExitSavesBothRecords)
{
    GWindow w;
    ASSERT_EQ(w.Create("ZORBLET", "ZORBLET", 800, 600), 1u);
    EXPECT_EQ(w.frameInterval, 50u);
    EXPECT_EQ(w.showFrameStats, 0);
    ASSERT_NE(w.GetClips(), nullptr);
    EXPECT_EQ(w.GetClips()->capacity, 5000);
    EXPECT_EQ(w.GetDirtyRects()->capacity, 5000);
    EXPECT_EQ(hb->GetWindowCaption(w.GetHWND()), "ZORBLET");
    EXPECT_LT(hb->GetCursorCount(), 0); // hidden
    EXPECT_EQ(hb->GetDisplayModeDepth(), 32);
    EXPECT_EQ(w.fullScreen, 1);
    EXPECT_EQ(w.GetGame(), nullptr);
    ASSERT_NE(w.GetGlobal(), nullptr);
    EXPECT_EQ(w.GetGlobal()->window, &w);
    // The start-up pack with its reservation, held by the application object.
    OBitmapStore* store = w.GetGlobal()->imageStore;
    ASSERT_NE(store, nullptr);
    EXPECT_EQ(store, w.GetImageStore());
    EXPECT_EQ(store->recordCount, 18100);
    EXPECT_EQ(store->GetImageCount(), 18100);
    EXPECT_EQ(store->FindByName("ONE", 0, -1), 0);
    EXPECT_TRUE(fs::is_directory(home / "Quenvo" / "ZORBLET" / "SAVES"));

    w.OnExit();
    const std::vector<u8> profile = ReadAll(profiles / "00000100.bin");
    const std::vector<u8> options = ReadAll(profiles / "00050000.bin");
    ASSERT_EQ(profile.size(), 1000u);
    ASSERT_EQ(options.size(), 252u);
    // Empty records: each byte is its scrambling key alone.
    for (size_t i = 0; i < profile.size(); ++i)
        ASSERT_EQ(profile[i], static_cast<u8>(100 + i)) << i;
    for (size_t i = 0; i < options.size(); ++i)
        ASSERT_EQ(options[i], static_cast<u8>(0x50 + i)) << i;
}

TEST_F(GameWindowTest, RecordsAreWrittenBackAsTheyWereRead)
{
    fs::create_directories(profiles);
    std::vector<u8> record(1000);
    for (size_t i = 0; i < record.size(); ++i)
        record[i] = static_cast<u8>(i * 31 + 7);
    ASSERT_EQ(WriteSaveFile(100, record.data(), 1000, profiles.c_str()), 1u);
    const std::vector<u8> before = ReadAll(profiles / "00000100.bin");
    {
        GWindow w;
        ASSERT_EQ(w.Create("ZORBLET", "ZORBLET", 800, 600), 1u);
        EXPECT_EQ(std::vector<u8>(w.GetGlobal()->profile->record, w.GetGlobal()->profile->record + 1000),
                  record);
        w.OnExit();
    }
    EXPECT_EQ(ReadAll(profiles / "00000100.bin"), before);
}

TEST_F(GameWindowTest, FramesAndInputGoToTheTopScreen)
{
    GWindow w;
    ASSERT_EQ(w.Create("ZORBLET", "ZORBLET", 800, 600), 1u);
    std::vector<std::string> log;
    w.PushScreen(new Screen(&log, "below"));
    w.OnFrame(50);
    w.OnKeyDown('A');
    w.PushScreen(new Screen(&log, "top"));
    w.OnKeyUp('A'); // its press belonged to the screen below
    w.OnFrame(50);
    w.OnKeyDown('B');
    w.OnKeyUp('B');
    w.OnChar('b');
    platform::SendMessage(w.GetHWND(), WM_LBUTTONDOWN, 0, MakeMouseLParam(300, 300));
    platform::SendMessage(w.GetHWND(), WM_MOUSEMOVE, 0, MakeMouseLParam(301, 300));
    EXPECT_EQ(log, (std::vector<std::string>{"below update 0", "top update 0", "top keyup 66", "top char 98",
                                             "top ldown 300", "top move 301"}));
}

TEST_F(GameWindowTest, ActivationSwitchesTheScreenSaverAndPause)
{
    GWindow w;
    ASSERT_EQ(w.Create("ZORBLET", "ZORBLET", 800, 600), 1u);
    const i32 count = hb->GetCursorCount();
    platform::SendMessage(w.GetHWND(), WM_ACTIVATE, WA_INACTIVE, 0);
    EXPECT_TRUE(hb->IsScreenSaverActive());
    EXPECT_EQ(w.paused, 1u);
    EXPECT_EQ(hb->GetCursorCount(), count + 1);
    platform::SendMessage(w.GetHWND(), WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_FALSE(hb->IsScreenSaverActive());
    EXPECT_EQ(w.paused, 0u);
    EXPECT_LT(hb->GetCursorCount(), 0);
}

// A record that is there but cannot be read (here a folder stands in its
// place, which even root cannot read as a file) keeps what it holds: the
// player is told, and the zeros in memory are not written over it. A record
// that cannot be saved at exit is told too (here a link into a folder that is
// gone, which even root cannot write through).
TEST_F(GameWindowTest, UnreadableAndUnsavedRecordsAreReported)
{
    fs::create_directories(profiles / "00000100.bin" / "inside");
    fs::create_symlink("gone/00050000.bin", profiles / "00050000.bin");
    testing::internal::CaptureStderr();
    {
        GWindow w;
        ASSERT_EQ(w.Create("ZORBLET", "ZORBLET", 800, 600), 1u);
        w.OnExit();
    }
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("The player profile \"" + (profiles / "00000100.bin").string() + "\" cannot be read"),
              std::string::npos)
        << said;
    EXPECT_EQ(said.find("player profile could not be saved"), std::string::npos) << "said once, at start-up";
    EXPECT_NE(said.find("The options record could not be saved to"), std::string::npos) << said;
    EXPECT_TRUE(fs::is_directory(profiles / "00000100.bin" / "inside"));
    EXPECT_FALSE(fs::exists(profiles / "00050000.bin"));
    // Both lines are error lines of the log too.
    std::ifstream logFile(home / "Quenvo" / "ZORBLET" / "SAVES" / "zorblet.html");
    const std::string logText{std::istreambuf_iterator<char>(logFile), {}};
    EXPECT_NE(logText.find("00000100.bin&quot; cannot be read"), std::string::npos)
        << "quotes escaped as HTML";
    EXPECT_NE(logText.find("The options record could not be saved"), std::string::npos);
}

// Without a usable application-data folder the records live in the current
// folder, and the player is told where.
TEST_F(GameWindowTest, RecordsInTheCurrentFolderAreAnnounced)
{
    std::ofstream(home / "file") << "not a folder";
    setenv("XDG_DATA_HOME", (home / "file" / "data").c_str(), 1);
    const fs::path here = fs::current_path();
    testing::internal::CaptureStderr();
    {
        GWindow w;
        ASSERT_EQ(w.Create("ZORBLET", "ZORBLET", 800, 600), 1u);
        EXPECT_EQ(w.GetGlobal()->GetProfilesFolder(), nullptr);
        w.OnExit();
    }
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("kept in the current folder, \"" + here.string() + "\""), std::string::npos) << said;
    EXPECT_EQ(ReadAll(here / "00000100.bin").size(), 1000u);
    EXPECT_EQ(ReadAll(here / "00050000.bin").size(), 252u);
}

// Data and config homes longer than the system takes in one name (4,096
// bytes) still hold the records, the log, the lock and the registry, without
// a notice and with nothing left beside them; the data folder is the one the
// running copy locks.
TEST_F(GameWindowTest, DataAndConfigHomesPastThePathLimitHoldEverything)
{
    fs::path data = home, config = home;
    while (data.string().size() < 4220)
        data /= std::string(200, 'd');
    while (config.string().size() < 4220)
        config /= std::string(200, 'c');
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    ResetRegistry();
    const fs::path product = data / "Quenvo" / "ZORBLET";
    const std::string lockName = "TEST-" + std::to_string(::getpid());
    testing::internal::CaptureStderr();
    {
        NamedMutex running;
        running.Create(lockName.c_str());
        ASSERT_EQ(GGlobal::LockRecords(running), NamedMutex::Result::Created);
        GWindow w;
        ASSERT_EQ(w.Create("ZORBLET", "ZORBLET", 800, 600), 1u);
        EXPECT_EQ(std::string(w.GetGlobal()->GetProfilesFolder()), (product / "PROFILES").string());
        HKEY key{};
        EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "Long", 0, KEY_ALL_ACCESS, &key, nullptr), ERROR_SUCCESS);
        w.OnExit();
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ResetRegistry();
    HKEY key{};
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Long", 0, KEY_READ, &key), ERROR_SUCCESS);
    // Listed from inside, as the system cannot name these folders whole.
    auto names = [](const fs::path& folder)
    {
        std::set<std::string> found;
        const fs::path here = fs::current_path();
        fs::current_path("/");
        for (const fs::path& step : folder.relative_path())
            fs::current_path(step);
        for (const auto& entry : fs::directory_iterator("."))
            found.insert(entry.path().filename());
        fs::current_path(here);
        return found;
    };
    EXPECT_EQ(names(product), (std::set<std::string>{"PROFILES", "SAVES", lockName + ".lock"}));
    EXPECT_EQ(names(product / "PROFILES"), (std::set<std::string>{"00000100.bin", "00050000.bin"}));
    EXPECT_EQ(names(product / "SAVES"), (std::set<std::string>{"zorblet.html"}));
    EXPECT_EQ(names(config / "Quenvo" / "ZORBLET"), (std::set<std::string>{"registry", "registry.lock"}));
    for (const char* name : {"00000100.bin", "00050000.bin", "zorblet.html"})
        EXPECT_FALSE(fs::exists(fs::current_path() / name)) << name;
}

// Whatever the umask, the folders the game makes are the player's alone, so
// no one else can put links in place of the files in them, and so are the
// files it makes; folders that were there keep their mode.
TEST_F(GameWindowTest, TheFoldersTheGameMakesAreThePlayersAlone)
{
    const fs::path data = home / "made" / "data", config = home / "made" / "config";
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    ResetRegistry();
    const fs::perms homeMode = fs::status(home).permissions();
    const mode_t previous = ::umask(0);
    u32 created = 0;
    i32 changed = -1;
    {
        GWindow w;
        created = w.Create("ZORBLET", "ZORBLET", 800, 600);
        HKEY key{};
        changed = RegCreateKeyEx(HKEY_CURRENT_USER, "Private", 0, KEY_ALL_ACCESS, &key, nullptr);
        w.OnExit();
    }
    ::umask(previous);
    ASSERT_EQ(created, 1u);
    ASSERT_EQ(changed, ERROR_SUCCESS);
    const fs::path product = data / "Quenvo" / "ZORBLET";
    for (const fs::path& folder :
         {home / "made", data, data / "Quenvo", product, product / "SAVES", product / "PROFILES"})
        EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all) << folder;
    for (const fs::path& file :
         {product / "PROFILES" / "00000100.bin", product / "PROFILES" / "00050000.bin",
          product / "SAVES" / "zorblet.html", config / "Quenvo" / "ZORBLET" / "registry"})
        EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write) << file;
    EXPECT_EQ(fs::status(home).permissions(), homeMode);
}

// The data home lies in a folder that everyone may write. What another user
// made there in the game's place (a link to a folder of the player's, or
// folders of their own with files at the records' names) is not used: the
// records go to the current folder, the player is told why, and nothing of
// the other user's or behind their link is touched. A folder of the player's
// that others may write is narrowed and used.
TEST_F(GameWindowTest, WhatAnotherUserMadeInTheGamesPlaceIsNotUsed)
{
    const childtest::Player player;
    if (!player.asRoot)
        GTEST_SKIP() << "another user's folders can only be made when the tests run as root";
    const uid_t stranger = 1;
    enum Shape
    {
        LinkToMine,
        TheirFolders,
        MineOpen
    };
    const struct
    {
        const char* name;
        Shape shape;
        const char* said; // empty: the folder is used
    } cases[] = {
        {"their link to a folder of mine", LinkToMine, "/Quenvo/ZORBLET\" is a link another user put there"},
        {"their folders and files", TheirFolders, "/Quenvo/ZORBLET\" belongs to another user"},
        {"my folder open to all", MineOpen, ""},
    };
    const fs::perms all = fs::perms::owner_all | fs::perms::group_all | fs::perms::others_all;
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        const fs::path shared = home / ("shared " + std::to_string(c.shape)), mine = home / "mine";
        const fs::path product = shared / "Quenvo" / "ZORBLET";
        fs::remove_all(mine);
        fs::create_directories(mine);
        fs::create_directories(shared / "Quenvo");
        fs::permissions(shared, all | fs::perms::sticky_bit);
        if (c.shape == LinkToMine)
        {
            fs::create_directory_symlink(mine, product);
            ASSERT_EQ(::lchown(product.c_str(), stranger, stranger), 0);
        }
        else
        {
            for (const fs::path& f : {product, product / "PROFILES", product / "SAVES"})
            {
                fs::create_directories(f);
                fs::permissions(f, all);
            }
        }
        const std::string theirs = "theirs";
        if (c.shape == TheirFolders)
        {
            for (const fs::path& f :
                 {product / "PROFILES" / "00050000.bin", product / "SAVES" / "zorblet.html"})
            {
                std::ofstream(f) << theirs;
                fs::permissions(f, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                       fs::perms::group_write | fs::perms::others_read |
                                       fs::perms::others_write);
            }
            for (const auto& entry : fs::recursive_directory_iterator(product))
                ASSERT_EQ(::lchown(entry.path().c_str(), stranger, stranger), 0);
            ASSERT_EQ(::lchown(product.c_str(), stranger, stranger), 0);
        }
        // The player's own vendor folder, open to all, is where the other
        // user put their things.
        fs::permissions(shared / "Quenvo", all);
        setenv("XDG_DATA_HOME", shared.c_str(), 1);
        fs::remove(fs::current_path() / "00000100.bin");
        testing::internal::CaptureStderr();
        {
            GWindow w;
            ASSERT_EQ(w.Create("ZORBLET", "ZORBLET", 800, 600), 1u);
            EXPECT_EQ(w.GetGlobal()->GetProfilesFolder() != nullptr, std::string(c.said).empty());
            w.OnExit();
        }
        const std::string said = testing::internal::GetCapturedStderr();
        if (std::string(c.said).empty())
        {
            EXPECT_EQ(said, "");
            EXPECT_EQ(fs::status(product).permissions(), fs::perms::owner_all) << "narrowed";
            EXPECT_EQ(ReadAll(product / "PROFILES" / "00000100.bin").size(), 1000u);
            continue;
        }
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
        EXPECT_NE(said.find("kept in the current folder"), std::string::npos) << said;
        EXPECT_EQ(ReadAll(fs::current_path() / "00000100.bin").size(), 1000u);
        EXPECT_TRUE(fs::is_empty(mine)) << "nothing is made behind their link";
        if (c.shape == TheirFolders)
        {
            for (const fs::path& f :
                 {product / "PROFILES" / "00050000.bin", product / "SAVES" / "zorblet.html"})
                EXPECT_EQ(ReadAll(f), std::vector<u8>(theirs.begin(), theirs.end())) << f;
            EXPECT_FALSE(fs::exists(product / "PROFILES" / "00000100.bin"));
        }
    }
}

// Once the first signal's close is under way and held up (here for 1.1 s as
// the exit starts to save), another signal a second or more after the first
// ends the program at once, killed by that signal.
TEST_F(GameWindowTest, ASecondSignalEndsTheProgramOnItsWayOut)
{
    class SignalledOnExit : public GWindow
    {
    public:
        void OnExit() override
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(1100));
            std::raise(SIGTERM);
            GWindow::OnExit();
        }
    };
    const pid_t child = RunInChild<SignalledOnExit>([] { std::raise(SIGTERM); });
    ASSERT_GE(child, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "status " << status;
    EXPECT_FALSE(fs::exists(profiles / "00000100.bin")) << "it ended before the save";
}

// A closed terminal's two SIGHUPs, microseconds apart, are one request: the
// game closes and saves, however the second falls against the close.
TEST_F(GameWindowTest, TwoSignalsInQuickSuccessionAreOneRequest)
{
    for (int run = 0; run < 20; ++run)
    {
        SCOPED_TRACE(run);
        fs::remove_all(profiles);
        int up[2];
        ASSERT_EQ(::pipe(up), 0);
        const pid_t child = RunInChild<GWindow>(
            [&]
            {
                if (::write(up[1], "", 1) != 1)
                    ::_exit(3);
            });
        ASSERT_GE(child, 0);
        char byte = 0;
        ::close(up[1]);
        EXPECT_EQ(::read(up[0], &byte, 1), 1);
        ::close(up[0]);
        ::kill(child, SIGHUP);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        ::kill(child, SIGHUP);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
        EXPECT_EQ(ReadAll(profiles / "00000100.bin").size(), 1000u);
        EXPECT_EQ(ReadAll(profiles / "00050000.bin").size(), 252u);
    }
}

// SIGTERM and SIGHUP close the window the way its close box does: the loop
// ends, and the exit saves both records.
TEST_F(GameWindowTest, TerminationSignalsEndThroughTheCleanExit)
{
    for (int signal : {SIGTERM, SIGHUP})
    {
        SCOPED_TRACE(signal);
        fs::remove_all(profiles);
        platform::CatchTerminationSignals();
        GWindow w;
        ASSERT_EQ(w.Create("ZORBLET", "ZORBLET", 800, 600), 1u);
        w.Show();
        ASSERT_EQ(std::raise(signal), 0);
        EXPECT_EQ(w.Run(), 0);
        EXPECT_FALSE(platform::IsWindow(w.GetHWND()));
        EXPECT_EQ(ReadAll(profiles / "00000100.bin").size(), 1000u);
        EXPECT_EQ(ReadAll(profiles / "00050000.bin").size(), 252u);
    }
    for (int signal : {SIGHUP, SIGTERM, SIGINT})
        std::signal(signal, SIG_DFL);
}
