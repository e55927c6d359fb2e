// Whole pictures: ours against the exact reference built from libjpeg-turbo's
// coefficients, and against libjpeg-turbo's own decoder.
#include "JpegTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace jpegtest;

namespace
{
struct Case
{
    const char* name;
    int width, height;
    EncodeOptions options;
};

std::string Describe(const Case& c)
{
    return std::string(c.name) + " " + std::to_string(c.width) + "x" + std::to_string(c.height);
}

EncodeOptions Opt(Layout layout, int quality = 85, int restart = 0, bool baseline = true,
                  bool optimize = false)
{
    EncodeOptions o;
    o.layout = layout;
    o.quality = quality;
    o.restartInterval = restart;
    o.baseline = baseline;
    o.optimize = optimize;
    return o;
}

// Every layout at sizes that are, and are not, multiples of the MCU; restart
// intervals that do and do not divide a row; tables with 16-bit entries;
// optimised Huffman tables; extreme qualities.
const Case kCases[] = {
    {"grey", 64, 48, Opt(Layout::Grey)},
    {"grey odd", 61, 37, Opt(Layout::Grey, 92)},
    {"444", 48, 32, Opt(Layout::S444)},
    {"444 odd", 33, 21, Opt(Layout::S444, 70)},
    {"422", 64, 32, Opt(Layout::S422)},
    {"422 odd", 47, 29, Opt(Layout::S422, 60)},
    {"440", 32, 64, Opt(Layout::S440)},
    {"440 odd", 45, 31, Opt(Layout::S440, 90)},
    {"420", 64, 64, Opt(Layout::S420)},
    {"420 odd", 77, 53, Opt(Layout::S420, 75)},
    {"420 one pixel", 1, 1, Opt(Layout::S420)},
    {"420 one column", 1, 40, Opt(Layout::S420)},
    {"420 one row", 41, 1, Opt(Layout::S420)},
    {"420 restart 1", 50, 34, Opt(Layout::S420, 85, 1)},
    {"420 restart 3", 83, 45, Opt(Layout::S420, 85, 3)},
    {"422 restart 7", 100, 20, Opt(Layout::S422, 85, 7)},
    {"grey restart 5", 70, 30, Opt(Layout::Grey, 85, 5)},
    {"444 16-bit tables", 40, 24, Opt(Layout::S444, 3, 0, false)},
    {"420 16-bit tables", 57, 43, Opt(Layout::S420, 2, 0, false)},
    {"grey 16-bit tables", 33, 17, Opt(Layout::Grey, 1, 2, false)},
    {"420 optimised", 90, 70, Opt(Layout::S420, 85, 0, true, true)},
    {"440 quality 100", 30, 50, Opt(Layout::S440, 100)},
    {"444 quality 100", 24, 24, Opt(Layout::S444, 100, 2)},
    {"420 wide", 1000, 18, Opt(Layout::S420, 80, 13)},
};

void ExpectMatchesReference(const Case& c, const std::vector<u8>& jpeg)
{
    Decoded ours = DecodeOurs(jpeg);
    ASSERT_EQ(ours.begin, 0) << Describe(c) << " error " << ours.error;
    ASSERT_EQ(ours.end, 1) << Describe(c) << " error " << ours.error;
    EXPECT_EQ(ours.lines, c.height);
    Image ref = DecodeReference(jpeg);
    ASSERT_EQ(ours.image.width, ref.width);
    ASSERT_EQ(ours.image.channels, ref.channels);
    ASSERT_EQ(ours.image.data.size(), ref.data.size());
    size_t firstDiff = ours.image.data.size();
    for (size_t i = 0; i < ref.data.size(); ++i)
        if (ours.image.data[i] != ref.data[i])
        {
            firstDiff = i;
            break;
        }
    EXPECT_EQ(firstDiff, ours.image.data.size()) << Describe(c) << ": first differing byte";
}
} // namespace

