// Writes the seed corpora of the picture fuzzers (fuzz/corpus/tga, jpm and
// datajpeg) when ZORBLET_PICTURES_CORPUS names the corpus folder: small
// pictures of every kind the loaders take, and damaged copies of some.
#include "PictureTestUtil.h"

#include <cstdlib>

using namespace picturetest;

TEST(PictureSeedCorpus, WriteWhenAsked)
{
    const char* root = std::getenv("ZORBLET_PICTURES_CORPUS");
    if (root == nullptr)
        GTEST_SKIP() << "set ZORBLET_PICTURES_CORPUS to the corpus folder to write the seeds";
    auto write = [&](const char* harness, const std::string& name, const std::vector<u8>& bytes)
    {
        std::filesystem::create_directories(std::string(root) + "/" + harness);
        filetest::WriteBytes(std::string(root) + "/" + harness + "/" + name, bytes);
    };
    using tools::TgaKind;
    const struct
    {
        const char* name;
        TgaKind kind;
        int channels;
    } tgas[] = {{"rgb24", TgaKind::Rgb24, 3}, {"rgba32", TgaKind::Rgba32, 4}, {"grey8", TgaKind::Grey8, 1}};
    for (const auto& t : tgas)
        for (bool bottomUp : {false, true})
        {
            auto file = tools::WriteTga(t.kind, bottomUp, 7, 5, MakePixels(7, 5, t.channels, 1).data());
            write("tga", std::string(t.name) + (bottomUp ? "-bottom-up" : "-top-down"), file);
            if (bottomUp)
            {
                file.pop_back();
                write("tga", std::string(t.name) + "-short", file);
            }
        }

    const std::vector<u8> colour = MakePixels(19, 11, 3, 2), grey = MakePixels(19, 11, 1, 3);
    const std::vector<u8> plane = MakePixels(19, 11, 1, 4);
    tools::JpegOptions options;
    options.quality = 60;
    write("jpm", "420", tools::WriteJpm(colour.data(), plane.data(), 19, 11, 0xB3, options));
    options.sampling = tools::Sampling::S444;
    write("jpm", "444-gap", tools::WriteJpm(colour.data(), plane.data(), 19, 11, 0xB3, options, {'1', 7, 4}));
    const std::vector<u8> greyJpeg = tools::EncodeJpeg(grey.data(), 19, 11, 1, options);
    write("jpm", "grey-part", tools::WriteJpmAround(greyJpeg, plane.data(), 19, 11, 0xB3));
    write("jpm", "undecodable-part", tools::WriteJpmAround({0xFF, 0xD8, 0xFF}, plane.data(), 19, 11, 0xB3));

    const struct
    {
        const char* name;
        tools::Sampling sampling;
        int restart;
    } jpegs[] = {{"444", tools::Sampling::S444, 0},
                 {"422", tools::Sampling::S422, 0},
                 {"440", tools::Sampling::S440, 0},
                 {"420-restart", tools::Sampling::S420, 1}};
    u8 seed = 0x11;
    for (const auto& j : jpegs)
    {
        options.sampling = j.sampling;
        options.restartInterval = j.restart;
        const auto jpeg = tools::EncodeJpeg(colour.data(), 19, 11, 3, options);
        write("datajpeg", j.name, tools::ScrambleDataJpeg(jpeg, seed));
        seed = static_cast<u8>(seed * 7 + 3);
    }
    auto greyFile = tools::ScrambleDataJpeg(greyJpeg, 0xA5);
    write("datajpeg", "grey", greyFile);
    greyFile.resize(greyFile.size() / 2);
    write("datajpeg", "grey-truncated", greyFile);
}
