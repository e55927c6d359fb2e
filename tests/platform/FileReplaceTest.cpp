#include "platform/files/FileReplace.h"
#include "support/ChildProcess.h"
#include "support/PlatformFilesTestUtil.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// What the player's attempt gave: "ok", or the errno of the refusal.
std::string Attempt(const std::string& op, const std::string& path)
{
    using namespace platform;
    FILE* file = nullptr;
    Replacement replacement;
    if (op == "read")
        file = OpenRegularForReading(path);
    else if (op == "replace")
        file = replacement.Open(path) ? replacement.File() : nullptr;
    else
        file = OpenRegularForWriting(path, op == "append");
    if (!file)
        return std::to_string(errno);
    if (op == "read")
        return std::fclose(file) == 0 ? "ok" : "close failed";
    const bool written = std::fputs("new", file) >= 0;
    if (op == "replace")
        return replacement.Commit(written) ? "ok" : std::to_string(errno);
    return std::fclose(file) == 0 && written ? "ok" : "write failed";
}

} // namespace

// A folder of the player's that anyone may write (as umask 000 makes it)
// holds links to the player's record: one planted by another user, which no
// open follows, and one of the player's own, which every open follows.
TEST(FileReplaceTest, LinksOfOtherUsersInOpenFoldersAreNotFollowed)
{
    const childtest::Player player;
    if (!player.asRoot)
        GTEST_SKIP() << "a link of another user can only be made when the tests run as root";
    const uid_t stranger = player.uid == 1 ? 2 : 1;
    const filetest::TempFolder dir(filetest::For::Player);
    const std::string home = dir / "home", open = dir / "open", record = home + "/00000100.bin";
    const std::string old(1000, 'r');
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(home.c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(open.c_str(), 0), 0);
    ASSERT_EQ(::chmod(open.c_str(), 0777), 0);
    const struct
    {
        const char* name; // in the open folder
        const char* leadsTo;
        uid_t owner;
        const char* path; // what is opened, below the open folder
    } links[] = {
        {"theirs", record.c_str(), stranger, "theirs"},
        {"their folder", home.c_str(), stranger, "their folder/00000100.bin"},
        {"mine", record.c_str(), player.uid, "mine"},
    };
    for (const auto& link : links)
    {
        std::filesystem::create_symlink(link.leadsTo, open + "/" + link.name);
        ASSERT_EQ(::lchown((open + "/" + link.name).c_str(), link.owner, player.gid), 0);
    }
    ASSERT_EQ(::chown(home.c_str(), player.uid, player.gid), 0);
    for (const auto& link : links)
    {
        for (const std::string op : {"read", "append", "truncate", "replace"})
        {
            SCOPED_TRACE(std::string(link.name) + ", " + op);
            filetest::WriteBytes(record, std::vector<unsigned char>(old.begin(), old.end()));
            ASSERT_EQ(::chown(record.c_str(), player.uid, player.gid), 0);
            const std::string path = open + "/" + link.path;
            const bool followed = link.owner == player.uid;
            EXPECT_EQ(childtest::RunAsPlayer(player, [&] { return Attempt(op, path); }),
                      followed ? "ok" : std::to_string(EACCES));
            const std::string expected = !followed || op == "read" ? old
                                         : op == "append"          ? old + "new"
                                                                   : "new";
            const std::vector<unsigned char> now = filetest::ReadBytes(record);
            EXPECT_EQ(std::string(now.begin(), now.end()), expected);
            EXPECT_EQ(std::filesystem::read_symlink(open + "/" + link.name), link.leadsTo);
        }
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(open), {}), 3)
        << "nothing left beside the links";
}