TEST(JpegDecode, MatchesCoefficientReferenceInEveryLayout)
{
    u32 seed = 1;
    for (const Case& c : kCases)
    {
        int channels = c.options.layout == Layout::Grey ? 1 : 3;
        std::vector<u8> jpeg =
            Encode(MakePicture(c.width, c.height, channels, seed++), c.width, c.height, c.options);
        SCOPED_TRACE(Describe(c));
        if (!c.options.baseline)
        {
            // The coarse tables must really have come out with 16-bit entries.
            bool wide = false;
            for (size_t i = 0; i + 4 < jpeg.size(); ++i)
                if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDB && (jpeg[i + 4] >> 4) != 0)
                    wide = true;
            EXPECT_TRUE(wide);
        }
        ExpectMatchesReference(c, jpeg);
    }
}

namespace
{
// Differences between ours and libjpeg-turbo's decoder, by size: 0, 1, 2, 3, more.
struct Histogram
{
    size_t bins[5] = {};
    size_t total = 0;
    void Add(const Image& a, const Image& b)
    {
        for (size_t i = 0; i < a.data.size() && i < b.data.size(); ++i)
        {
            int d = std::abs(a.data[i] - b.data[i]);
            ++bins[d > 4 ? 4 : d];
        }
        total += a.data.size();
    }
    std::string Text() const
    {
        char s[200];
        std::snprintf(s, sizeof s, "0:%zu 1:%zu 2:%zu 3:%zu >3:%zu of %zu (%.3f%% identical)", bins[0],
                      bins[1], bins[2], bins[3], bins[4], total, 100.0 * bins[0] / (total ? total : 1));
        return s;
    }
};

void ExpectCloseToLibjpeg(const std::vector<u8>& jpeg, Histogram& all, const std::string& what)
{
    Decoded ours = DecodeOurs(jpeg);
    ASSERT_EQ(ours.end, 1) << what << " error " << ours.error;
    Image theirs = DecodeLibjpeg(jpeg);
    ASSERT_EQ(ours.image.width, theirs.width);
    ASSERT_EQ(ours.image.height, theirs.height);
    ASSERT_EQ(ours.image.data.size(), theirs.data.size());
    Histogram h;
    h.Add(ours.image, theirs);
    all.Add(ours.image, theirs);
    EXPECT_EQ(h.bins[4], 0u) << what << ": " << h.Text();
    EXPECT_GE(h.bins[0] * 100, h.total * 95) << what << ": " << h.Text();
}
} // namespace

TEST(JpegDecode, StaysWithinThreeOfLibjpegOnPhotographs)
{
    Histogram all;
    const Layout layouts[] = {Layout::Grey, Layout::S444, Layout::S422, Layout::S440, Layout::S420};
    u32 seed = 100;
    for (Layout layout : layouts)
        for (int quality : {50, 85, 95})
        {
            int w = 161, h = 123;
            int channels = layout == Layout::Grey ? 1 : 3;
            auto jpeg = Encode(MakePicture(w, h, channels, seed++), w, h,
                               Opt(layout, quality, quality == 50 ? 4 : 0));
            ExpectCloseToLibjpeg(jpeg, all,
                                 "layout " + std::to_string(static_cast<int>(layout)) + " quality " +
                                     std::to_string(quality));
        }
    std::printf("[ histogram ] ours vs libjpeg-turbo, generated pictures: %s\n", all.Text().c_str());
}

TEST(JpegDecode, FilesFromAnotherEncoder)
{
    const std::string dir = std::string(ZORBLET_JPEG_FILES) + "/";
    Histogram all;
    for (const char* name : {"testorig.jpg", "testimgint.jpg"})
    {
        auto jpeg = ReadFile(dir + name);
        ASSERT_FALSE(jpeg.empty()) << name;
        Decoded ours = DecodeOurs(jpeg);
        EXPECT_EQ(ours.image.width, 227);
        EXPECT_EQ(ours.lines, 149);
        ExpectCloseToLibjpeg(jpeg, all, name);
        Image ref = DecodeReference(jpeg);
        EXPECT_TRUE(ours.image.data == ref.data) << name << " differs from the coefficient reference";
    }
    std::printf("[ histogram ] ours vs libjpeg-turbo, files from another encoder: %s\n", all.Text().c_str());

    Decoded ari = DecodeOurs(ReadFile(dir + "testimgari.jpg"));
    EXPECT_EQ(ari.begin, -1);
    EXPECT_EQ(ari.error, -215);

    Decoded twelve = DecodeOurs(ReadFile(dir + "monkey12.jpg"));
    EXPECT_EQ(twelve.begin, -1);
    EXPECT_EQ(twelve.error, -205);
}
