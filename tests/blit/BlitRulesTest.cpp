// Fixed values and properties of the blitter family that the random
// comparison cannot pin down by itself: the formulas' own numbers, how the
// walk places a clipped or mirrored image, what a member does without the
// plane it reads, and the fill and line primitives.
#include "image/OBitmap.h"
#include "render/Blit.h"
#include "render/BlitTable.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

namespace
{

struct Image
{
    OBitmap* bitmap;
    explicit Image(u16 w, u16 h, u8 format, u32 key = 0)
        : bitmap(CreateBitmap(w, h, key, format, nullptr, nullptr))
    {
    }
    ~Image() { DestroyBitmap(bitmap); }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
    OBitmap* operator->() const { return bitmap; }
    operator OBitmap*() const { return bitmap; }
    u8* Px(int x, int y) { return bitmap->GetBits() + y * bitmap->GetPitch() + 3 * x; }
    void Fill(u8 value)
    {
        std::memset(bitmap->GetBits(), value, size_t(OBitmap::Rgb24BlockSize(bitmap->width, bitmap->height)));
    }
    void FillAlpha(u8 value)
    {
        std::memset(bitmap->GetAlpha(), value, size_t(bitmap->width) * bitmap->height);
    }
};

// One source pixel of value s (all channels) with alpha a over one
// destination pixel of value d; returns the destination's blue byte.
u8 OnePixel(u8 mode, u8 s, u8 a, u8 d, u8 opacity)
{
    Image src(1, 1, mode == 13 || mode == 14 || mode == 2 || mode == 3 ? 2 : 0);
    Image dst(1, 1, 0);
    src.Fill(s);
    if (src->GetAlpha())
        src.FillAlpha(a);
    dst.Fill(d);
    GetBlitter(mode, 0)(dst, src, 0, 0, nullptr, opacity, nullptr);
    return dst.Px(0, 0)[0];
}

TEST(BlitFormulas, BlendsRoundTowardMinusInfinity)
{
    EXPECT_EQ(OnePixel(2, 0, 128, 255, 0), 127);
    EXPECT_EQ(OnePixel(2, 10, 0, 255, 0), 10);    // opaque: exactly the source
    EXPECT_EQ(OnePixel(2, 10, 255, 200, 0), 200); // transparent: untouched
    EXPECT_EQ(OnePixel(7, 0, 0, 255, 128), 127);  // -127.5 rounds down to -128
    EXPECT_EQ(OnePixel(7, 255, 0, 0, 255), 254);  // opacity 255 is not a copy
    EXPECT_EQ(OnePixel(7, 255, 0, 0, 0), 0);
    EXPECT_EQ(OnePixel(3, 255, 0, 0, 255), 253); // 65025/65536 of the way
    EXPECT_EQ(OnePixel(3, 255, 0, 0, 128), 127);
    EXPECT_EQ(OnePixel(13, 0, 255, 0, 0), 254);
    EXPECT_EQ(OnePixel(13, 0, 0, 77, 0), 77);
    EXPECT_EQ(OnePixel(14, 0, 128, 200, 0), 100);
    EXPECT_EQ(OnePixel(14, 0, 0, 200, 0), 0);
}

TEST(BlitFormulas, ColourKeyComparesThreeBytesWithTheWholeKey)
{
    Image src(2, 1, 1, 0x00FF00FF);
    Image dst(2, 1, 0);
    dst.Fill(7);
    const u8 magenta[3] = {0xFF, 0x00, 0xFF}, other[3] = {0xFF, 0x01, 0xFF};
    std::memcpy(src.Px(0, 0), magenta, 3);
    std::memcpy(src.Px(1, 0), other, 3);
    BlitKeyed(dst, src, 0, 0, nullptr);
    EXPECT_EQ(dst.Px(0, 0)[1], 7); // keyed out
    EXPECT_EQ(dst.Px(1, 0)[1], 1);

    // A key with a non-zero top byte matches no pixel.
    src->colourKey = 0x01FF00FF;
    dst.Fill(7);
    BlitKeyed(dst, src, 0, 0, nullptr);
    EXPECT_EQ(dst.Px(0, 0)[0], 0xFF);
}

TEST(BlitFormulas, IndexedKeyTestsThePaletteColourNotTheIndex)
{
    Image src(3, 1, 18, 0x00102030);
    u8* block = src->GetBits();
    std::memset(block + 2, 0, 768);
    const u8 keyColour[3] = {0x30, 0x20, 0x10};
    std::memcpy(block + 2 + 3 * 5, keyColour, 3);
    std::memcpy(block + 2 + 3 * 9, keyColour, 3);
    block[2 + 3 * 1] = 0x44;
    const u8 indices[3] = {5, 9, 1};
    std::memcpy(block + OBitmap::kPaletteHeaderLength, indices, 3);
    Image dst(3, 1, 0);
    dst.Fill(7);
    BlitIndexedKeyed(dst, src, 0, 0, nullptr);
    EXPECT_EQ(dst.Px(0, 0)[0], 7);
    EXPECT_EQ(dst.Px(1, 0)[0], 7);
    EXPECT_EQ(dst.Px(2, 0)[0], 0x44);
}

// A 10x1 image whose blue bytes are the column numbers.
TEST(BlitPlacement, ClippedAndMirroredImagesShowTheRightColumns)
{
    Image src(10, 1, 0);
    for (int c = 0; c < 10; ++c)
        src.Px(c, 0)[0] = u8(c);
    Image dst(20, 1, 0);
    dst.Fill(0xEE);
    BlitCopy(dst, src, -5, 0, nullptr);
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(dst.Px(x, 0)[0], 5 + x);
    EXPECT_EQ(dst.Px(5, 0)[0], 0xEE);

    BlitCopyMirrorX(dst, src, -5, 0, nullptr);
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(dst.Px(x, 0)[0], 4 - x);

    // A rect over the left column of the drawn image shows, mirrored, the
    // image's rightmost column.
    dst.Fill(0xEE);
    const ORect left(3, 0, 3, 0);
    BlitCopyMirrorX(dst, src, 3, 0, &left);
    EXPECT_EQ(dst.Px(3, 0)[0], 9);
    EXPECT_EQ(dst.Px(4, 0)[0], 0xEE);
}

TEST(BlitPlacement, NothingIsDrawnAtOrBeyondTheRightAndBottomEdges)
{
    Image src(4, 4, 0);
    src.Fill(1);
    Image dst(8, 8, 0);
    dst.Fill(0);
    const std::vector<u8> before(dst->GetBits(), dst->GetBits() + 3 * 8 * 8);
    for (u8 flip = 0; flip < 4; ++flip)
    {
        GetBlitter(0, flip)(dst, src, 8, 0, nullptr, 0, nullptr);
        GetBlitter(0, flip)(dst, src, 0, 8, nullptr, 0, nullptr);
        GetBlitter(0, flip)(dst, src, -4, 0, nullptr, 0, nullptr);
        const ORect inverted(5, 5, 2, 2);
        GetBlitter(0, flip)(dst, src, 2, 2, nullptr, 0, &inverted);
    }
    EXPECT_EQ(before, std::vector<u8>(dst->GetBits(), dst->GetBits() + 3 * 8 * 8));
}

// At fractions of zero a sub-pixel member samples the window's last pixel,
// so it puts the picture where the plain member at (x - 1, y - 1) does, one
// column and one row short.
TEST(BlitSubpixel, ZeroFractionsMatchThePlainMemberOneUpAndLeft)
{
    Image src(6, 5, 2);
    for (int i = 0; i < OBitmap::Rgb24BlockSize(6, 5); ++i)
        src->GetBits()[i] = u8(i * 37);
    for (int i = 0; i < 30; ++i)
        src->GetAlpha()[i] = u8(i * 53);
    for (u8 mode : {u8(3), u8(14)})
    {
        for (u8 flip = 0; flip < 4; ++flip)
        {
            Image plain(12, 12, 0), sub(12, 12, 0);
            plain.Fill(90);
            sub.Fill(90);
            const ORect inner(4, 4, 8, 7); // inside the sub-pixel member's 5x4 area at (4, 4)
            GetBlitter(mode, flip)(plain, src, 3, 3, nullptr, 200, &inner);
            GetSubpixelBlitter(mode, flip)(sub, src, 4, 4, 0, 0, 200, &inner);
            EXPECT_EQ(0, std::memcmp(plain->GetBits(), sub->GetBits(), 3 * 12 * 12))
                << "mode " << int(mode) << " flip " << int(flip);
        }
    }
}

TEST(BlitSubpixel, OpaqueFilteredAlphaCopiesTheUnfilteredPixel)
{
    Image src(2, 2, 2);
    src.FillAlpha(0);
    const u8 colours[4] = {10, 50, 90, 130};
    for (int i = 0; i < 4; ++i)
        std::memset(src.Px(i % 2, i / 2), colours[i], 3);
    Image dst(1, 1, 0);
    dst.Fill(0);
    BlitAlphaSubpixel(dst, src, 0, 0, 128, 128, nullptr);
    EXPECT_EQ(dst.Px(0, 0)[0], 10); // P00, not the filtered 70
    BlitAlphaMirrorXYSubpixel(dst, src, 0, 0, 128, 128, nullptr);
    EXPECT_EQ(dst.Px(0, 0)[0], 130);
}

// Members given an image without the plane or palette they read leave the
// destination alone instead of reading through a null pointer.
TEST(BlitMissingPlanes, DrawNothing)
{
    Image noAlpha(4, 4, 0), paletted(4, 4, 16), alphaOnly(4, 4, 14), withAlpha(4, 4, 2);
    noAlpha.Fill(1);
    withAlpha.Fill(1);
    withAlpha.FillAlpha(0);
    Image dst(8, 8, 0);
    dst.Fill(0x5A);
    const std::vector<u8> before(dst->GetBits(), dst->GetBits() + 3 * 64);
    for (u8 flip = 0; flip < 4; ++flip)
    {
        for (u8 mode : {2, 3, 10, 12, 13, 14, 20, 21})
            GetBlitter(mode, flip)(dst, noAlpha, 1, 1, nullptr, 255, nullptr);
        for (u8 mode : {2, 3, 13, 14})
            GetSubpixelBlitter(mode, flip)(dst, noAlpha, 1, 1, 3, 3, 255, nullptr);
        GetBlitter(12, flip)(dst, withAlpha, 1, 1, nullptr, 255, nullptr); // no palette
        GetBlitter(10, flip)(dst, withAlpha, 1, 1, nullptr, 255, nullptr);
        GetBlitter(0, flip)(dst, alphaOnly, 1, 1, nullptr, 255, nullptr); // no pixel block
        GetBlitter(0, flip)(dst, paletted, 1, 1, nullptr, 255, nullptr); // a block too small for 24-bit reads
        GetBlitter(16, flip)(dst, noAlpha, 1, 1, nullptr, 255, nullptr); // no palette header
    }
    BlitCopy(dst, nullptr, 0, 0, nullptr);
    BlitCopy(nullptr, noAlpha, 0, 0, nullptr);
    EXPECT_EQ(before, std::vector<u8>(dst->GetBits(), dst->GetBits() + 3 * 64));

    // Destinations whose blocks are not 24-bit (a pack's format-12 index
    // block, an 8-bit block of format 21 that reports 3 bytes per pixel) are
    // never written as 24-bit rows, which would run off their blocks.
    Image big(40, 40, 0);
    big.Fill(1);
    OBuffer* indexBlock = OBuffer::Create(40 * 40, nullptr);
    std::memset(indexBlock->data, 0x5A, 40 * 40);
    OBitmap* packed = CreateBitmap(40, 40, 0, 12, indexBlock, nullptr);
    Image wide(40, 40, 21);
    std::memset(wide->GetBits(), 0x5A, size_t(OBitmap::PaletteBlockSize(40, 40)));
    const ORect all(0, 0, 39, 39);
    for (OBitmap* target : {packed, wide.bitmap})
    {
        BlitCopy(target, big, 0, 0, nullptr);
        FillRectColor(target, 0x010203, &all);
        FillBitmap24(target, 0x010203);
        DrawHVLine(target, 0, 39, 39, 39, 0x010203);
    }
    EXPECT_EQ(std::vector<u8>(40 * 40, 0x5A), std::vector<u8>(indexBlock->data, indexBlock->data + 40 * 40));
    EXPECT_EQ(std::vector<u8>(40 * 40, 0x5A),
              std::vector<u8>(wide->GetBits() + OBitmap::kPaletteHeaderLength,
                              wide->GetBits() + OBitmap::kPaletteHeaderLength + 40 * 40));
    DestroyBitmap(packed);
}

TEST(BlitTable, OnlyModesWithMembersHaveEntries)
{
    for (u8 mode = 0; mode < 30; ++mode)
    {
        const bool plain =
            mode < 22 && mode != 4 && mode != 5 && mode != 6 && mode != 9 && mode != 11 && mode != 15;
        const bool sub = mode == 2 || mode == 3 || mode == 13 || mode == 14;
        for (u8 flip = 0; flip < 6; ++flip)
        {
            EXPECT_EQ(GetBlitter(mode, flip) != nullptr, plain && flip < 4) << int(mode) << " " << int(flip);
            EXPECT_EQ(GetSubpixelBlitter(mode, flip) != nullptr, sub && flip < 4)
                << int(mode) << " " << int(flip);
        }
    }
}

// Which pixels of a 6x5 canvas a primitive painted (colour 0x010203 over 0).
std::array<std::array<int, 6>, 5> Painted(OBitmap* canvas)
{
    std::array<std::array<int, 6>, 5> out{};
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x)
        {
            const u8* p = canvas->GetBits() + y * canvas->GetPitch() + 3 * x;
            EXPECT_TRUE((p[0] == 0 && p[1] == 0 && p[2] == 0) || (p[0] == 3 && p[1] == 2 && p[2] == 1));
            out[size_t(y)][size_t(x)] = p[0] == 3;
        }
    return out;
}

