#include "platform/files/FileWalk.h"
#include "platform/files/OShell.h"
#include "support/PlatformFilesTestUtil.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace
{

class ShellTest : public ::testing::Test
{
protected:
    const filetest::TempFolder temp;
    const std::string root = temp.Path();
    filetest::EnvGuard env;
};

TEST_F(ShellTest, TheAppDataFolderIsVendorThenProductUnderTheDataHome)
{
    env.Set("XDG_DATA_HOME", (root + "/data/nested").c_str());
    char out[MAX_PATH_LENGTH];
    ASSERT_EQ(GetAppDataFolder(out, "Quenvo", "ZORBLET", 1), 1u);
    EXPECT_EQ(std::string(out), root + "/data/nested/Quenvo/ZORBLET");
    EXPECT_TRUE(fs::is_directory(out)) << "missing folders on the way are made";
    ASSERT_EQ(GetAppDataFolder(out, "Quenvo", "ZORBLET", 1), 1u) << "an existing folder is fine";
}

TEST_F(ShellTest, WithoutADataHomeTheHomeFolderIsUsed)
{
    env.Set("XDG_DATA_HOME", "relative/path");
    env.Set("HOME", root.c_str());
    char out[MAX_PATH_LENGTH];
    ASSERT_EQ(GetAppDataFolder(out, "Quenvo", "ZORBLET", 1), 1u);
    EXPECT_EQ(std::string(out), root + "/.local/share/Quenvo/ZORBLET");
}

TEST_F(ShellTest, TheFolderFailsWhenItCannotBeMadeOrTheSystemIsTooOld)
{
    env.Set("XDG_DATA_HOME", root.c_str());
    std::ofstream(root + "/Quenvo") << "a file in the way";
    char out[MAX_PATH_LENGTH] = "untouched";
    EXPECT_EQ(GetAppDataFolder(out, "Quenvo", "ZORBLET", 1), 0u);
    EXPECT_STREQ(out, "untouched");
    EXPECT_EQ(GetAppDataFolder(out, "Other", "ZORBLET", 32767), 0u);
    EXPECT_FALSE(fs::exists(root + "/Other"));
    EXPECT_EQ(GetAppDataFolder(out, "..", "ZORBLET", 1), 0u) << "names are single folders";
    EXPECT_EQ(GetAppDataFolder(out, "a/b", "ZORBLET", 1), 0u);
}

TEST_F(ShellTest, TheProgramFolderIsThatOfTheRunningExecutable)
{
    char out[MAX_PATH_LENGTH];
    ASSERT_TRUE(GetProgramDir(out, "data.bin"));
    fs::path self = fs::read_symlink("/proc/self/exe");
    EXPECT_EQ(std::string(out), self.parent_path().string() + "/data.bin");
    ASSERT_TRUE(GetProgramDir(out, nullptr));
    EXPECT_EQ(std::string(out), self.parent_path().string() + "/");
    EXPECT_FALSE(GetProgramDir(out, std::string(2000, 'n').c_str()));
    // The one-argument form gives the same path.
    ASSERT_NE(GetProgramDir("data.bin"), nullptr);
    EXPECT_EQ(std::string(GetProgramDir("data.bin")), self.parent_path().string() + "/data.bin");
    EXPECT_EQ(GetProgramDir(std::string(2000, 'n').c_str()), nullptr);
}

TEST_F(ShellTest, TheOpenerGetsTheDocumentAsOneArgumentWithoutAShell)
{
    // A stand-in opener on PATH that writes down the arguments it was given.
    std::string bin = root + "/bin";
    fs::create_directory(bin);
    std::string record = root + "/args.txt";
    {
        std::ofstream script(bin + "/xdg-open");
        script << "#!/bin/sh\nprintf '%s|' \"$#\" \"$@\" > '" << record << "'\n";
    }
    fs::permissions(bin + "/xdg-open", fs::perms::owner_all);
    env.Set("PATH", (bin + ":/usr/bin:/bin").c_str());

    const std::string document = "my file; touch " + root + "/pwned $(id).txt";
    ASSERT_TRUE(OpenWithShell(document.c_str()));
    std::string seen;
    for (int i = 0; i < 200 && seen.empty(); ++i)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::ifstream in(record);
        std::getline(in, seen);
    }
    EXPECT_EQ(seen, "1|" + document + "|");
    EXPECT_FALSE(fs::exists(root + "/pwned")) << "nothing in the name was run";

    // A name that looks like an option is passed as a path.
    fs::remove(record);
    ASSERT_TRUE(OpenWithShell("--help.txt"));
    seen.clear();
    for (int i = 0; i < 200 && seen.empty(); ++i)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::ifstream in(record);
        std::getline(in, seen);
    }
    EXPECT_EQ(seen, "1|./--help.txt|");

    env.Set("PATH", root.c_str());
    EXPECT_FALSE(OpenWithShell("x")) << "no opener installed";
    EXPECT_FALSE(OpenWithShell(""));
    EXPECT_FALSE(OpenWithShell(nullptr));
}

} // namespace

// A umask that takes the owner's bits leaves a folder made 0000. Without
// /proc its mode can only be set by name, so only in a folder no one else
// may change; elsewhere the folder is removed again rather than left for
// nobody to enter.
TEST_F(ShellTest, AFolderTheUmaskLeftWithoutAccessIsGiven0700OrRemoved)
{
    const struct
    {
        mode_t parent;
        bool kept;
    } cases[] = {{0755, true}, {01777, true}, {0777, false}};
    for (const auto& c : cases)
    {
        const std::string parent = root + "/p" + std::to_string(c.parent), made = parent + "/made";
        ASSERT_EQ(::mkdir(parent.c_str(), 0700), 0);
        ASSERT_EQ(::chmod(parent.c_str(), c.parent), 0);
        std::string refused;
        const mode_t mask = ::umask(0777);
        const bool ok = platform::MakeFolderWalked(made + "/inner", true, &refused);
        ::umask(mask);
        SCOPED_TRACE(parent);
        struct stat info
        {
        };
        EXPECT_EQ(ok, c.kept) << refused;
        EXPECT_EQ(::lstat(made.c_str(), &info) == 0, c.kept);
        if (c.kept)
            EXPECT_EQ(info.st_mode & 07777, 0700u);
        else
            EXPECT_NE(refused.find("\"" + made +
                                   "\" was made with mode 0000, without full access for its owner, and it "
                                   "stands in a folder others may change"),
                      std::string::npos)
                << refused;
    }
}
