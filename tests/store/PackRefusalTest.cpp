// Damaged packs: each is refused with the file and what is wrong, by the
// start-up load and by a range load alike, and a range load that is refused
// leaves the store as it was. The reactions that end the process are checked
// in child processes.
#include "StoreTestSupport.h"

#include "core/Types.h"

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sys/wait.h>

using namespace storetest;
using tools::PackFiles;
using tools::PackImage;
namespace fs = std::filesystem;

namespace
{

PackImage Jpeg(u16 w, u16 h, std::vector<u8> stream)
{
    PackImage image = Record(22, w, h, 0, "JPEG", 0);
    image.jpeg = std::move(stream);
    return image;
}

std::vector<u8> ValidJpeg(u16 w, u16 h)
{
    return tools::EncodeRecordJpeg(Record(22, w, h, 0, "", 1));
}

void Patch(const fs::path& file, size_t offset, std::vector<u8> bytes)
{
    std::fstream f(file, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(static_cast<std::streamoff>(offset));
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

struct Refusal
{
    const char* what;
    PackFiles files;
    int headerRecords;
    std::function<void(const fs::path&)> damage;
    i32 code;
    // "{}" stands for the pack's folder; "-" means the case does not apply
    // to the start-up load.
    std::string startUp;
    std::string range;
    // The pack lies three folders of 199 characters below the case's own,
    // its path over 600 characters long.
    bool longFolder = false;
};

std::string Expand(std::string text, const std::string& dir)
{
    for (size_t at; (at = text.find("{}")) != std::string::npos;)
        text.replace(at, 2, dir);
    return text;
}

std::vector<Refusal> Refusals()
{
    const PackImage a = Record(1, 3, 3, 0, "A", 1);
    const auto none = [](const fs::path&) {};
    const auto cut = [](const fs::path& d)
    { fs::resize_file(d / "bmdt0.bin", fs::file_size(d / "bmdt0.bin") - 5); };
    const auto grow = [](const fs::path& d)
    { fs::resize_file(d / "bmdt0.bin", fs::file_size(d / "bmdt0.bin") + 12); };
    const auto shortPalette = [](const fs::path& d) { Patch(d / "bmdt0.bin", 30, {1, 0}); };
    const auto noHeader = [](const fs::path& d) { fs::remove(d / "bmst.bin"); };
    const auto noData = [](const fs::path& d) { fs::remove(d / "bmdt0.bin"); };
    // A range load reports the same text unless a second one is given.
    // clang-format off
    return {
        {"more records than the capacity", {{a, a, a}}, 2, none, 255,
         "{}/bmdt0.bin: more records than the 2 the pack has room for", ""},
        {"a plane naming no record", {{a, Record(2, 2, 2, 2, "P", 2)}}, -1, none, 255,
         "{}/bmdt0.bin: record 1 takes its alpha plane from record 2, which the pack does not hold", ""},
        {"the same in a long folder", {{a, Record(2, 2, 2, 2, "P", 2)}}, -1, none, 255,
         "{}/bmdt0.bin: record 1 takes its alpha plane from record 2, which the pack does not hold", "", true},
        {"a plane smaller than the picture",
         {{a}, {Record(14, 1, 1, 0, "M", 3), Record(20, 4, 4, 1, "P", 4)}}, -1, none, 255,
         "{}/bmdt1.bin: record 2 takes its alpha plane from record 1, which is smaller than its picture", ""},
        {"a data file shorter than its records", {{a, a}}, -1, cut, 255,
         "{}/bmdt0.bin: shorter than its records", ""},
        {"a record header cut short", {{a}}, 5, grow, 255, "{}/bmdt0.bin: shorter than its records", ""},
        {"a JPEG picture of another size", {{a, Jpeg(9, 8, ValidJpeg(8, 8))}}, -1, none, 255,
         "{}/bmdt0.bin: JPEG record 1 is not a 9x8 picture", ""},
        // More pixels than any stream of its length can encode.
        {"a JPEG picture too large for its stream", {{Jpeg(1000, 1000, ValidJpeg(8, 8))}}, -1, none,
         255,
         "{}/bmdt0.bin: JPEG record 0 cannot be decoded", ""},
        {"a JPEG stream the decoder refuses", {{Jpeg(8, 8, {0xFF, 0xD8, 0xFF, 0xC0, 0, 3, 1})}}, -1, none,
         255,
         "{}/bmdt0.bin: JPEG record 0 cannot be decoded", ""},
        {"a JPEG stream longer than 1 MiB", {{Jpeg(8, 8, std::vector<u8>(1048577, 0))}}, -1, none, 100,
         "Jpeg data too big!", ""},
        {"a palette header shorter than its length", {{Record(16, 2, 2, 0, "P", 5)}}, -1, shortPalette, 255,
         "{}/bmdt0.bin: a palette header shorter than its own length", ""},
        {"no header", {{a}}, -1, noHeader, 255, "{}/bmst.bin not found!", "{}/bmst.bin"},
        {"a header of no records", {{a}}, 0, none, 255, "-", "{}/bmst.bin"},
        {"a missing data file", {{a}}, -1, noData, 255,
         "Cannot open file {}/bmdt0.bin", "Cannot open file {}"},
    };
    // clang-format on
}

using PackRefusalTest = PackFolder;

TEST_F(PackRefusalTest, DamagedPacksAreRefusedWithTheFileAndWhatIsWrong)
{
    const std::string base =
        Write("base", {{Record(1, 2, 2, 0, "BASE", 0), Record(14, 2, 2, 0, "PLANE", 1)}});
    OBitmapStore store;
    PackFailure loaded;
    ASSERT_TRUE(store.TryLoad(base.c_str(), 2, 4, &loaded));
    OBitmap* const first = store.GetImage(0);
    int n = 0;
    for (const Refusal& c : Refusals())
    {
        SCOPED_TRACE(c.what);
        std::string folder = "case" + std::to_string(n++);
        for (int depth = 0; c.longFolder && depth < 3; ++depth)
            folder += "/" + std::string(199, 'a' + depth);
        const std::string dir = Write(folder, c.files, c.headerRecords);
        c.damage(dir);
        if (c.startUp != "-")
        {
            OBitmapStore fresh;
            PackFailure failure;
            EXPECT_FALSE(fresh.TryLoad(dir.c_str(), 2, 0, &failure));
            EXPECT_EQ(failure.exitCode, c.code);
            EXPECT_EQ(failure.message, Expand(c.startUp, dir));
            EXPECT_EQ(failure.showCursor, c.startUp.find("not found!") != std::string::npos);
            EXPECT_EQ(fresh.images, nullptr);
        }
        PackFailure failure;
        EXPECT_FALSE(store.TryLoadRange(dir.c_str(), 0, 1, &failure));
        EXPECT_EQ(failure.exitCode, c.code);
        EXPECT_EQ(failure.message, Expand(c.range.empty() ? c.startUp : c.range, dir));
        EXPECT_EQ(store.GetImage(0), first);
        EXPECT_EQ(std::string(store.GetImage(1)->name), "PLANE");
    }
}

TEST_F(PackRefusalTest, EmptyPackWithoutSlotsOrReservationAndTooFewFreeEntries)
{
    const std::string empty = Write("empty", {{}}, 0);
    OBitmapStore store;
    PackFailure failure;
    EXPECT_FALSE(store.TryLoad(empty.c_str(), 0, 0, &failure));
    EXPECT_EQ(failure.exitCode, 255);
    EXPECT_EQ(failure.message, std::string());

    // A full list: two images over two entries and no slots to lend any.
    // Freeing one image gives back one entry; the level pack needs two.
    const std::string base = Write("base", {{Record(1, 2, 2, 0, "A", 0), Record(1, 2, 2, 0, "B", 1)}});
    ASSERT_TRUE(store.TryLoad(base.c_str(), 0, 0, &failure));
    const std::string level = Write("level", {{Record(2, 2, 2, 1, "P", 2), Record(14, 2, 2, 0, "M", 3)}});
    EXPECT_FALSE(store.TryLoadRange(level.c_str(), 1, 1, &failure));
    EXPECT_EQ(failure.exitCode, 255);
    EXPECT_EQ(failure.message, level + "/bmst.bin: 2 blocks and only 1 free list entries");
    EXPECT_EQ(std::string(store.GetImage(0)->name), "A");
}

TEST_F(PackRefusalTest, FailedLoadsEndTheProcessWithTheirCodes)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string missing = (root / "missing").string();
    EXPECT_EXIT(OBitmapStore::Create(missing.c_str(), 2000, 9050), ::testing::ExitedWithCode(255),
                "\\[Alert\\] .*/missing/bmst.bin not found!");
    const std::string big = Write("big", {{Jpeg(8, 8, std::vector<u8>(1048577, 0))}});
    OBitmapStore store;
    PackFailure failure;
    const std::string base = Write("base", {{Record(1, 2, 2, 0, "A", 0)}});
    ASSERT_TRUE(store.TryLoad(base.c_str(), 1, 2, &failure));
    EXPECT_EXIT(store.LoadRange(big.c_str(), 0, 1), ::testing::ExitedWithCode(100),
                "\\[Alert\\] Jpeg data too big!");
    EXPECT_FALSE(store.LoadRange(base.c_str(), 5, 6)); // beyond the pack images: only false

    // The program itself, started in a folder without a pack.
    const fs::path run = root / "run";
    fs::create_directories(run / "xdg");
    const std::string command = "cd '" + run.string() + "' && XDG_RUNTIME_DIR='" + (run / "xdg").string() +
                                "' XDG_DATA_HOME='" + (run / "xdg").string() + "' XDG_CONFIG_HOME='" +
                                (run / "xdg").string() +
                                "' ZORBLET_BACKEND=headless '" ZORBLET_BINARY "' 2>err.txt";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 255);
    std::ifstream err(run / "err.txt");
    const std::string text((std::istreambuf_iterator<char>(err)), {});
    EXPECT_NE(text.find("[Alert] 800x600/bmst.bin not found!"), std::string::npos) << text;
}

} // namespace
