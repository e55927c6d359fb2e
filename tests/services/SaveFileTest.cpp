#include "services/OFile.h"
#include "services/OSaveFile.h"
#include "support/ChildProcess.h"
#include "support/PlatformFilesTestUtil.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using filetest::ReadBytes;
using filetest::TempFolder;
using filetest::WriteBytes;

namespace
{

std::vector<u8> Record(size_t size, u8 seed)
{
    std::vector<u8> record(size);
    for (size_t i = 0; i < size; ++i)
        record[i] = static_cast<u8>(seed + i * 7);
    return record;
}

size_t CountEntries(const std::string& folder)
{
    size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
        ++n;
    return n;
}

class SaveFileTest : public ::testing::Test
{
protected:
    void SetUp() override { ResetBaseDir(); }
    TempFolder dir;
};

TEST_F(SaveFileTest, RoundTripStoresExactlyTheRecordScrambledByNumberAndIndex)
{
    std::vector<u8> options = Record(252, 3);
    ASSERT_EQ(WriteSaveFile(50000, options.data(), 252, dir.Path().c_str()), 1u);
    std::vector<unsigned char> file = ReadBytes(dir / "00050000.bin");
    ASSERT_EQ(file.size(), 252u);
    // 50000 has the low byte 0x50: byte 175 meets 0xFF and byte 176 wraps to 0.
    EXPECT_EQ(file[0], options[0] ^ 0x50);
    EXPECT_EQ(file[1], options[1] ^ 0x51);
    EXPECT_EQ(file[175], options[175] ^ 0xFF);
    EXPECT_EQ(file[176], options[176] ^ 0x00);
    for (size_t i = 0; i < file.size(); ++i)
        ASSERT_EQ(file[i], options[i] ^ static_cast<u8>((50000 + i) & 0xFF)) << i;

    std::vector<u8> back(252, 0);
    ASSERT_EQ(ReadSaveFile(50000, back.data(), 252, dir.Path().c_str()), 1u);
    EXPECT_EQ(back, options);
    EXPECT_EQ(GetSaveFileSize(50000, dir.Path().c_str()), 252);
    EXPECT_EQ(CountEntries(dir.Path()), 1u) << "no temporary file is left behind";
}

TEST_F(SaveFileTest, NamesHaveEightDigitsWithOrWithoutAFolder)
{
    char name[1024];
    ASSERT_TRUE(BuildSaveFileName(name, 100, "PROFILES"));
    EXPECT_STREQ(name, "PROFILES/00000100.bin");
    ASSERT_TRUE(BuildSaveFileName(name, 100, nullptr));
    EXPECT_STREQ(name, "00000100.bin");
    ASSERT_TRUE(BuildSaveFileName(name, 4294967295u, nullptr));
    EXPECT_STREQ(name, "4294967295.bin");
    EXPECT_FALSE(BuildSaveFileName(name, 1, std::string(1100, 'd').c_str()));

    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(dir.Path().c_str()), 0);
    std::vector<u8> profile = Record(1000, 9);
    EXPECT_EQ(WriteSaveFile(100, profile.data(), 1000, nullptr), 1u);
    ASSERT_EQ(chdir(cwd), 0);
    EXPECT_EQ(ReadBytes(dir / "00000100.bin").size(), 1000u);
}

TEST_F(SaveFileTest, AShortFileKeepsWhatWasReadAndLeavesTheRestAlone)
{
    std::vector<u8> record = Record(10, 1);
    ASSERT_EQ(WriteSaveFile(7, record.data(), 10, dir.Path().c_str()), 1u);
    std::vector<u8> buffer(16, 0xEE);
    EXPECT_EQ(ReadSaveFile(7, buffer.data(), 16, dir.Path().c_str()), 0u);
    EXPECT_TRUE(std::equal(record.begin(), record.end(), buffer.begin())) << "descrambled bytes kept";
    for (size_t i = 10; i < 16; ++i)
        EXPECT_EQ(buffer[i], 0xEE);

    // A longer file gives just the bytes asked for.
    std::vector<u8> head(4);
    EXPECT_EQ(ReadSaveFile(7, head.data(), 4, dir.Path().c_str()), 1u);
    EXPECT_TRUE(std::equal(head.begin(), head.end(), record.begin()));

    EXPECT_EQ(ReadSaveFile(8, head.data(), 4, dir.Path().c_str()), 0u);
    EXPECT_EQ(GetSaveFileSize(8, dir.Path().c_str()), -1);
}

