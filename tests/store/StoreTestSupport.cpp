#include "StoreTestSupport.h"

#include "image/jpeg/TJPEG_Decoder.h"

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
    root = fs::temp_directory_path() / ("zorblet-store-" + std::to_string(getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root);
    fs::create_directories(root);
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
    if (record.type != 22 && record.type != 23)
    {
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
    const std::vector<u8> jpeg = tools::EncodeRecordJpeg(record);
    TJPEG_Decoder* decoder = TJPEG_Decoder::Create();
    OJpegData stream(static_cast<i32>(jpeg.size()), jpeg.data());
    std::vector<u8> out;
    EXPECT_EQ(decoder->Begin(&stream), 0);
    const bool grey = decoder->GetBytesPerPixel() == 1;
    u8* line = nullptr;
    u32 length = 0;
    while (decoder->DecodeLine(&line, &length) == 0)
        for (u32 x = 0; x < record.width; ++x)
            for (int c = 0; c < 3; ++c)
                out.push_back(grey ? line[x] : line[4 * x + 2 - u32(c)]);
    decoder->Delete();
    return out;
}

} // namespace storetest
