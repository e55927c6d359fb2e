// The three picture loaders, fed by the picture writer: one table of round
// trips over the kinds, bit depths, orientations and JPEG layouts, and one
// table of damaged files that must be refused without touching the store.
#include "PictureTestUtil.h"
#include "image/DataPictures.h"
#include "image/OImageTable.h"

#include <cstring>

using namespace picturetest;

namespace
{

enum class Kind
{
    Tga,
    Jpm,
    Jpeg,
};

bool Load(Kind kind, i32* slot, OBitmapStore* store, const std::string& folder)
{
    const char* f = folder.c_str();
    return kind == Kind::Tga   ? LoadTgaImage(5, slot, store, f)
           : kind == Kind::Jpm ? LoadJpmImage(5, slot, store, f, 0xB3)
                               : LoadJpegPackImage(5, slot, store, f);
}

std::vector<u8> FlipRows(const std::vector<u8>& rows, int height)
{
    std::vector<u8> out(rows.size());
    const size_t pitch = rows.size() / height;
    for (int y = 0; y < height; ++y)
        std::memcpy(&out[pitch * (height - 1 - y)], &rows[pitch * y], pitch);
    return out;
}

struct RoundTrip
{
    const char* name;
    Kind kind;
    int width, height;
    tools::TgaKind tga = tools::TgaKind::Rgb24;
    bool bottomUp = false;
    bool grey = false;
    tools::Sampling sampling = tools::Sampling::S420;
    tools::JpmLayout layout = {};
};

TEST(PictureLoaderTest, RoundTripsThroughTheWriter)
{
    using tools::Sampling;
    using tools::TgaKind;
    const RoundTrip cases[] = {
        // The loader reads 24- and 8-bit rows from the top and 32-bit rows
        // from the bottom, whatever the descriptor says.
        {"tga24 top-down", Kind::Tga, 13, 7, TgaKind::Rgb24, false},
        {"tga24 bottom-up comes out flipped", Kind::Tga, 13, 7, TgaKind::Rgb24, true},
        {"tga32 bottom-up comes out upright", Kind::Tga, 9, 6, TgaKind::Rgba32, true},
        {"tga32 top-down comes out flipped", Kind::Tga, 9, 6, TgaKind::Rgba32, false},
        {"tga8 top-down", Kind::Tga, 11, 5, TgaKind::Grey8, false},
        {"tga8 bottom-up comes out flipped", Kind::Tga, 11, 5, TgaKind::Grey8, true},
        {"tga 0x0", Kind::Tga, 0, 0, TgaKind::Rgba32, true},
        {"jpm 4:2:0 odd size", Kind::Jpm, 17, 9, {}, false, false, Sampling::S420},
        {"jpm 4:4:4 gap and spare alpha", Kind::Jpm, 8, 8, {}, false, false, Sampling::S444, {'!', 5, 3}},
        {"jpm 4:2:2", Kind::Jpm, 18, 7, {}, false, false, Sampling::S422},
        {"jpm grey part", Kind::Jpm, 10, 10, {}, false, true},
        {"jpeg 4:4:0", Kind::Jpeg, 7, 18, {}, false, false, Sampling::S440},
        {"jpeg 4:2:0", Kind::Jpeg, 33, 17, {}, false, false, Sampling::S420},
        {"jpeg grey", Kind::Jpeg, 13, 9, {}, false, true},
        {"jpeg 1x1", Kind::Jpeg, 1, 1, {}, false, false, Sampling::S444},
    };
    TempFolder folder;
    u32 seed = 1;
    for (const RoundTrip& c : cases)
    {
        // Alternately the first free slot and a chosen one.
        const i32 wanted = seed % 4 == 1 ? -1 : 3;
        SCOPED_TRACE(c.name);
        const int channels = c.kind == Kind::Tga ? (c.tga == TgaKind::Rgba32  ? 4
                                                    : c.tga == TgaKind::Rgb24 ? 3
                                                                              : 1)
                                                 : (c.grey ? 1 : 3);
        const std::vector<u8> source = MakePixels(c.width, c.height, channels, seed++);
        const std::vector<u8> alpha = MakePixels(c.width, c.height, 1, seed++);
        std::vector<u8> wantBits, wantAlpha;
        u8 format = 0;
        if (c.kind == Kind::Tga)
        {
            folder.Write(5, tools::WriteTga(c.tga, c.bottomUp, c.width, c.height, source.data()));
            const bool flipped = (c.tga == TgaKind::Rgba32) != c.bottomUp;
            const std::vector<u8> rows = flipped && c.height ? FlipRows(source, c.height) : source;
            if (c.tga == TgaKind::Rgb24)
                wantBits = rows;
            else if (c.tga == TgaKind::Grey8)
                wantAlpha = rows, format = 14;
            else
            {
                format = 2;
                for (size_t i = 0; i < rows.size(); i += 4)
                {
                    wantBits.insert(wantBits.end(), {rows[i], rows[i + 1], rows[i + 2]});
                    wantAlpha.push_back(static_cast<u8>(255 - rows[i + 3]));
                }
            }
        }
        else
        {
            tools::JpegOptions options;
            options.quality = 95;
            options.sampling = c.sampling;
            const std::vector<u8> jpeg =
                tools::EncodeJpeg(source.data(), c.width, c.height, channels, options);
            wantBits = DecodeBgr(jpeg);
            // Close to what was encoded, channel for channel: a swap of red and
            // blue would be off by far more.
            long error = 0;
            for (size_t i = 0; i < source.size(); ++i)
                error += std::abs(wantBits[channels == 1 ? 3 * i : i] - source[i]);
            EXPECT_LT(error, 10 * static_cast<long>(source.size()));
            if (c.kind == Kind::Jpm)
            {
                folder.Write(5, tools::WriteJpmAround(jpeg, alpha.data(), static_cast<u32>(c.width),
                                                      static_cast<u32>(c.height), 0xB3, c.layout));
                wantAlpha = alpha;
                format = 2;
            }
            else
                folder.Write(5, tools::ScrambleDataJpeg(jpeg, static_cast<u8>(seed * 29)));
        }

        Store store = MakeSlots();
        i32 slot = wanted;
        ASSERT_TRUE(Load(c.kind, &slot, store.get(), folder.path));
        EXPECT_EQ(slot, wanted < 0 ? 0 : wanted);
        OBitmap* image = store->GetTable()->GetImage(static_cast<i16>(slot));
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->width, c.width);
        EXPECT_EQ(image->height, c.height);
        EXPECT_EQ(image->format, format);
        // Where nothing is expected, nothing is compared.
        auto bytes = [](const u8* p, size_t n) { return n ? std::vector<u8>(p, p + n) : std::vector<u8>(); };
        EXPECT_EQ(bytes(image->GetBits(), wantBits.size()), wantBits);
        EXPECT_EQ(bytes(image->GetAlpha(), wantAlpha.size()), wantAlpha);
    }
}

