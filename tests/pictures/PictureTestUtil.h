#pragma once
// A temporary folder for data files, an image store with a few run-time
// slots, and pictures to write.
#include "image/OBitmapStore.h"
#include "support/BitmapStoreBuilder.h"
#include "tools/PictureWriter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace picturetest
{

// A fresh folder under the system's temporary folder, removed with the object.
class TempFolder
{
public:
    TempFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "zorblet-pictures-XXXXXX").string();
        path = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    void Write(int number, const std::vector<u8>& bytes) const
    {
        ASSERT_TRUE(tools::WriteDataFile(path, number, bytes));
    }

    std::string path;
};

struct StoreDeleter
{
    void operator()(OBitmapStore* s) const { delete s; }
};
using Store = std::unique_ptr<OBitmapStore, StoreDeleter>;

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

} // namespace picturetest
