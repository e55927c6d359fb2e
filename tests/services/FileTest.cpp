#include "support/PlatformFilesTestUtil.h"
#include "services/OFile.h"

#include "core/FileLimits.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

using filetest::ReadBytes;
using filetest::TempFolder;
using filetest::WriteBytes;

namespace
{

class FileTest : public ::testing::Test
{
protected:
    void SetUp() override { ResetBaseDir(); }
    TempFolder dir;
};

TEST_F(FileTest, LoadGivesTheWholeFileWithANulBehindIt)
{
    std::vector<unsigned char> data = {'a', 0, 'b', 0xFF, 'c'};
    WriteBytes(dir / "f.bin", data);
    u32 size = 0;
    u8* buffer = LoadFileFromBaseDir((dir / "f.bin").c_str(), &size);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(std::memcmp(buffer, data.data(), 5), 0);
    EXPECT_EQ(buffer[5], 0);
    std::free(buffer);

    // The size pointer is optional.
    buffer = LoadFileFromBaseDir((dir / "f.bin").c_str(), nullptr);
    ASSERT_NE(buffer, nullptr);
    std::free(buffer);
}

TEST_F(FileTest, LoadRefusesMissingEmptyAndFolderPaths)
{
    u32 size = 77;
    EXPECT_EQ(LoadFileFromBaseDir((dir / "missing").c_str(), &size), nullptr);
    EXPECT_EQ(size, 77u) << "a file that never opened leaves the size alone";

    WriteBytes(dir / "empty", {});
    EXPECT_EQ(LoadFileFromBaseDir((dir / "empty").c_str(), &size), nullptr);
    EXPECT_EQ(size, 0u) << "the length of an opened file is stored even when loading fails";

    size = 77;
    EXPECT_EQ(LoadFileFromBaseDir(dir.Path().c_str(), &size), nullptr);
    EXPECT_EQ(FileExists(dir.Path().c_str()), 0u);
    EXPECT_EQ(LoadFileFromBaseDir(nullptr, &size), nullptr);

    // A length past the limit is refused before a block is made for it.
    WriteBytes(dir / "long", {});
    ASSERT_EQ(::truncate((dir / "long").c_str(), kMaxWholeFileLength + 1), 0);
    EXPECT_EQ(LoadFileFromBaseDir((dir / "long").c_str(), &size), nullptr);
    EXPECT_EQ(size, kMaxWholeFileLength + 1);
}

TEST_F(FileTest, NamesThatDoNotFitAreRefusedNotCut)
{
    std::string longName = dir.Path() + "/" + std::string(1100, 'x');
    EXPECT_EQ(LoadFileFromBaseDir(longName.c_str(), nullptr), nullptr);
    u8 byte = 1;
    EXPECT_EQ(WriteFileFromBaseDir(longName.c_str(), &byte, 1, 0), 0u);
    EXPECT_EQ(GetFileSizeInBaseDir(longName.c_str()), -1);
}

TEST_F(FileTest, ReadFileBlockNeedsTheWholeBlock)
{
    WriteBytes(dir / "b", {1, 2, 3, 4});
    FILE* f = std::fopen((dir / "b").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    u8 buffer[4] = {};
    EXPECT_EQ(ReadFileBlock(f, buffer, 3), 1u);
    EXPECT_EQ(buffer[2], 3);
    EXPECT_EQ(ReadFileBlock(f, buffer, 3), 0u) << "only one byte was left";
    std::fclose(f);
    EXPECT_EQ(ReadFileBlock(nullptr, buffer, 1), 0u);
}

TEST_F(FileTest, KeyedTransfersXorWithTheSumOfTheKeyBytes)
{
    const u8 data[3] = {0x00, 0x0F, 0xF0};
    // 0x01 + 0x02 + 0x03 + 0xFF = 0x105 -> 0x05 after the modulo.
    const u32 key = 0xFF030201;
    ASSERT_EQ(WriteFileFromBaseDir((dir / "k").c_str(), data, 3, key), 1u);
    EXPECT_EQ(ReadBytes(dir / "k"), (std::vector<unsigned char>{0x05, 0x0A, 0xF5}));
    u8 back[3] = {};
    ASSERT_EQ(ReadFileFromBaseDir((dir / "k").c_str(), back, 3, key), 1u);
    EXPECT_EQ(std::memcmp(back, data, 3), 0);

    // Without a key the bytes go as they are, and appending adds at the end.
    ASSERT_EQ(AppendFileToBaseDir((dir / "k").c_str(), data, 3, 0), 1u);
    EXPECT_EQ(ReadBytes(dir / "k"), (std::vector<unsigned char>{0x05, 0x0A, 0xF5, 0x00, 0x0F, 0xF0}));
    EXPECT_EQ(GetFileSizeInBaseDir((dir / "k").c_str()), 6);

    u8 big[10];
    EXPECT_EQ(ReadFileFromBaseDir((dir / "k").c_str(), big, 10, 0), 0u);
    EXPECT_EQ(ReadFileFromBaseDir((dir / "k").c_str(), big, 10, key), 0u);
}

TEST_F(FileTest, AppendTextAddsALineAndReportsTheCloseResult)
{
    EXPECT_EQ(AppendTextToFile((dir / "log.txt").c_str(), "one"), 0);
    EXPECT_EQ(AppendTextToFile((dir / "log.txt").c_str(), "two"), 0);
    std::vector<unsigned char> text = ReadBytes(dir / "log.txt");
    EXPECT_EQ(std::string(text.begin(), text.end()), "one\ntwo\n");
    EXPECT_EQ(AppendTextToFile((dir / "no/such/folder").c_str(), "x"), 0);
}

TEST_F(FileTest, FolderAndFileOperationsReportThePlatformResult)
{
    std::string sub = dir / "sub";
    EXPECT_EQ(CreateDirInBaseDir(sub.c_str()), 1u);
    EXPECT_EQ(CreateDirInBaseDir(sub.c_str()), 0u) << "an existing folder is a failure";
    WriteBytes(sub + "/f", {1});
    EXPECT_EQ(FileExists((sub + "/f").c_str()), 1u);
    EXPECT_EQ(DeleteDirInBaseDir(sub.c_str()), 0u) << "a folder with a file in it stays";
    EXPECT_EQ(DeleteFileInBaseDir((sub + "/f").c_str()), 1u);
    EXPECT_EQ(DeleteFileInBaseDir((sub + "/f").c_str()), 0u);
    EXPECT_EQ(FileExists((sub + "/f").c_str()), 0u);
    EXPECT_EQ(DeleteDirInBaseDir(sub.c_str()), 1u);
    EXPECT_EQ(GetFileSizeInBaseDir(sub.c_str()), -1);
}

TEST_F(FileTest, TheBaseDirectoryStartsEmptySoNamesAreRelativeToTheCurrentFolder)
{
    EXPECT_STREQ(GetBaseDir(), "");
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(dir.Path().c_str()), 0);
    const u8 data[2] = {7, 8};
    EXPECT_EQ(WriteFileFromBaseDir("rel.bin", data, 2, 0), 1u);
    EXPECT_EQ(GetFileSizeInBaseDir("rel.bin"), 2);
    ASSERT_EQ(chdir(cwd), 0);
    EXPECT_EQ(ReadBytes(dir / "rel.bin"), (std::vector<unsigned char>{7, 8}));
}

} // namespace
