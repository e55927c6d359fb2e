#include "StoreTestSupport.h"

#include "pictures/PictureTestUtil.h"
#include "support/PlatformFilesTestUtil.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace storetest
{

namespace
{

// A death test's child runs SetUp and then ends the process through exit(),
// so TearDown never runs there; its folder goes when the process does.
void RemoveAtExit(const fs::path& folder)
{
    static std::vector<fs::path> folders;
    if (folders.empty())
        std::atexit(
            []
            {
                std::error_code ignored;
                for (const fs::path& f : folders)
                    fs::remove_all(f, ignored);
            });
    folders.push_back(folder);
}

} // namespace

void PackFolder::SetUp()
{
    std::string pattern = filetest::TempBase() + "/zorblet-store-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr) << pattern;
    root = pattern;
    RemoveAtExit(root);
}

void PackFolder::TearDown()
{
    fs::remove_all(root);
}

std::string PackFolder::Write(const std::string& name, const tools::PackFiles& files, int headerRecords)
{
    const fs::path dir = root / name;
    fs::create_directories(dir);
    std::string error;
    EXPECT_TRUE(tools::WritePack(dir.string(), files, &error, headerRecords)) << error;
    return dir.string();
}

tools::PackImage Record(u16 type, u16 w, u16 h, u32 value, const std::string& name, u32 seed)
{
    tools::PackImage image;
    image.type = type;
    image.width = w;
    image.height = h;
    image.value = value;
    image.name = name;
    image.padValue = static_cast<u8>(seed * 37 + 11);
    const size_t n = size_t(w) * h;
    const bool rgb = type <= 11 || type == 13 || ((type == 22 || type == 23) && !image.jpegGrey);
    image.pixels.resize(rgb ? 3 * n : n);
    // JPEG pictures are smooth, the way photographs are; the others any
    // bytes at all.
    const bool smooth = type == 22 || type == 23;
    for (size_t i = 0; i < image.pixels.size(); ++i)
        image.pixels[i] = smooth ? static_cast<u8>(40 + (i / 3) % w * 9 + (i / 3) / w * 5 + i % 3 * 30 + seed)
                                 : static_cast<u8>((i * 7 + seed * 13 + (i / 3) % 5 * 40) & 0xFF);
    if (type >= 16 && type <= 20)
        for (u32 i = 0; i < 3 * ((seed % 3) + 1); ++i)
            image.palette.push_back(static_cast<u8>(i * 29 + seed));
    return image;
}

std::vector<u8> ExpectedBlock(const tools::PackImage& record)
{
    if (record.type == 22 || record.type == 23)
        return picturetest::DecodeBgr(tools::EncodeRecordJpeg(record));
    std::vector<u8> out;
    if (record.type >= 16 && record.type <= 20)
    {
        const u32 header = static_cast<u32>(2 + record.palette.size());
        out = {static_cast<u8>(header), static_cast<u8>(header >> 8)};
        out.insert(out.end(), record.palette.begin(), record.palette.end());
    }
    out.insert(out.end(), record.pixels.begin(), record.pixels.end());
    return out;
}

} // namespace storetest
