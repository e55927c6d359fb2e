#include "text/GFont.h"

#include "image/OBitmap.h"
#include "render/BlitKernels.h"
#include "text/FontBlend.h"

#include <algorithm>

GFont::GFont(OBitmap* fontPicture, u16 space, u8 last)
    : spaceAdvance(static_cast<i16>(space)), lastChar(last), picture(fontPicture)
{
    // A last character below 32 covers no code at all.
    glyphCount = static_cast<u8>(last >= kFirstCode - 1 ? last - (kFirstCode - 1) : 0);
    const u8* row = picture != nullptr ? picture->GetAlpha() : nullptr;
    const int rowBytes = picture != nullptr ? picture->width : 0;
    auto value = [&](int i) -> i16
    {
        if (row == nullptr || 2 * i + 1 >= rowBytes)
            return 0;
        return static_cast<i16>(row[2 * i] | row[2 * i + 1] << 8);
    };
    header[0] = value(0);
    header[1] = value(1);
    lineHeight = static_cast<i16>(header[0] + header[1]);
    for (int g = 0; g < glyphCount; ++g)
        for (int k = 0; k < 4; ++k)
            metrics[g][k] = value(2 + 4 * g + k);
}

void GFont::SetSpaceWidth(u16 width)
{
    spaceAdvance = static_cast<i16>(width);
}

i16 GFont::GlyphAdvance(u8 c) const
{
    if (c == ' ')
        return spaceAdvance;
    if (c < kFirstCode + 1 || c > lastChar)
        return 0;
    const i16* m = metrics[c - kFirstCode];
    return static_cast<i16>(m[1] + m[2] + m[3]);
}

i16 GFont::GetTextWidth(const char* text) const
{
    i16 width = 0;
    for (const char* p = text; p != nullptr && *p != 0; ++p)
        width = static_cast<i16>(width + GlyphAdvance(static_cast<u8>(*p)));
    return width;
}

i16 GFont::GetTextWidthN(const char* text, i16 n) const
{
    i16 width = 0;
    for (i16 i = 0; text != nullptr && i < n && text[i] != 0; ++i)
        width = static_cast<i16>(width + GlyphAdvance(static_cast<u8>(text[i])));
    return width;
}

i16 GFont::CenterVertically(const char*, i16 a, i16 b) const
{
    return static_cast<i16>(a + (b - a - lineHeight) / 2);
}

i16 GFont::CenterHorizontally(const char* text, i16 a, i16 b) const
{
    return static_cast<i16>(a + (b - a - GetTextWidth(text)) / 2);
}

void GFont::DrawString(OBitmap* target, i16 x, i16 y, const char* text, u32 colour, const ORect* clip) const
{
    Paint(Painter::String, target, x, y, text, colour, 255, clip);
}

void GFont::DrawText(OBitmap* target, i16 x, i16 y, const char* text, u32 colour, const ORect* clip) const
{
    Paint(Painter::Text, target, x, y, text, colour, 255, clip);
}

void GFont::DrawTextBlend(OBitmap* target, i16 x, i16 y, const char* text, u32 colour, u8 opacity,
                          const ORect* clip) const
{
    Paint(Painter::Blend, target, x, y, text, colour, opacity, clip);
}

void GFont::DrawTextBlendUnused(OBitmap* target, i16 x, i16 y, const char* text, u32 colour, u8 opacity,
                                const ORect* clip) const
{
    Paint(Painter::Blend, target, x, y, text, colour, opacity, clip);
}

namespace
{

void PaintStringRow(u8* d, u8* alphaOut, const u8* m, i32 n, const u8* c)
{
    for (i32 i = 0; i < n; ++i, d += 3)
    {
        if (m[i] == 255)
            continue;
        d[0] = c[0];
        d[1] = c[1];
        d[2] = c[2];
        if (alphaOut != nullptr)
            alphaOut[i] = m[i];
    }
}

void PaintTextRow(u8* d, const u8* m, i32 n, const u8* c)
{
    for (i32 i = 0; i < n; ++i, d += 3)
    {
        const int a = m[i];
        if (a == 255)
            continue;
        for (int ch = 0; ch < 3; ++ch)
            d[ch] = static_cast<u8>(a == 0 ? c[ch] : c[ch] + (((d[ch] - c[ch]) * a) >> 8));
    }
}

} // namespace