TEST_F(SaveFileTest, AWriteIntoAMissingFolderFailsCleanly)
{
    std::vector<u8> record = Record(4, 0);
    EXPECT_EQ(WriteSaveFile(1, record.data(), 4, (dir / "absent").c_str()), 0u);
    EXPECT_EQ(CountEntries(dir.Path()), 0u);
}

// The disk filling up midway is simulated with a file-size limit: writes past
// it fail with EFBIG (the signal that would end the process is ignored).
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit limited = previous_;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit previous_{};
    void (*previousHandler_)(int);
};

TEST_F(SaveFileTest, AFailedWriteLeavesThePreviousCopyIntact)
{
    std::vector<u8> old = Record(1000, 1);
    ASSERT_EQ(WriteSaveFile(100, old.data(), 1000, dir.Path().c_str()), 1u);
    std::vector<unsigned char> before = ReadBytes(dir / "00000100.bin");

    std::vector<u8> newer = Record(1000, 2);
    {
        FileSizeLimit limit(300);
        EXPECT_EQ(WriteSaveFile(100, newer.data(), 1000, dir.Path().c_str()), 0u);
    }
    EXPECT_EQ(ReadBytes(dir / "00000100.bin"), before);
    EXPECT_EQ(CountEntries(dir.Path()), 1u) << "the partial temporary file is removed";
    std::vector<u8> back(1000);
    ASSERT_EQ(ReadSaveFile(100, back.data(), 1000, dir.Path().c_str()), 1u);
    EXPECT_EQ(back, old);

    // A record longer than any read takes back is never written.
    const std::vector<u8> huge(kMaxSaveFileLength + 1, 7);
    errno = 0;
    EXPECT_EQ(WriteSaveFile(100, huge.data(), static_cast<u32>(huge.size()), dir.Path().c_str()), 0u);
    EXPECT_EQ(errno, EFBIG);
    EXPECT_EQ(ReadBytes(dir / "00000100.bin"), before);

    // Once the disk has room again the new record replaces the old.
    ASSERT_EQ(WriteSaveFile(100, newer.data(), 1000, dir.Path().c_str()), 1u);
    ASSERT_EQ(ReadSaveFile(100, back.data(), 1000, dir.Path().c_str()), 1u);
    EXPECT_EQ(back, newer);
}

TEST_F(SaveFileTest, AShorterRecordReplacesTheWholeFile)
{
    std::vector<u8> longRecord = Record(1000, 5);
    std::vector<u8> shortRecord = Record(252, 6);
    ASSERT_EQ(WriteSaveFile(3, longRecord.data(), 1000, dir.Path().c_str()), 1u);
    ASSERT_EQ(WriteSaveFile(3, shortRecord.data(), 252, dir.Path().c_str()), 1u);
    EXPECT_EQ(GetSaveFileSize(3, dir.Path().c_str()), 252);
}

} // namespace

