#include "GlyphFixture.h"
#include "text/GChar.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
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
        const size_t at = listed.find(static_cast<char>(c));
        const int want = c >= 33 && at != std::string::npos ? static_cast<int>(at) : -1;
        EXPECT_EQ(map.GetGlyphIndex(static_cast<u8>(c)), want) << c;
        if (want >= 0)
        {
            EXPECT_EQ(static_cast<u8>(map.GetChar(static_cast<i16>(want))), c);
        }
    }
    EXPECT_EQ(map.GetChar(73), 0);
    EXPECT_EQ(map.GetChar(-1), 0);
    EXPECT_EQ(map.GetChar(500), 0);
    map.extraGlyphs = 1;
    for (int c = 192; c < 224; ++c)
        EXPECT_EQ(map.GetGlyphIndex(static_cast<u8>(c)), 73 + c - 192);
    EXPECT_EQ(map.GetGlyphIndex(224), -1);

    // Frames are 16-bit: the regular base for a non-zero variant, the
    // alternate base for 0, wrapping both ways.
    map.baseFrame = 65535;
    map.altBaseFrame = 7;
    EXPECT_EQ(map.GetFrame('(', 1), 0);
    EXPECT_EQ(map.GetFrame('(', 0), 8);
    map.baseFrame = 0;
    EXPECT_EQ(map.GetFrame('!', 1), 65535);
}

// The layout as the rules state it, one character at a time.
struct Expected
{
    std::vector<int> gx, gy, modes;
    std::vector<u16> frames;
    ORect rect;
    u16 extent = 0;
};

Expected Model(const GlyphFont& f, const char* text, int capacity, OFixed x, OFixed y, const ORect& before,
               u8 state)
{
    const GCharMap& m = f.map;
    auto picture = [&](int frame) -> OBitmap*
    { return frame >= 0 && frame < 2 * kRegular ? f.store->GetImage(static_cast<i16>(frame)) : nullptr; };
    auto frameOf = [&](u8 c) { return (m.baseFrame + m.GetGlyphIndex(c)) & 0xFFFF; };
    const bool col = m.vertical != 0;
    auto along = [&](const OBitmap* p) { return p == nullptr ? 0 : col ? p->height : p->width; };
    const OBitmap* ref = picture(frameOf(col ? m.heightRefChar : m.widthRefChar));
    const int H = picture(frameOf(m.heightRefChar))->height;

    Expected e;
    std::vector<const OBitmap*> pics;
    int total = 0, blanks = 0;
    for (int i = 0; text[i] != 0 && i < capacity; ++i)
    {
        u8 c = static_cast<u8>(text[i]);
        if (c >= 'a' && c <= 'z' && m.GetGlyphIndex(c) < 0)
            c = static_cast<u8>(c - 32);
        const OBitmap* p = c == ' ' || m.GetGlyphIndex(c) < 0 ? nullptr : picture(frameOf(c));
        pics.push_back(p);
        e.modes.push_back(p ? state : 7);
        e.frames.push_back(p ? static_cast<u16>(frameOf(c)) : 0);
        blanks += p ? 0 : 1;
        total = static_cast<i16>(
            total + (p ? m.spacing + along(m.fixedPitch ? ref : p) : m.blankAdvance + m.spacing));
    }
    const int w = col ? H : total, h = col ? total : H;
    auto at = [](OFixed v, int n) { return static_cast<i16>((v.raw + n * 256) >> 8); };
    ORect r = before;
    switch (m.alignment)
    {
    case 0:
        r = ORect(at(x, 0), at(y, 0), at(x, w), at(y, h));
        break;
    case 1:
        r = ORect(at(x, -(w / 2)), at(y, -(h / 2)), at(x, w / 2), at(y, h / 2));
        break;
    case 2:
        r = ORect(at(x, -w), at(y, 0), at(x, 0), at(y, h));
        break;
    case 3:
        r = ORect(at(x, 0), at(y, -h), at(x, w), at(y, 0));
        break;
    case 4:
        r = ORect(at(x, -w), at(y, -h), at(x, 0), at(y, 0));
        break;
    default:
        break;
    }
    int B = m.blankAdvance + m.spacing;
    if (m.alignment == 5)
        B = std::max(B,
                     ((col ? r.bottom - r.top : r.right - r.left) - total) / std::max(blanks, 1) + m.spacing);
    int pen = col ? r.top : r.left;
    for (const OBitmap* p : pics)
    {
        const int pw = p ? p->width : 0;
        const int gx = !col                                   ? pen
                       : m.alignment == 1                     ? r.left + (H - pw) / 2
                       : m.alignment == 2 || m.alignment == 4 ? r.right - pw
                                                              : r.left;
        e.gx.push_back(col && m.alignment > 5 ? INT_MIN : gx);
        e.gy.push_back(col ? pen : r.top);
        pen += p ? m.spacing + along(m.fixedPitch ? ref : p) : B;
    }
    e.rect = ORect(static_cast<i16>(r.left - 3), static_cast<i16>(r.top - 3), static_cast<i16>(r.right + 3),
                   static_cast<i16>(r.bottom + 3));
    e.extent = static_cast<u16>(total);
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
        const Expected e = Model(f, text.c_str(), 12, x, y, moved, line->state);
        ASSERT_EQ(line->used, e.modes.size()) << text;
        EXPECT_EQ(line->extent, e.extent) << text;
        EXPECT_EQ(line->rect, e.rect) << text << " alignment " << int(f.map.alignment);
        for (size_t i = 0; i < e.modes.size(); ++i)
        {
            const GChar* g = line->Glyph(static_cast<i16>(i));
            ASSERT_EQ(g->GetMode(), e.modes[i]) << text << " " << i;
            if (e.modes[i] != 7)
            {
                EXPECT_EQ(g->frame.ToInt(), e.frames[i]);
            }
            if (e.gx[i] != INT_MIN)
            {
                EXPECT_EQ(g->x.ToInt(), e.gx[i]) << text << " " << i;
                EXPECT_EQ(g->y.ToInt(), e.gy[i]) << text << " " << i;
            }
        }
    }
}

