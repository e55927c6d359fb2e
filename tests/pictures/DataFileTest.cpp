// The data-file cache and the scrambled JPEG byte source over it.
#include "PictureTestUtil.h"
#include "core/FileLimits.h"
#include "image/ODataCache.h"
#include "image/TJPEG_Datas.h"

#include <filesystem>
#include <random>
#include <unistd.h>

using namespace picturetest;

namespace
{

using Cache = std::unique_ptr<ODataCache>;

TEST(ODataCacheTest, LoadsByNumberAndFolderHoldsEachFileOnceAndRefusesOverlongPaths)
{
    TempFolder root;
    const std::string sub = root.path + "/800x600";
    std::filesystem::create_directory(sub);
    tools::WriteDataFile(sub, 3, {1, 2, 3});
    tools::WriteDataFile(root.path, 3, {9, 8});
    tools::WriteDataFile(root.path, 4, {});

    // Without a folder the name is taken in the current folder.
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(root.path);
    Cache cache(ODataCache::Create(3));
    i32 size = -1;
    u8* plain = cache->Load(3, &size, nullptr);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(size, 2);
    EXPECT_EQ(plain[0], 9);
    EXPECT_EQ(cache->Load(4, nullptr, nullptr), nullptr) << "an empty file is no picture";
    std::filesystem::current_path(previous);

    // A file the cache holds is not loaded twice; without a folder any entry
    // of that number counts, with one the folder must match exactly.
    EXPECT_EQ(cache->Load(3, nullptr, nullptr), nullptr);
    EXPECT_TRUE(cache->IsLoaded(3, nullptr));
    EXPECT_FALSE(cache->IsLoaded(3, sub.c_str()));
    u8* inFolder = cache->Load(3, &size, sub.c_str());
    ASSERT_NE(inFolder, nullptr);
    EXPECT_EQ(size, 3);
    EXPECT_EQ(inFolder[2], 3);
    EXPECT_EQ(cache->Load(3, nullptr, sub.c_str()), nullptr);
    EXPECT_EQ(cache->Load(5, nullptr, sub.c_str()), nullptr) << "missing file";
    EXPECT_EQ(cache->count, 2);

    // Releasing the first entry moves the last into its place; the released
    // file loads again, and a full cache loads nothing.
    cache->Release(3, nullptr);
    EXPECT_EQ(cache->count, 1);
    EXPECT_EQ(cache->entries[0].buffer, inFolder);
    EXPECT_NE(cache->Load(3, nullptr, root.path.c_str()), nullptr);
    cache->Release(7, nullptr); // nothing held under 7: nothing happens
    EXPECT_EQ(cache->count, 2);

    Cache one(ODataCache::Create(1));
    EXPECT_NE(one->Load(3, nullptr, sub.c_str()), nullptr);
    EXPECT_EQ(one->Load(3, nullptr, root.path.c_str()), nullptr) << "full";
    Cache none(ODataCache::Create(0));
    EXPECT_EQ(none->Load(3, nullptr, sub.c_str()), nullptr);
    const std::string overlong(ODataCache::kPathCapacity, 'a');
    EXPECT_EQ(Cache(ODataCache::Create(1))->Load(1, nullptr, overlong.c_str()), nullptr) << "path too long";
    ASSERT_EQ(::truncate((root.path + "/Data3.dat").c_str(), kMaxWholeFileLength + 1), 0);
    EXPECT_EQ(Cache(ODataCache::Create(1))->Load(3, nullptr, root.path.c_str()), nullptr) << "too long";
}

// The key sequence from a start key of 0 and the step out of 131, where the
// test for a remainder of 1 by 9 must see the doubled value before it is
// kept to a byte (262 leaves 1, 6 would not).
TEST(TJPEG_DatasTest, RollingKeyFromTheFirstByte)
{
    TempFolder folder;
    std::vector<u8> zeros(10, 0);
    zeros[0] = 0xFF; // start key 0: every later byte shows the key itself
    folder.Write(1, zeros);
    zeros[0] = 131 ^ 0xFF;
    folder.Write(2, zeros);

    std::unique_ptr<TJPEG_Datas> stream(CreateJpegPackStream(1));
    u8 got[10];
    u32 end = 0;
    ASSERT_TRUE(stream->Open(1, folder.path.c_str()));
    EXPECT_EQ(stream->Read(got, 10, &end), 10);
    const u8 keys[10] = {0xFF, 2, 6, 14, 29, 60, 122, 245, 236, 218};
    EXPECT_EQ(std::vector<u8>(got, got + 10), std::vector<u8>(keys, keys + 10));
    ASSERT_TRUE(stream->Open(2, folder.path.c_str()));
    EXPECT_EQ(stream->Read(got, 2, &end), 2);
    EXPECT_EQ(got[1], 7);
}

// Random files read in random runs: the first byte is the same whatever the
// file holds, scrambling with the writer undoes, and the end flag comes with
// the last byte and stays.
TEST(TJPEG_DatasTest, ReadsInRunsUpToTheEndFlag)
{
    TempFolder folder;
    std::mt19937 rng(7);
    std::unique_ptr<TJPEG_Datas> stream(CreateJpegPackStream(1));
    for (int round = 0; round < 64; ++round)
    {
        std::vector<u8> plain(1 + rng() % 300);
        for (u8& b : plain)
            b = static_cast<u8>(rng());
        plain[0] = 0xFF;
        const u8 seed = static_cast<u8>(round * 37);
        folder.Write(round % 3, tools::ScrambleDataJpeg(plain, seed));
        ASSERT_TRUE(stream->Open(round % 3, folder.path.c_str()));
        EXPECT_EQ(stream->number, round % 3);
        std::vector<u8> got;
        u32 end = 0;
        while (!end)
        {
            u8 buffer[64];
            const i32 asked = static_cast<i32>(1 + rng() % 64);
            const i32 n = stream->Read(buffer, asked, &end);
            ASSERT_GE(n, end ? 0 : asked);
            got.insert(got.end(), buffer, buffer + n);
        }
        EXPECT_EQ(got, plain) << "round " << round;
        u8 more[4];
        end = 0;
        EXPECT_EQ(stream->Read(more, 4, &end), 0);
        EXPECT_EQ(end, 1u);
    }
    // Close gives the file back to the cache; a closed or failed stream
    // delivers nothing and says it has ended.
    stream->Close();
    EXPECT_EQ(stream->cache->count, 0);
    EXPECT_EQ(stream->directory, nullptr);
    EXPECT_FALSE(stream->Open(9, folder.path.c_str()));
    u8 byte;
    u32 end = 0;
    EXPECT_EQ(stream->Read(&byte, 1, &end), 0);
    EXPECT_EQ(end, 1u);
}

} // namespace
