#include "services/ODebugFont.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace
{

constexpr u16 kPaper = 0x1234;
constexpr u16 kInk = 0xBEEF;
constexpr u16 kBack = 0x0F0F;

struct Canvas
{
    Canvas(u16 w, u16 h)
        : width(w), height(h), pixels(static_cast<size_t>(w) * h, kPaper), surface(pixels.data(), w, h)
    {
    }
    u16 At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    u16 width, height;
    std::vector<u16> pixels;
    ODebugRawSurface surface;
};

// Counts Lock and Unlock so the drawing is seen to bracket its writes.
class CountingSurface : public ODebugRawSurface
{
public:
    using ODebugRawSurface::ODebugRawSurface;
    u8* LockSurface() override
    {
        ++locks;
        return ODebugRawSurface::LockSurface();
    }
    void UnlockSurface() override { ++unlocks; }
    int locks = 0, unlocks = 0;
};

ODebugFont MakeFont()
{
    ODebugFont font;
    font.textColour = 0xFFFF0000u | kInk; // only the low 16 bits are written
    font.backColour = kBack;
    return font;
}

// Whether the cell at (x, y) shows glyph c exactly (ink on set bits, `clear`
// on the others).
void ExpectCell(const Canvas& canvas, const ODebugFont& font, char c, int x, int y, u16 clear)
{
    const u8* glyph = font.GetGlyph(c);
    ASSERT_NE(glyph, nullptr);
    for (int row = 0; row < 10; ++row)
        for (int col = 0; col < 7; ++col)
            ASSERT_EQ(canvas.At(x + col, y + row), (glyph[row] & (0x40 >> col)) ? kInk : clear)
                << "'" << c << "' row " << row << " col " << col;
}

TEST(DebugFontTest, TellingRowsAndTheCellRulesHoldForEveryGlyph)
{
    ODebugFont font;
    EXPECT_EQ((std::array<u32, 5>{font.textColour, font.backColour, font.cellWidth, font.cellHeight,
                                  font.glyphCount}),
              (std::array<u32, 5>{0, 0xFFFFFF, 7, 10, 95}));
    EXPECT_EQ(font.GetGlyph('!'), &font.glyphs[10]);
    const std::array<std::pair<char, std::array<u8, 10>>, 8> telling = {{
        {' ', {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {'!', {0, 0, 0x20, 0x70, 0x70, 0x20, 0x20, 0, 0x20, 0}},
        {'0', {0, 0, 0x38, 0x44, 0x4C, 0x54, 0x64, 0x44, 0x38, 0}},
        {'A', {0, 0, 0x38, 0x44, 0x44, 0x44, 0x7C, 0x44, 0x44, 0}},
        {'B', {0, 0, 0x78, 0x44, 0x44, 0x78, 0x44, 0x44, 0x78, 0}},
        {'a', {0, 0, 0, 0, 0x38, 0x04, 0x3C, 0x44, 0x3C, 0}},
        {'_', {0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7E}},
        {'~', {0, 0, 0x28, 0x50, 0, 0, 0, 0, 0, 0}},
    }};
    for (const auto& [c, rows] : telling)
        for (int r = 0; r < 10; ++r)
            EXPECT_EQ(font.GetGlyph(c)[r], rows[r]) << "'" << c << "' row " << r;

    std::vector<std::array<u8, 10>> seen;
    for (int c = 33; c <= 126; ++c)
    {
        const u8* g = font.GetGlyph(static_cast<char>(c));
        ASSERT_NE(g, nullptr);
        std::array<u8, 10> rows;
        bool inked = false;
        for (int r = 0; r < 10; ++r)
        {
            rows[r] = g[r];
            EXPECT_EQ(g[r] & 0x81, 0) << "bit 7 and the spacing column stay clear: " << static_cast<char>(c);
            inked |= g[r] != 0;
        }
        EXPECT_EQ(g[0] | g[1], 0) << static_cast<char>(c);
        EXPECT_TRUE(inked) << static_cast<char>(c);
        for (const auto& other : seen)
            EXPECT_NE(other, rows) << "glyphs must be told apart: " << static_cast<char>(c);
        seen.push_back(rows);
    }
    EXPECT_EQ(font.GetGlyph(31), nullptr);
    EXPECT_EQ(font.GetGlyph(127), nullptr);
    EXPECT_EQ(font.GetGlyph(static_cast<char>(0xE9)), nullptr);
}

TEST(DebugFontTest, PlainTextInksSetBitsOnlyAndOpaqueTextFillsTheCell)
{
    ODebugFont font = MakeFont();
    Canvas plain(40, 20), opaque(40, 20);
    font.DrawText(&plain.surface, 3, 4, "A B");
    ExpectCell(plain, font, 'A', 3, 4, kPaper);
    ExpectCell(plain, font, 'B', 17, 4, kPaper);
    for (int y = 0; y < 20; ++y)
        for (int x = 10; x < 17; ++x)
            ASSERT_EQ(plain.At(x, y), kPaper) << "a plain space changes nothing";

    font.DrawTextOpaque(&opaque.surface, 3, 4, "A B");
    ExpectCell(opaque, font, 'A', 3, 4, kBack);
    ExpectCell(opaque, font, ' ', 10, 4, kBack);
    ExpectCell(opaque, font, 'B', 17, 4, kBack);
    EXPECT_EQ(opaque.At(2, 4), kPaper);
    EXPECT_EQ(opaque.At(24, 4), kPaper);
    EXPECT_EQ(opaque.At(3, 14), kPaper);
}

TEST(DebugFontTest, LineBreaksStartBelowAtTheSameX)
{
    ODebugFont font = MakeFont();
    Canvas canvas(30, 30);
    font.DrawTextOpaque(&canvas.surface, 5, 2, "a\nb");
    ExpectCell(canvas, font, 'a', 5, 2, kBack);
    ExpectCell(canvas, font, 'b', 5, 12, kBack);
    EXPECT_EQ(canvas.At(12, 2), kPaper) << "nothing to the right of the 'a'";
}

TEST(DebugFontTest, OnlyCellsWhollyInsideTheSurfaceAreDrawn)
{
    ODebugFont font = MakeFont();
    Canvas canvas(30, 25);
    // x = -1 loses the first cell; 30 wide holds cells at 6, 13 and 20 whole,
    // the one at 27 would overrun and is dropped.
    font.DrawTextOpaque(&canvas.surface, -1, 0, "XABCD");
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 6; ++x)
            ASSERT_EQ(canvas.At(x, y), kPaper);
    ExpectCell(canvas, font, 'A', 6, 0, kBack);
    ExpectCell(canvas, font, 'C', 20, 0, kBack);
    for (int y = 0; y < 10; ++y)
        for (int x = 27; x < 30; ++x)
            ASSERT_EQ(canvas.At(x, y), kPaper);

    ODebugFont::TextExtent e = font.MeasureText(&canvas.surface, "XABCD", -1, 0);
    EXPECT_EQ(e.firstColumn, 1);
    EXPECT_EQ(e.lastColumn, 3);
    EXPECT_EQ(e.firstLine, 0);
    EXPECT_EQ(e.lastLine, 0);

    // Lines: at y = 16 the second line (26 to 35) does not fit 25 rows.
    e = font.MeasureText(&canvas.surface, "a\nb", 0, 16);
    EXPECT_EQ(e.lastLine, -1) << "not even the first line (16 to 25) fits";
    e = font.MeasureText(&canvas.surface, "a\nb\nc", 0, -10);
    EXPECT_EQ(e.firstLine, 1);
    EXPECT_EQ(e.lastLine, 2);
    e = font.MeasureText(&canvas.surface, "a\nb\nc", 0, -11);
    EXPECT_EQ(e.firstLine, 2);
}

TEST(DebugFontTest, TextFarOutsideOrOutsideTheFontDrawsNothingAndStaysInBounds)
{
    ODebugFont font = MakeFont();
    Canvas canvas(21, 10);
    const std::vector<u16> untouched = canvas.pixels;
    font.DrawTextOpaque(&canvas.surface, -32768, -32768, "far away");
    font.DrawTextOpaque(&canvas.surface, 32767, 32767, "far away");
    font.DrawTextOpaque(&canvas.surface, 0, 1, "ABC");
    font.DrawTextOpaque(&canvas.surface, 15, 0, "AB");
    EXPECT_EQ(canvas.pixels, untouched);

    // Bytes outside 32..126 only advance the column, in both forms.
    font.DrawTextOpaque(&canvas.surface, 0, 0,
                        "\x01\xC3"
                        "A");
    for (int x = 0; x < 14; ++x)
        EXPECT_EQ(canvas.At(x, 5), kPaper);
    ExpectCell(canvas, font, 'A', 14, 0, kBack);
}

TEST(DebugFontTest, PrintfFormatsIntoTheBufferAndLocksAroundTheDrawing)
{
    ODebugFont font = MakeFont();
    std::vector<u16> pixels(70 * 10, kPaper);
    CountingSurface surface(pixels.data(), 70, 10);
    font.Printf(&surface, 0, 0, "%d-%s", 42, "ok");
    EXPECT_STREQ(font.GetTextBuffer(), "42-ok");
    EXPECT_EQ(font.GetTextBuffer(), font.textBuffer);
    EXPECT_EQ(surface.locks, 1);
    EXPECT_EQ(surface.unlocks, 1);

    std::string longText(400, 'x');
    font.PrintfOpaque(&surface, 0, 0, "%s", longText.c_str());
    EXPECT_EQ(std::string(font.GetTextBuffer()), std::string(255, 'x')) << "cut, not overrun";
}

} // namespace