// A valid file of one kind, then one edit: a field set (1 or 4 bytes,
// little-endian), and the file cut to `keep` bytes or grown or shrunk by
// `delta`.
enum class Base
{
    Tga24,
    Tga32,
    Tga8,
    Jpm,
    JpmUndecodable,
    DataJpeg,
    PlainJpeg,
    HugeJpeg,
    Missing,
};

struct Refusal
{
    const char* name;
    Base base;
    int at = -1;
    int width = 1;
    u32 value = 0;
    long keep = -1;
    long delta = 0;
};

// Each damaged file gives false; the image already in the wanted slot, the
// slot argument and every other slot stay as they were.
TEST(PictureLoaderTest, RefusesDamagedFilesLeavingTheStoreAlone)
{
    const std::vector<u8> colour = MakePixels(16, 8, 3, 2), plane = MakePixels(16, 8, 1, 3);
    const std::vector<u8> jpeg = tools::EncodeJpeg(colour.data(), 16, 8, 3, {});
    const u32 afterJpeg = 21 + static_cast<u32>(jpeg.size());
    const Refusal cases[] = {
        {"tga header cut", Base::Tga24, -1, 1, 0, 17},
        {"tga run-length", Base::Tga24, 2, 1, 10},
        {"tga colour map", Base::Tga24, 1, 1, 1},
        {"tga identifier", Base::Tga24, 0, 1, 1},
        {"tga origin", Base::Tga24, 10, 1, 1},
        {"tga 16 bits", Base::Tga24, 16, 1, 16},
        {"tga grey of 24 bits", Base::Tga24, 2, 1, 3},
        {"tga colour of 8 bits", Base::Tga8, 2, 1, 2},
        {"tga24 a byte short", Base::Tga24, -1, 1, 0, -1, -1},
        {"tga32 a byte short", Base::Tga32, -1, 1, 0, -1, -1},
        {"tga8 a byte short", Base::Tga8, -1, 1, 0, -1, -1},
        {"tga empty", Base::Tga24, -1, 1, 0, 0},
        {"jpm magic", Base::Jpm, 2, 1, 'G'},
        {"jpm header cut", Base::Jpm, -1, 1, 0, 19},
        {"jpm part inside the header", Base::Jpm, 12, 4, 19},
        {"jpm parts out of order", Base::Jpm, 12, 4, afterJpeg},
        {"jpm alpha past the end", Base::Jpm, 16, 4, afterJpeg + 16 * 8},
        {"jpm alpha a byte short", Base::Jpm, -1, 1, 0, -1, -1},
        {"jpm header wider than its part", Base::Jpm, 4, 4, 17, -1, 8},
        {"jpm header shorter than its part", Base::Jpm, 8, 4, 7},
        {"jpm beyond 16 bits", Base::JpmUndecodable, 6, 4, 1}, // width 0x10010, height 0
        {"jpeg missing", Base::Missing},
        {"jpeg empty", Base::DataJpeg, -1, 1, 0, 0},
        {"jpeg not scrambled", Base::PlainJpeg},
        {"jpeg headers cut", Base::DataJpeg, -1, 1, 0, 40},
        {"jpeg header claiming 8192x8192", Base::HugeJpeg},
    };
    // The same stream whose frame header claims far more pixels than it holds.
    std::vector<u8> huge = jpeg;
    for (size_t i = 0; i + 8 < huge.size(); ++i)
        if (huge[i] == 0xFF && huge[i + 1] == 0xC0)
        {
            huge[i + 5] = huge[i + 7] = 0x20; // height and width, big-endian
            huge[i + 6] = huge[i + 8] = 0;
            break;
        }
    auto tga = [](tools::TgaKind kind, int channels)
    { return tools::WriteTga(kind, false, 4, 3, MakePixels(4, 3, channels, 1).data()); };
    // In the order of Base.
    const std::vector<u8> bases[] = {tga(tools::TgaKind::Rgb24, 3),
                                     tga(tools::TgaKind::Rgba32, 4),
                                     tga(tools::TgaKind::Grey8, 1),
                                     tools::WriteJpmAround(jpeg, plane.data(), 16, 8, 0xB3),
                                     tools::WriteJpmAround({1, 2, 3}, plane.data(), 16, 8, 0xB3),
                                     tools::ScrambleDataJpeg(jpeg, 0x42),
                                     jpeg,
                                     tools::ScrambleDataJpeg(huge, 0x42),
                                     {}};
    TempFolder folder;
    for (const Refusal& c : cases)
    {
        SCOPED_TRACE(c.name);
        std::vector<u8> f = bases[static_cast<int>(c.base)];
        for (int i = 0; i < c.width && c.at >= 0; ++i)
            f[static_cast<size_t>(c.at + i)] = static_cast<u8>(c.value >> (8 * i));
        f.resize(c.keep >= 0 ? static_cast<size_t>(c.keep) : f.size() + static_cast<size_t>(c.delta));
        std::filesystem::remove(tools::DataFilePath(folder.path, 5));
        if (c.base != Base::Missing)
            folder.Write(5, f);

        Store store = MakeSlots();
        ASSERT_EQ(store->GetTable()->AddImage(2, 2, 0, 0, nullptr, nullptr, 1), 1);
        OBitmap* before = store->GetTable()->GetImage(1);
        i32 slot = 1;
        const Kind kind = c.base <= Base::Tga8             ? Kind::Tga
                          : c.base <= Base::JpmUndecodable ? Kind::Jpm
                                                           : Kind::Jpeg;
        EXPECT_FALSE(Load(kind, &slot, store.get(), folder.path));
        EXPECT_EQ(slot, 1);
        for (i16 s = 0; s < 4; ++s)
            EXPECT_EQ(store->GetTable()->GetImage(s), s == 1 ? before : nullptr);
    }
}

