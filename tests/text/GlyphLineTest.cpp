// This program counts every allocation, so that a line of text can be shown
// to rewrite itself without allocating.
#include "GlyphFixture.h"
#include "render/ClipDraw.h"
#include "support/CountingNew.h"
#include "text/GChar.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using namespace texttest;

namespace
{

TEST(GlyphTables, BuiltInAndExtraGlyphs)
{
    const std::string listed = "'()*+,-./0123456789:@ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    GCharMap map;
    for (int c = 0; c < 256; ++c)
    {
        const size_t at = c >= 33 ? listed.find(static_cast<char>(c)) : std::string::npos;
        const int want = at == std::string::npos ? -1 : static_cast<int>(at);
        EXPECT_EQ(map.GetGlyphIndex(static_cast<u8>(c)), want) << c;
        EXPECT_EQ(want < 0 ? c : static_cast<u8>(map.GetChar(static_cast<i16>(want))), c);
    }
    for (int glyph : {73, -1, 500})
        EXPECT_EQ(map.GetChar(static_cast<i16>(glyph)), 0) << glyph;
    map.extraGlyphs = 1;
    for (int c = 192; c <= 224; ++c)
        EXPECT_EQ(map.GetGlyphIndex(static_cast<u8>(c)), c < 224 ? 73 + c - 192 : -1) << c;

    // Frames are 16-bit: the regular base for a non-zero variant, the
    // alternate base for 0, wrapping both ways.
    map.baseFrame = 65535;
    map.altBaseFrame = 7;
    EXPECT_EQ(map.GetFrame('(', 1), 0);
    EXPECT_EQ(map.GetFrame('(', 0), 8);
    map.baseFrame = 0;
    EXPECT_EQ(map.GetFrame('!', 1), 65535);
}

// Extent, rectangle, and per glyph: mode, frame (0 for a blank), whole-pixel
// x and y (INT_MIN where the rules leave the place open: a column with
// alignment above 5).
using Layout = std::tuple<u16, ORect, std::vector<std::array<int, 4>>>;

Layout Observed(const GString& line, bool open)
{
    Layout out{line.extent, line.rect, {}};
    for (i16 i = 0; i < line.used; ++i)
    {
        const GChar* g = line.Glyph(i);
        std::get<2>(out).push_back({g->GetMode(), g->GetMode() == 7 ? 0 : g->frame.ToInt(),
                                    open ? INT_MIN : g->x.ToInt(), open ? INT_MIN : g->y.ToInt()});
    }
    return out;
}

// The layout as the rules state it, one character at a time.
Layout Model(const GlyphFont& f, const char* text, int capacity, OFixed x, OFixed y, const ORect& before,
             u8 state)
{
    const GCharMap& m = f.map;
    auto frameOf = [&](u8 c) { return (m.baseFrame + m.GetGlyphIndex(c)) & 0xFFFF; };
    auto picture = [&](int frame)
    { return frame < 2 * kRegular ? f.store->GetImage(static_cast<i16>(frame)) : nullptr; };
    const bool col = m.vertical != 0;
    const OBitmap* ref = picture(frameOf(col ? m.heightRefChar : m.widthRefChar));
    const int H = picture(frameOf(m.heightRefChar))->height;

    struct Glyph
    {
        const OBitmap* p;
        int frame, advance; // advance 0 for a blank
    };
    std::vector<Glyph> glyphs;
    int total = 0, blanks = 0;
    for (int i = 0; text[i] != 0 && i < capacity; ++i)
    {
        u8 c = static_cast<u8>(text[i]);
        if (c >= 'a' && c <= 'z' && m.GetGlyphIndex(c) < 0)
            c = static_cast<u8>(c - 32);
        const OBitmap* p = c == ' ' || m.GetGlyphIndex(c) < 0 ? nullptr : picture(frameOf(c));
        const OBitmap* pitch = m.fixedPitch ? ref : p;
        glyphs.push_back({p, p ? frameOf(c) : 0, p ? m.spacing + (col ? pitch->height : pitch->width) : 0});
        blanks += p ? 0 : 1;
        total = static_cast<i16>(total + (p ? glyphs.back().advance : m.blankAdvance + m.spacing));
    }
    const int w = col ? H : total, h = col ? total : H;
    // Corners of alignments 0 to 4 from the reference point, in halves of
    // the text's size; alignment 5 and above keep the rectangle.
    static const int corner[5][4] = {
        {0, 0, 2, 2}, {-1, -1, 1, 1}, {-2, 0, 0, 2}, {0, -2, 2, 0}, {-2, -2, 0, 0}};
    auto at = [](OFixed v, int k, int n) { return static_cast<i16>((v.raw + k * n / 2 * 256) >> 8); };
    ORect r = before;
    if (const int* k = m.alignment < 5 ? corner[m.alignment] : nullptr)
        r = ORect(at(x, k[0], w), at(y, k[1], h), at(x, k[2], w), at(y, k[3], h));
    int B = m.blankAdvance + m.spacing;
    if (m.alignment == 5)
        B = std::max(B,
                     ((col ? r.bottom - r.top : r.right - r.left) - total) / std::max(blanks, 1) + m.spacing);
    Layout e{static_cast<u16>(total), ORect(r.left - 3, r.top - 3, r.right + 3, r.bottom + 3), {}};
    int pen = col ? r.top : r.left;
    for (const Glyph& g : glyphs)
    {
        const int pw = g.p ? g.p->width : 0;
        const int gx = !col                                   ? pen
                       : m.alignment == 1                     ? r.left + (H - pw) / 2
                       : m.alignment == 2 || m.alignment == 4 ? r.right - pw
                                                              : r.left;
        const bool open = col && m.alignment > 5;
        std::get<2>(e).push_back({g.p ? state : 7, g.frame, open ? INT_MIN : gx,
                                  open  ? INT_MIN
                                  : col ? pen
                                        : r.top});
        pen += g.p ? g.advance : B;
    }
    return e;
}

// Every alignment, direction, pitch and spacing, with fractional and
// negative reference points, texts with blanks, lower case, characters
// without a glyph and texts longer than the line.
TEST(GlyphLine, LayoutsFollowTheRules)
{
    GlyphFont f;
    std::mt19937 rng(3);
    const char chars[] = "  0123456789:-+ABCXYZabcxyz@~!{}\x01\xC0";
    LinePtr line(GString::Create(12));
    for (int iter = 0; iter < 3000; ++iter)
    {
        if (iter % 8 == 0)
        {
            f.map.alignment = static_cast<u8>(rng() % 7);
            f.map.vertical = rng() % 2;
            f.map.fixedPitch = rng() % 3 == 0;
            f.map.spacing = static_cast<i8>(static_cast<int>(rng() % 7) - 2);
            f.map.blankAdvance = static_cast<i8>(rng() % 9);
            f.map.extraGlyphs = rng() % 2;
            line->SetState(static_cast<u8>(rng() % 2));
        }
        std::string text(rng() % 15, ' ');
        for (char& c : text)
            c = chars[rng() % (sizeof(chars) - 1)];
        const OFixed x = OFixed::FromRaw(static_cast<i32>(rng() % 160000) - 40000);
        const OFixed y = OFixed::FromRaw(static_cast<i32>(rng() % 160000) - 40000);
        line->Move(x, y);
        const ORect moved = line->rect;
        line->SetText(text.c_str(), &f.map);
        ASSERT_EQ(Observed(*line, f.map.vertical && f.map.alignment > 5),
                  Model(f, text.c_str(), 12, x, y, moved, line->state))
            << text << " alignment " << int(f.map.alignment);
    }
}

TEST(GlyphLine, WorkedExamples)
{
    GlyphFont f;
    const auto width = [](char c) { return GlyphWidth(GCharMap().GetGlyphIndex(static_cast<u8>(c))); };
    LinePtr line(GString::Create(5));
    auto glyph = [&](i16 i) { return line->Glyph(i); };
    // A b: three glyphs, the blank in mode 7, and a text set while hidden
    // stays hidden until shown without a new layout.
    line->SetText("A b", &f.map);
    EXPECT_EQ(std::tuple(line->used, line->extent, glyph(1)->GetMode(), glyph(0)->visible),
              std::tuple(3, width('A') + 5 + width('b'), 7, 0));
    line->SetVisible(1);
    EXPECT_EQ(std::tuple(glyph(0)->visible, glyph(1)->visible, line->IsShown()), std::tuple(1, 0, 1u));

    // Numbers longer than the line are cut to its glyphs.
    for (auto [value, shown] : {std::pair(-42, "-42"), std::pair(0, "0"), std::pair(INT_MIN, "-2147")})
    {
        line->SetNumber(value, nullptr);
        ASSERT_EQ(line->used, std::strlen(shown)) << value;
        for (i16 i = 0; i < line->used; ++i)
            EXPECT_EQ(glyph(i)->frame.ToInt(), f.map.GetFrame(shown[i], 1)) << value << " " << i;
    }

    // Alignment 5 keeps the rectangle and widens it by 3 per text; the blank
    // stretches to fill: (112 - w1 - w2 - 5) / 1 beyond the 1.
    f.map.alignment = 5;
    line->rect = ORect(10, 20, 110, 40);
    line->SetText("1 2", nullptr);
    line->SetText("1 2", nullptr);
    EXPECT_EQ(line->rect, ORect(4, 14, 116, 46));
    EXPECT_EQ(line->GetGlyphX(2) - line->GetGlyphX(0),
              width('1') + (116 - 4 - 6 - width('1') - 5 - width('2')));

    // Indices out of range change and find nothing.
    EXPECT_EQ(std::tuple(line->GetGlyphX(-1), line->GetGlyphY(5), LinePtr(GString::Create(1))->GetFirstX()),
              std::tuple(-1, -1, -1));
    const i32 before = glyph(2)->frame.raw;
    for (i16 i : {3, -1})
        line->SetGlyph(i, '7', 0);
    EXPECT_EQ(glyph(2)->frame.raw, before);
    line->SetGlyph(2, '7', 1);
    EXPECT_EQ(glyph(2)->frame.ToInt(), f.map.GetFrame('7', 0));
    // No glyph: nothing drawn, never another picture, and the mode kept, so
    // the next character shows.
    line->SetGlyph(2, ';', 0);
    EXPECT_EQ(glyph(2)->GetMode(), 0);
    EXPECT_EQ(clipdraw::LookupImage(f.store.get(), glyph(2)->frame), nullptr);
    line->SetGlyph(2, '5', 0);
    EXPECT_EQ(std::tuple(glyph(2)->GetMode(), glyph(2)->visible, glyph(2)->frame.ToInt()),
              std::tuple(0, 1, f.map.GetFrame('5', 1)));

    // Lower case without a glyph of its own shows the capital.
    f.map.glyphIndex['q' - 33] = -1;
    line->SetText("q", nullptr);
    EXPECT_EQ(glyph(0)->frame.ToInt(), f.map.GetFrame('Q', 1));

    // A glyph whose picture the store lacks is a blank too, and a line
    // without a store stays empty.
    f.map.extraGlyphs = 1;
    f.map.alignment = 0;
    line->SetText("\xC0\xDF", nullptr); // glyphs 73 and 104: 183 present, 214 present
    f.map.baseFrame = kRegular + 20;    // now 104 + 20 lies past the store
    line->SetText("\xC0\xDF", nullptr);
    EXPECT_EQ(std::tuple(glyph(0)->GetMode(), glyph(1)->GetMode()), std::tuple(line->state, 7));
    f.map.imageStore = nullptr;
    line->SetText("123", nullptr);
    EXPECT_EQ(line->used, 0);
}

TEST(LineAllocations, SetTextAndSetNumberAllocateNothing)
{
    GlyphFont f;
    LinePtr line(GString::Create(10));
    line->SetText("start", &f.map);
    line->SetState(0);
    const long before = testsupport::allocationCount.load();
    for (int i = -5000; i < 5000; i += 7)
    {
        line->SetNumber(i * 977, nullptr);
        line->SetText("Score 12", nullptr);
        line->Update();
    }
    EXPECT_EQ(testsupport::allocationCount.load() - before, 0);
    EXPECT_GT(line->used, 0);
    // The counter sees the non-throwing form the line is made with.
    const long made = testsupport::allocationCount.load();
    LinePtr other(GString::Create(3));
    EXPECT_GT(testsupport::allocationCount.load() - made, 3);
}

} // namespace
