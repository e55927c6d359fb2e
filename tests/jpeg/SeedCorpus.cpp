// Writes the fuzzer's seed corpus (fuzz/corpus/jpeg) when ZORBLET_JPEG_CORPUS
// names a folder: small pictures in every layout and option, and broken copies
// of them. Each file starts with the harness's chunk-size selector byte.
#include "JpegTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

using namespace jpegtest;

TEST(JpegSeedCorpus, WriteWhenAsked)
{
    const char* dir = std::getenv("ZORBLET_JPEG_CORPUS");
    if (dir == nullptr)
        GTEST_SKIP() << "set ZORBLET_JPEG_CORPUS to a folder to write the seeds";
    int index = 0;
    auto write = [&](const std::vector<u8>& jpeg, const char* what)
    {
        std::string path =
            std::string(dir) + "/" + (index < 10 ? "0" : "") + std::to_string(index) + "-" + what;
        std::ofstream out(path, std::ios::binary);
        char selector = static_cast<char>(index % 8);
        out.write(&selector, 1);
        out.write(reinterpret_cast<const char*>(jpeg.data()), static_cast<std::streamsize>(jpeg.size()));
        ++index;
    };
    struct Seed
    {
        const char* name;
        Layout layout;
        int w, h, quality, restart;
        bool baseline;
    };
    const Seed seeds[] = {
        {"grey", Layout::Grey, 13, 9, 75, 0, true},     {"444", Layout::S444, 9, 9, 60, 0, true},
        {"422", Layout::S422, 18, 7, 60, 0, true},      {"440", Layout::S440, 7, 18, 60, 0, true},
        {"420", Layout::S420, 17, 17, 50, 0, true},     {"420-restart", Layout::S420, 33, 17, 50, 1, true},
        {"444-16bit", Layout::S444, 8, 8, 2, 0, false}, {"grey-restart", Layout::Grey, 24, 8, 90, 2, true},
    };
    for (const Seed& s : seeds)
    {
        EncodeOptions o;
        o.layout = s.layout;
        o.quality = s.quality;
        o.restartInterval = s.restart;
        o.baseline = s.baseline;
        int channels = s.layout == Layout::Grey ? 1 : 3;
        auto jpeg = Encode(MakePicture(s.w, s.h, channels, static_cast<u32>(index)), s.w, s.h, o);
        write(jpeg, s.name);
        if (s.layout == Layout::S420 && s.restart == 0)
        {
            write(std::vector<u8>(jpeg.begin(), jpeg.begin() + static_cast<long>(jpeg.size() * 2 / 3)),
                  "truncated");
            auto corrupt = jpeg;
            for (size_t i = corrupt.size() / 2; i < corrupt.size() - 2; i += 7)
                corrupt[i] ^= 0x5A;
            write(corrupt, "corrupt");
        }
    }
    EncodeOptions progressive;
    progressive.progressive = true;
    write(Encode(MakePicture(8, 8, 3, 1), 8, 8, progressive), "progressive");
    EncodeOptions arithmetic;
    arithmetic.arithmetic = true;
    write(Encode(MakePicture(8, 8, 3, 2), 8, 8, arithmetic), "arithmetic");
}
