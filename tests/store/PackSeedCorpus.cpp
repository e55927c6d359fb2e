// Writes the pack fuzzer's seed corpus (fuzz/corpus/pack) when
// ZORBLET_PACK_CORPUS names a folder: the harness's three leading bytes
// (record count, reservation and range start) and one data file; and the
// inputs the fuzzer found.
#include "StoreTestSupport.h"
#include "support/PlatformFilesTestUtil.h"

#include <cstdlib>

using namespace storetest;

TEST(PackSeedCorpus, WriteWhenAsked)
{
    const char* dir = std::getenv("ZORBLET_PACK_CORPUS");
    if (dir == nullptr)
        GTEST_SKIP() << "set ZORBLET_PACK_CORPUS to a folder to write the seeds";
    tools::PackImage grey = Record(22, 9, 9, 0, "GREY", 7);
    grey.jpegGrey = true;
    grey.pixels.resize(81);
    const std::vector<std::vector<tools::PackImage>> seeds = {
        {Record(0, 3, 3, 0x102030, "ODD", 0), Record(1, 2, 2, 0xFF00FF, "KEY", 1)},
        {Record(14, 3, 2, 0, "PLANE", 2), Record(2, 3, 2, 0, "IMAGE", 3), Record(3, 1, 1, 0, "COUNTS", 4)},
        {Record(16, 3, 3, 0, "PAL", 5), Record(15, 3, 3, 0, "", 6), Record(20, 3, 3, 1, "PAL_A", 7),
         Record(12, 3, 3, 1, "IDX", 8)},
        {Record(22, 9, 7, 0x0000FF, "JPEG", 9), Record(15, 8, 8, 0, "", 10),
         Record(23, 8, 8, 1, "JPEG_A", 11)},
        {grey, Record(24, 1, 1, 0, "NOINDEX", 12), Record(18, 2, 2, 0x00FF00, "PAL_KEY", 13)},
    };
    int index = 0;
    for (const auto& records : seeds)
    {
        std::vector<u8> bytes = {static_cast<u8>(records.size()), 0, static_cast<u8>(index * 37 + 2)};
        for (const tools::PackImage& r : records)
        {
            const std::vector<u8> record = tools::EncodeRecord(r);
            bytes.insert(bytes.end(), record.begin(), record.end());
        }
        filetest::WriteBytes(std::string(dir) + "/" + std::to_string(index++), bytes);
    }
    // Found by the fuzzer: a record that is its own plane, its block held
    // twice by its one image, whose entry FreeRange must give back rather
    // than leave to a block nothing uses.
    const std::vector<u8> found = {
        0x04, 0x00, 0x01, 0x1A, 0x00, 0x00, 0x00, 0x00, 0x1D, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x61, 0x49, 0x00, 0x00, 0x00, 0x00, 0x5B, 0x62, 0x69, 0x98, 0x9F, 0xA6, 0xD5,
        0xDC, 0xE3, 0x0E, 0x0C, 0x00, 0x03, 0x00, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x49, 0x44,
        0xE9, 0xF0, 0x33, 0x0F, 0x00, 0x00, 0x00, 0xB9, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x68, 0x6F, 0x76, 0x34, 0xAC, 0xB3, 0xE2, 0xE9, 0xF0, 0x33};
    filetest::WriteBytes(std::string(dir) + "/" + std::to_string(index), found);
}