TEST(GlyphLine, WorkedExamples)
{
    GlyphFont f;
    const auto width = [](char c) { return GlyphWidth(GCharMap().GetGlyphIndex(static_cast<u8>(c))); };
    LinePtr line(GString::Create(5));
    // A b: three glyphs, the blank in mode 7, and a text set while hidden
    // stays hidden until shown without a new layout.
    line->SetText("A b", &f.map);
    EXPECT_EQ(line->used, 3);
    EXPECT_EQ(line->extent, width('A') + 5 + width('b'));
    EXPECT_EQ(line->Glyph(1)->GetMode(), 7);
    EXPECT_EQ(line->Glyph(0)->visible, 0);
    line->SetVisible(1);
    EXPECT_EQ(line->Glyph(0)->visible, 1);
    EXPECT_EQ(line->Glyph(1)->visible, 0);
    EXPECT_EQ(line->IsShown(), 1u);

    line->SetNumber(-42, nullptr);
    ASSERT_EQ(line->used, 3);
    EXPECT_EQ(line->Glyph(0)->frame.ToInt(), f.map.GetFrame('-', 1));
    EXPECT_EQ(line->Glyph(1)->frame.ToInt(), f.map.GetFrame('4', 1));
    EXPECT_EQ(line->Glyph(2)->frame.ToInt(), f.map.GetFrame('2', 1));
    line->SetNumber(0, nullptr);
    EXPECT_EQ(line->used, 1);
    EXPECT_EQ(line->Glyph(0)->frame.ToInt(), f.map.GetFrame('0', 1));
    line->SetNumber(INT_MIN, nullptr); // 11 characters, cut to the 5 glyphs
    EXPECT_EQ(line->used, 5);

    // Alignment 5 keeps the rectangle and widens it by 3 per text.
    f.map.alignment = 5;
    line->rect = ORect(10, 20, 110, 40);
    line->SetText("1 2", nullptr);
    line->SetText("1 2", nullptr);
    EXPECT_EQ(line->rect, ORect(4, 14, 116, 46));
    // The blank stretches to fill: (112 - w1 - w2 - 5) / 1 beyond the 1.
    EXPECT_EQ(line->GetGlyphX(2) - line->GetGlyphX(0),
              width('1') + (116 - 4 - 6 - width('1') - 5 - width('2')));

    // Indices out of range.
    EXPECT_EQ(line->GetGlyphX(-1), -1);
    EXPECT_EQ(line->GetGlyphY(5), -1);
    const i32 before = line->Glyph(2)->frame.raw;
    line->SetGlyph(3, '7', 0);
    line->SetGlyph(-1, '7', 0);
    EXPECT_EQ(line->Glyph(2)->frame.raw, before);
    line->SetGlyph(2, '7', 1);
    EXPECT_EQ(line->Glyph(2)->frame.ToInt(), f.map.GetFrame('7', 0));
    line->SetGlyph(2, '~', 0); // no glyph: a blank, never another picture
    EXPECT_EQ(line->Glyph(2)->GetMode(), 7);
    LinePtr single(GString::Create(1));
    EXPECT_EQ(single->GetFirstX(), -1);

    // Lower case without a glyph of its own shows the capital.
    f.map.glyphIndex['q' - 33] = -1;
    line->SetText("q", nullptr);
    EXPECT_EQ(line->Glyph(0)->frame.ToInt(), f.map.GetFrame('Q', 1));

    // A glyph whose picture the store lacks is a blank too.
    f.map.extraGlyphs = 1;
    f.map.alignment = 0;
    line->SetText("\xC0\xDF", nullptr); // glyphs 73 and 104: 183 present, 214 present
    f.map.baseFrame = kRegular + 20;    // now 104 + 20 lies past the store
    line->SetText("\xC0\xDF", nullptr);
    EXPECT_EQ(line->Glyph(0)->GetMode(), line->state);
    EXPECT_EQ(line->Glyph(1)->GetMode(), 7);
    // A line without a store stays empty.
    f.map.imageStore = nullptr;
    line->SetText("123", nullptr);
    EXPECT_EQ(line->used, 0);
}

} // namespace
