// The canvas, its .bmp output, and presenting rectangles of it.
#include "WindowFixture.h"

#include "support/PlatformFilesTestUtil.h"
#include "window/OSysBitmap.h"

#include <SDL.h>

#include <array>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <unistd.h>

using namespace platform;

namespace
{

u32 U32At(const u8* p)
{
    return u32(p[0]) | u32(p[1]) << 8 | u32(p[2]) << 16 | u32(p[3]) << 24;
}

// A pattern in which every pixel of the image and of the spare row differs.
void Paint(OSysBitmap& canvas)
{
    canvas.Lock();
    u8* bits = canvas.GetBits();
    for (u32 row = 0; row <= canvas.height; ++row)
        for (u32 col = 0; col < canvas.width; ++col)
        {
            u8* p = bits + row * canvas.pitch + col * 3;
            p[0] = static_cast<u8>(col);
            p[1] = static_cast<u8>(row);
            p[2] = static_cast<u8>(col * 7 + row);
        }
    canvas.Unlock();
}

u32 Expected(u32 col, u32 row)
{
    return (((col * 7 + row) & 255) << 16) | ((row & 255) << 8) | (col & 255);
}

struct SysBitmapDeleter
{
    void operator()(OSysBitmap* b) const { delete b; }
};
using Canvas = std::unique_ptr<OSysBitmap, SysBitmapDeleter>;

} // namespace

TEST(SysBitmap, GeometryHeaderAndLocking)
{
    Canvas c(CreateSysBitmap(800, 600, 24));
    EXPECT_EQ(c->pitch, 2400u);
    EXPECT_EQ(c->GetPitch(), 2400);
    EXPECT_EQ(c->GetBytesPerPixel(), 3);
    EXPECT_EQ(c->format, 0);
    EXPECT_EQ(c->GetAlpha(), nullptr);
    const u8* info = c->GetBitmapInfo();
    EXPECT_EQ(U32At(info), 40u);
    EXPECT_EQ(U32At(info + 4), 800u);
    EXPECT_EQ(static_cast<i32>(U32At(info + 8)), -601); // top-down, one spare row
    EXPECT_EQ(info[12] | info[13] << 8, 1);
    EXPECT_EQ(info[14] | info[15] << 8, 24);
    EXPECT_EQ(U32At(info + 20), 601u * 2400u);
    EXPECT_EQ(U32At(info + 24), 2816u);

    EXPECT_EQ(c->GetBits(), nullptr);
    c->Lock();
    c->Lock();
    EXPECT_EQ(c->GetBits(), c->dibBits);
    EXPECT_NE(c->GetBits(), nullptr);
    c->Unlock(); // one unlock ends both locks
    EXPECT_EQ(c->GetBits(), nullptr);

    EXPECT_EQ(OSysBitmap::PitchFor(1, 24), 4u);
    EXPECT_EQ(OSysBitmap::PitchFor(3, 24), 12u);
    EXPECT_EQ(OSysBitmap::PitchFor(5, 24), 16u);

    Canvas bad(CreateSysBitmap(10, 10, 7));
    ASSERT_NE(bad, nullptr);
    bad->Lock();
    EXPECT_EQ(bad->GetBits(), nullptr);
    EXPECT_EQ(bad->SaveBMP("/dev/null"), 0u);
}

TEST(SysBitmap, SaveBmpIsReadBackByAnIndependentReader)
{
    Canvas c(CreateSysBitmap(13, 5, 24)); // odd width: padded rows
    Paint(*c);
    const filetest::TempFolder folder;
    const std::string path = folder / "canvas.bmp";
    ASSERT_EQ(c->SaveBMP(path.c_str()), 1u);
    EXPECT_EQ(std::filesystem::file_size(path), 5u * 40u + 54u);

    SDL_Surface* loaded = SDL_LoadBMP(path.c_str());
    ASSERT_NE(loaded, nullptr) << SDL_GetError();
    SDL_Surface* rgb = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGB888, 0);
    ASSERT_NE(rgb, nullptr);
    EXPECT_EQ(rgb->w, 13);
    EXPECT_EQ(rgb->h, 5);
    for (int row = 0; row < 5; ++row)
        for (int col = 0; col < 13; ++col)
        {
            const u32 px = static_cast<const u32*>(rgb->pixels)[row * rgb->pitch / 4 + col] & 0xFFFFFF;
            EXPECT_EQ(px, Expected(static_cast<u32>(col), static_cast<u32>(row))) << col << "," << row;
        }
    SDL_FreeSurface(rgb);
    SDL_FreeSurface(loaded);
    EXPECT_EQ(c->GetBits(), nullptr);
    EXPECT_EQ(c->SaveBMP("/nonexistent-folder/x.bmp"), 0u);
}

