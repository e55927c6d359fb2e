#pragma once
// A temporary folder for data files, an image store with a few run-time
// slots, pictures to write, and what our decoder makes of a JPEG stream.
#include "PictureWriter.h"
#include "image/OBitmapStore.h"
#include "image/jpeg/TJPEG_Decoder.h"
#include "support/BitmapStoreBuilder.h"
#include "support/PlatformFilesTestUtil.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

namespace picturetest
{

// A fresh folder under the system's temporary folder, removed with the object.
struct TempFolder : filetest::TempFolder
{
    void Write(int number, const std::vector<u8>& bytes) const
    {
        ASSERT_TRUE(tools::WriteDataFile(path, number, bytes));
    }
    const std::string path = Path();
};

using Store = std::unique_ptr<OBitmapStore>;

inline Store MakeSlots(i16 slots = 4)
{
    return Store(testsupport::MakeStore(2, slots));
}

// Smooth shading with a little noise: compresses like a photograph, and no
// two neighbouring rows are alike, so a flipped or shifted picture shows.
inline std::vector<u8> MakePixels(int width, int height, int channels, u32 seed)
{
    std::mt19937 rng(seed);
    std::vector<u8> out(size_t(width) * height * channels);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c)
                out[(size_t(y) * width + x) * channels + c] =
                    static_cast<u8>(40 + (x * (3 + c) + y * (7 - 2 * c)) % 170 + rng() % 8);
    return out;
}

// What our decoder makes of a stream, as blue, green, red rows; grey samples
// become all three. The decoder has its own suite against reference decoders.
inline std::vector<u8> DecodeBgr(const std::vector<u8>& jpeg)
{
    TJPEG_Decoder* decoder = TJPEG_Decoder::Create();
    OJpegData source(static_cast<i32>(jpeg.size()), jpeg.data());
    std::vector<u8> out;
    u8* line;
    u32 length;
    if (decoder->Begin(&source) != 0)
        ADD_FAILURE() << "our decoder refuses the stream";
    else
    {
        const u32 step = static_cast<u32>(decoder->GetBytesPerPixel());
        while (decoder->DecodeLine(&line, &length) == 0)
            for (u32 i = 0; i < length; i += step)
                out.insert(out.end(),
                           {line[i + (step == 4 ? 2 : 0)], line[i + (step == 4 ? 1 : 0)], line[i]});
    }
    decoder->Delete();
    return out;
}

} // namespace picturetest