// Each record is set up by the test (as its owner or another user, with a
// mode, maybe behind a symbolic link), then read and saved by the player.
TEST_F(SaveFileTest, SavesRespectPermissionsAndFollowLinks)
{
    enum Shape
    {
        Plain,
        Link,         // the record is a link to a file in another folder
        DanglingLink, // the link's target does not exist yet
        ClosedFolder, // the record's folder takes no new files
        ClosedFull,   // that, and the disk fills up midway through the write
        ClosedHuge,   // that, and the record made a sparse file of 1 TiB
        Fifo,         // a named pipe in the record's place, with no writer
        FifoBeside    // a named pipe, with no reader, at the record's name + ".tmp"
    };
    struct Case
    {
        const char* name;
        mode_t mode;
        Shape shape;
        SaveFileState read;
        bool foreign; // owned by a user other than the player
        bool written;
    };
    const Case cases[] = {
        {"foreign 0600", 0600, Plain, SaveFileState::Unreadable, true, false},
        {"foreign 0644", 0644, Plain, SaveFileState::Unreadable, true, false},
        {"own 0000", 0000, Plain, SaveFileState::Unreadable, false, false},
        {"own 0444", 0444, Plain, SaveFileState::Read, false, false},
        {"own 0640", 0640, Plain, SaveFileState::Read, false, true},
        {"own 0600 behind a link", 0600, Link, SaveFileState::Read, false, true},
        {"dangling link", 0600, DanglingLink, SaveFileState::Missing, false, true},
        {"own 0640 in a closed folder", 0640, ClosedFolder, SaveFileState::Read, false, true},
        {"own 0640 in a closed folder, disk full", 0640, ClosedFull, SaveFileState::Read, false, false},
        {"own 0640 of 1 TiB in a closed folder", 0640, ClosedHuge, SaveFileState::Unreadable, false, false},
        {"named pipe", 0600, Fifo, SaveFileState::Unreadable, false, false},
        {"named pipe beside", 0600, FifoBeside, SaveFileState::Read, false, true},
    };
    const childtest::Player player;
    const TempFolder home(filetest::For::Player);
    ASSERT_EQ(::chown(home.Path().c_str(), player.uid, player.gid), 0);
    const std::vector<u8> oldRecord = Record(1000, 1);
    const std::vector<u8> newRecord = Record(1000, 2);
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        if (c.foreign && !player.asRoot)
            continue; // another user's file cannot be made without root
        const std::string folder = home / c.name;
        const std::string elsewhere = home / (std::string(c.name) + " target");
        for (const std::string& f : {folder, elsewhere})
        {
            std::filesystem::create_directory(f);
            ASSERT_EQ(::chown(f.c_str(), player.uid, player.gid), 0);
        }
        const bool linked = c.shape == Link || c.shape == DanglingLink;
        const std::string record = folder + "/00000100.bin";
        const std::string file = linked ? elsewhere + "/00000100.bin" : record;
        if (linked)
            std::filesystem::create_symlink(file, record);
        if (c.shape == Fifo)
        {
            ASSERT_EQ(::mkfifo(file.c_str(), c.mode), 0);
            ASSERT_EQ(::chown(file.c_str(), player.uid, player.gid), 0);
        }
        else if (c.shape != DanglingLink)
        {
            ASSERT_EQ(WriteSaveFile(100, oldRecord.data(), 1000, linked ? elsewhere.c_str() : folder.c_str()),
                      1u);
            ASSERT_EQ(::chmod(file.c_str(), c.mode), 0);
            if (!c.foreign)
            {
                ASSERT_EQ(::chown(file.c_str(), player.uid, player.gid), 0);
            }
        }
        if (c.shape == FifoBeside)
        {
            ASSERT_EQ(::mkfifo((record + ".tmp").c_str(), 0600), 0);
            ASSERT_EQ(::chown((record + ".tmp").c_str(), player.uid, player.gid), 0);
        }
        if (c.shape == ClosedHuge)
        {
            ASSERT_EQ(::truncate(file.c_str(), off_t(1) << 40), 0);
        }
        if (c.shape == ClosedFolder || c.shape == ClosedFull || c.shape == ClosedHuge)
        {
            ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
        }
        // The length and the first bytes, which are all there is but for the
        // sparse file.
        auto contents = [](const std::string& path)
        {
            std::vector<unsigned char> head(4096);
            std::ifstream in(path, std::ios::binary);
            in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
            head.resize(static_cast<size_t>(in.gcount()));
            std::error_code missing;
            return std::make_pair(std::filesystem::file_size(path, missing), head);
        };
        const auto before = c.shape == Fifo ? decltype(contents(file))() : contents(file);

        const std::string result = childtest::RunAsPlayer(
            player,
            [&]
            {
                ::alarm(20); // a read or write that waits on a pipe never ends
                if (c.shape == ClosedFull)
                {
                    std::signal(SIGXFSZ, SIG_IGN);
                    const rlimit limit{300, 300};
                    ::setrlimit(RLIMIT_FSIZE, &limit);
                }
                std::vector<u8> buffer(1000);
                int error = 0;
                const SaveFileState read =
                    ReadSaveFileState(100, buffer.data(), 1000, folder.c_str(), &error);
                const u32 written = WriteSaveFile(100, newRecord.data(), 1000, folder.c_str());
                return std::to_string(static_cast<int>(read)) + " " + std::to_string(written);
            });
        EXPECT_EQ(result, std::to_string(static_cast<int>(c.read)) + " " + (c.written ? "1" : "0"));

        struct stat after
        {
        };
        ASSERT_EQ(::stat(file.c_str(), &after), 0);
        if (c.written)
        {
            // Read back by the player: a record of someone else's is never read.
            const std::string back =
                childtest::RunAsPlayer(player,
                                       [&]
                                       {
                                           std::vector<u8> bytes(1000);
                                           return ReadSaveFile(100, bytes.data(), 1000, folder.c_str()) == 1
                                                      ? std::string(bytes.begin(), bytes.end())
                                                      : std::string("unread");
                                       });
            EXPECT_EQ(back, std::string(newRecord.begin(), newRecord.end()));
            if (c.shape != DanglingLink)
            {
                EXPECT_EQ(after.st_mode & 0777, c.mode & 0600)
                    << "the replacement keeps the mode, never more";
            }
        }
        else
        {
            if (c.shape == Fifo)
                EXPECT_TRUE(S_ISFIFO(after.st_mode)) << "the pipe is left as it was";
            else
                EXPECT_EQ(contents(file), before) << "the record is left as it was";
            EXPECT_EQ(after.st_uid, c.foreign ? ::geteuid() : player.uid) << "and keeps its owner";
        }
        if (linked)
        {
            EXPECT_TRUE(std::filesystem::is_symlink(record)) << "the link stays a link";
        }
        if (c.shape == FifoBeside)
        {
            struct stat pipe
            {
            };
            EXPECT_EQ(::lstat((record + ".tmp").c_str(), &pipe), 0);
            EXPECT_TRUE(S_ISFIFO(pipe.st_mode)) << "the pipe is left as it was";
        }
        EXPECT_EQ(CountEntries(folder), c.shape == FifoBeside ? 2u : 1u) << "no temporary file is left";
        ::chmod(folder.c_str(), 0755); // so the folder can be removed
    }
}

// A file-size limit raises SIGXFSZ, whose default action would end the
// program midway through the save; the save fails instead.
TEST_F(SaveFileTest, AFileSizeLimitFailsTheSaveWithoutEndingTheProgram)
{
    const std::vector<u8> old = Record(1000, 1);
    ASSERT_EQ(WriteSaveFile(100, old.data(), 1000, dir.Path().c_str()), 1u);
    const std::vector<unsigned char> before = ReadBytes(dir / "00000100.bin");
    childtest::Player self;
    self.uid = ::geteuid();
    const std::string result = childtest::RunAsPlayer(
        self,
        [&]
        {
            std::signal(SIGXFSZ, SIG_DFL);
            rlimit limit{300, 300};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            const std::vector<u8> newer = Record(1000, 2);
            return std::to_string(WriteSaveFile(100, newer.data(), 1000, dir.Path().c_str()));
        });
    EXPECT_EQ(result, "0") << "the child ended normally with a failed save";
    EXPECT_EQ(ReadBytes(dir / "00000100.bin"), before);
    EXPECT_EQ(CountEntries(dir.Path()), 1u) << "the partial temporary file is removed";
}