TEST_F(WindowTest, PaintRectCopiesTheCanvasAndUnlocksIt)
{
    RecordingWindow& w = Make();
    Paint(*w.backBuffer);
    hb->ClearPresented();
    w.backBuffer->Lock();
    w.PaintRect(ORect(0, 0, 799, 599));
    EXPECT_EQ(w.backBuffer->GetBits(), nullptr);
    ASSERT_EQ(hb->GetPresented().size(), 1u);
    const auto& p = hb->GetPresented()[0];
    EXPECT_EQ(p.x + p.y, 0);
    EXPECT_EQ(p.width, 800);
    EXPECT_EQ(p.height, 600);
    for (auto [x, y] : {std::pair{0, 0}, {799, 0}, {0, 599}, {799, 599}, {345, 278}})
        EXPECT_EQ(hb->GetPixel(w.GetHWND(), x, y), Expected(u32(x), u32(y)));

    // An area reaching past the canvas keeps only its part on the canvas.
    hb->ClearPresented();
    w.PaintRect(ORect(-30, -10, 820, 40));
    w.PaintRect(ORect(-30, 700, 820, 900));
    ASSERT_EQ(hb->GetPresented().size(), 1u);
    const auto& q = hb->GetPresented()[0];
    EXPECT_EQ((std::array<i32, 4>{q.x, q.y, q.width, q.height}), (std::array<i32, 4>{0, 0, 800, 41}));
}

TEST_F(WindowTest, PaintExclusionLeavesUpToFourBands)
{
    RecordingWindow& w = Make();
    hb->ClearPresented();
    const ORect e(100, 200, 299, 399);
    w.SetPaintExclusion(&e);
    w.PaintRect(ORect(0, 0, 799, 599));
    std::vector<std::array<i32, 4>> got;
    for (const auto& p : hb->GetPresented())
        got.push_back({p.x, p.y, p.width, p.height});
    EXPECT_EQ(got, (std::vector<std::array<i32, 4>>{
                       {0, 0, 800, 200}, {0, 200, 100, 200}, {300, 200, 500, 200}, {0, 400, 800, 200}}));

    hb->ClearPresented();
    w.PaintRect(ORect(150, 250, 200, 300)); // inside the exclusion: nothing
    EXPECT_TRUE(hb->GetPresented().empty());
    w.SetPaintExclusion(nullptr);
    w.PaintRect(ORect(150, 250, 200, 300));
    EXPECT_EQ(hb->GetPresented().size(), 1u);
}

TEST_F(WindowTest, PaintMessageCopiesOnePastTheInvalidArea)
{
    RecordingWindow& w = Make();
    hb->ClearPresented();
    const Rect invalid{10, 20, 30, 40};
    InvalidateRect(w.GetHWND(), &invalid);
    UpdateWindow(w.GetHWND());
    ASSERT_EQ(hb->GetPresented().size(), 1u);
    const auto& p = hb->GetPresented()[0];
    EXPECT_EQ((std::array<i32, 4>{p.x, p.y, p.width, p.height}), (std::array<i32, 4>{10, 20, 21, 21}));
    EXPECT_EQ(w.outsidePaint, 1u);
    EXPECT_EQ(w.hdc, 0u);
}

TEST_F(WindowTest, ACanvasWithoutPixelsPresentsNothing)
{
    RecordingWindow& w = Make();
    w.backBuffer->Create(7);
    hb->ClearPresented();
    w.PaintRect(ORect(0, 0, 799, 599));
    EXPECT_TRUE(hb->GetPresented().empty());
}

TEST_F(WindowTest, DebugTextTakesTheCanvasAsSixteenBitRows)
{
    RecordingWindow& w = Make();
    w.PrintfOpaque(0, 0, "%s", " "); // a space paints its whole 7 by 10 cell
    OSysBitmap& c = *w.backBuffer;
    const u8* bits = c.dibBits;
    // Row r of the 16-bit surface starts r * 800 * 2 bytes in, not r * pitch.
    for (u32 row = 0; row < 10; ++row)
        for (u32 byte = 0; byte < 14; ++byte)
            ASSERT_EQ(bits[row * 1600 + byte], 0xFF) << row << "," << byte;
    EXPECT_EQ(bits[14], 0);
    EXPECT_EQ(bits[10 * 1600], 0);
    EXPECT_EQ(c.GetBits(), nullptr);
    // The text is formatted into the window's own font buffer.
    w.Printf(0, 0, "%d fps", 25);
    EXPECT_STREQ(w.debugFont.textBuffer, "25 fps");
}

TEST(SysBitmap, TheDebugFontDrawsIntoASixteenBitCanvasAndMeasuresIt)
{
    Canvas c(CreateSysBitmap(20, 12, 16));
    ASSERT_NE(c->dibBits, nullptr);
    ODebugFont font;
    font.textColour = 0xABCD;
    const u16* px = reinterpret_cast<const u16*>(c->dibBits);
    font.Printf(c.get(), 0, 0, "%c", '!');
    // '!' has bit 5 set in row 2: the pixel one to the right of the left edge.
    EXPECT_EQ(px[2 * 20 + 1], 0xABCD);
    EXPECT_EQ(px[2 * 20 + 0], 0);
    EXPECT_EQ(c->GetBits(), nullptr) << "unlocked after drawing";
    font.DrawTextOpaque(c.get(), 7, 0, " ");
    EXPECT_EQ(px[9 * 20 + 13], 0xFFFF);
    EXPECT_EQ(px[9 * 20 + 14], 0);

    // x = -1 loses the first cell; cells 1 and 2 (x 6 to 19) fit, cell 3 does not.
    const ODebugFont::TextExtent e = font.MeasureText(c.get(), "abcd", -1, 0);
    EXPECT_EQ((std::array<i32, 4>{e.firstColumn, e.firstLine, e.lastColumn, e.lastLine}),
              (std::array<i32, 4>{1, 0, 2, 0}));
}