// A JPM picture whose JPEG part the decoder refuses is still an image: its
// alpha plane from the file and black pixels. A full table or a slot beyond
// the table refuses every kind, and the slot argument then holds -1.
TEST(PictureLoaderTest, UndecodableJpmPartAndFullTable)
{
    TempFolder folder;
    const std::vector<u8> plane = MakePixels(3, 2, 1, 4);
    folder.Write(5, tools::WriteJpmAround({1, 2, 3}, plane.data(), 3, 2, 0xB3));
    Store store = MakeSlots(2);
    i32 slot = -1;
    ASSERT_TRUE(LoadJpmImage(5, &slot, store.get(), folder.path.c_str(), 0xB3));
    OBitmap* image = store->GetTable()->GetImage(0);
    EXPECT_EQ(std::vector<u8>(image->GetBits(), image->GetBits() + 18), std::vector<u8>(18, 0));
    EXPECT_EQ(std::vector<u8>(image->GetAlpha(), image->GetAlpha() + 6), plane);

    slot = -1;
    ASSERT_TRUE(LoadJpmImage(5, &slot, store.get(), folder.path.c_str(), 0xB3));
    EXPECT_EQ(slot, 1);
    const std::vector<u8> pixels = MakePixels(2, 2, 3, 5);
    const std::vector<u8> jpeg = tools::EncodeJpeg(pixels.data(), 2, 2, 3, {});
    const std::vector<std::vector<u8>> files = {
        tools::WriteTga(tools::TgaKind::Rgb24, false, 2, 2, pixels.data()),
        tools::WriteJpmAround(jpeg, plane.data(), 2, 2, 0xB3), tools::ScrambleDataJpeg(jpeg, 9)};
    for (int k = 0; k < 3; ++k)
    {
        folder.Write(5, files[k]);
        for (i32 wanted : {-1, 2, 0x10002})
        {
            slot = wanted;
            EXPECT_FALSE(Load(static_cast<Kind>(k), &slot, store.get(), folder.path)) << k << " " << wanted;
            EXPECT_EQ(slot, -1);
        }
        slot = 0x10000; // the low 16 bits choose slot 0
        EXPECT_TRUE(Load(static_cast<Kind>(k), &slot, store.get(), folder.path)) << k;
        EXPECT_EQ(slot, 0);
    }
}

} // namespace