void GFont::Paint(Painter kind, OBitmap* target, int x, int y, const char* text, u32 colour, u8 opacity,
                  const ORect* clip) const
{
    blit::Target t;
    if (text == nullptr || picture == nullptr || picture->GetAlpha() == nullptr ||
        !blit::GetTarget(target, t))
        return;
    if (kind == Painter::Blend && opacity == 0)
        return; // every pixel would keep its bytes
    // Where the line does not start inside the target with a whole line
    // below, the clip is the whole target, its right and bottom taken as
    // width and height; the writes below are still cut to the target.
    const bool inside = x >= 0 && x < t.w && y >= 0 && y < t.h && y + lineHeight <= t.h;
    ORect whole(0, 0, static_cast<i16>(t.w), static_cast<i16>(t.h));
    const ORect* limit = inside ? clip : &whole;
    int left = 0, top = 0, right = t.w - 1, bottom = t.h - 1;
    if (limit != nullptr)
    {
        left = std::max<int>(left, limit->left);
        top = std::max<int>(top, limit->top);
        right = std::min<int>(right, limit->right);
        bottom = std::min<int>(bottom, limit->bottom);
    }
    // Mask row r lies in picture row 1 + r, drawn at target row y + r.
    const int picW = picture->width;
    const int firstRow = std::max(top - y, 0);
    const int lastRow = std::min({bottom - y, lineHeight - 1, picture->height - 2});
    if (firstRow > lastRow || left > right)
        return;

    const u8 c[3] = {static_cast<u8>(colour), static_cast<u8>(colour >> 8), static_cast<u8>(colour >> 16)};
    const u8* masks = picture->GetAlpha();
    u8* targetAlpha = kind == Painter::String ? target->GetAlpha() : nullptr;
    const u8* targetEnd = t.bits + static_cast<i64>(t.pitch) * (t.h - 1) + 3 * t.w;
    const u8* maskEnd = masks + static_cast<i64>(picW) * picture->height;
    const fontblend::BlendRowFn blend = fontblend::SelectBlendRow();

    int pen = x;
    for (const char* p = text; *p != 0; ++p)
    {
        const u8 code = static_cast<u8>(*p);
        if (code < kFirstCode)
            continue;
        if (code == ' ' && kind != Painter::String)
        {
            pen += spaceAdvance;
            continue;
        }
        if (code > lastChar)
            continue; // no metrics: nothing drawn, no room taken
        const i16* m = metrics[code - kFirstCode];
        pen += m[1];
        if (limit != nullptr && pen > limit->right)
            break;
        // Target columns pen + j and mask columns x - 1 + j, j = 0 to w - 1,
        // cut to the clip and to the picture.
        const int maskX = m[0] - 1;
        const int j0 = std::max({0, left - pen, -maskX});
        const int j1 = std::min({static_cast<int>(m[2]) - 1, right - pen, picW - 1 - maskX});
        const int gx = pen + j0;
        pen += m[2] + m[3];
        if (j0 > j1)
            continue;
        const i32 n = j1 - j0 + 1;
        const i32 rows = lastRow - firstRow + 1;
        u8* d = t.bits + static_cast<i64>(t.pitch) * (y + firstRow) + 3 * gx;
        const u8* a = masks + static_cast<i64>(picW) * (1 + firstRow) + maskX + j0;
        switch (kind)
        {
        case Painter::String:
            for (i32 r = 0; r < rows; ++r)
            {
                u8* alphaRow =
                    targetAlpha ? targetAlpha + static_cast<i64>(t.w) * (y + firstRow + r) + gx : nullptr;
                PaintStringRow(d + static_cast<i64>(t.pitch) * r, alphaRow, a + static_cast<i64>(picW) * r, n,
                               c);
            }
            break;
        case Painter::Text:
            for (i32 r = 0; r < rows; ++r)
                PaintTextRow(d + static_cast<i64>(t.pitch) * r, a + static_cast<i64>(picW) * r, n, c);
            break;
        case Painter::Blend:
        {
            // The vector kernel's blocks may reach past the last row's end;
            // it takes only glyphs whose last row has that much room.
            const i32 blocks = (n + 15) & ~15;
            const bool room = d + static_cast<i64>(t.pitch) * (rows - 1) + 3 * blocks <= targetEnd &&
                              a + static_cast<i64>(picW) * (rows - 1) + blocks <= maskEnd;
            (room ? blend : fontblend::BlendRowScalar)(d, t.pitch, a, picW, n, rows, c, opacity);
            break;
        }
        }
    }
}