int Count(const std::array<std::array<int, 6>, 5>& m)
{
    int n = 0;
    for (const auto& row : m)
        for (int v : row)
            n += v;
    return n;
}

TEST(BlitPrimitives, LinesAndFills)
{
    Image canvas(6, 5, 0);
    canvas.Fill(0);
    DrawHVLine(canvas, 2, 4, 2, 1, 0x010203); // end points exchanged
    auto m = Painted(canvas);
    EXPECT_EQ(Count(m), 4);
    EXPECT_TRUE(m[1][2] && m[4][2]);

    canvas.Fill(0);
    DrawHVLine(canvas, 1, 1, 4, 3, 0x010203);    // slanted: nothing
    DrawHVLine(canvas, -10, 9, 40, 9, 0x010203); // off the canvas: nothing written
    EXPECT_EQ(Count(Painted(canvas)), 0);
    DrawHVLine(canvas, 4, 0, -3, 0, 0x010203); // cut to the canvas
    EXPECT_EQ(Count(Painted(canvas)), 5);

    canvas.Fill(0);
    const ORect r(1, 1, 3, 3);
    DrawHVLineClipped(canvas, 0, 2, 5, 2, 0x010203, &r);
    DrawHVLineClipped(canvas, 4, 0, 4, 4, 0x010203, &r); // column outside the rect
    m = Painted(canvas);
    EXPECT_EQ(Count(m), 3);
    EXPECT_TRUE(m[2][1] && m[2][3]);
    DrawHVLineClipped(canvas, 0, 2, 5, 2, 0x010203, nullptr);

    canvas.Fill(0);
    const ORect corner(-2, -2, 1, 1);
    FillRectColor(canvas, 0x010203, &corner);
    m = Painted(canvas);
    EXPECT_EQ(Count(m), 4);
    EXPECT_TRUE(m[0][0] && m[1][1]);
    const ORect beyond(4, 3, 60, 60);
    FillRectColor(canvas, 0x010203, &beyond);
    EXPECT_EQ(Count(Painted(canvas)), 8);
    FillRectColor(canvas, 0x010203, nullptr);
    FillBitmap24(canvas, 0x010203);
    EXPECT_EQ(Count(Painted(canvas)), 30);
}

// A canvas with padded rows: the fill must keep to the rows' pixels.
class PaddedCanvas : public OBitmap
{
public:
    std::vector<u8> store;
    PaddedCanvas() : OBitmap(3, 2, 0, 0), store(2 * 12, 0xAA) {}
    u8* GetBits() override { return store.data(); }
    i32 GetPitch() override { return 12; }
};

TEST(BlitPrimitives, FillBitmap24FindsRowsThroughThePitch)
{
    PaddedCanvas canvas;
    FillBitmap24(&canvas, 0x112233);
    for (int y = 0; y < 2; ++y)
    {
        for (int x = 0; x < 3; ++x)
        {
            EXPECT_EQ(canvas.store[size_t(12 * y + 3 * x)], 0x33);
            EXPECT_EQ(canvas.store[size_t(12 * y + 3 * x + 2)], 0x11);
        }
        for (int pad = 9; pad < 12; ++pad)
            EXPECT_EQ(canvas.store[size_t(12 * y + pad)], 0xAA);
    }
}

} // namespace
