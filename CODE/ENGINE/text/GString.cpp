#include "text/GString.h"

#include "core/StrFunctions.h"
#include "image/OBitmap.h"
#include "render/GPtrArray.h"
#include "render/OEngine.h"
#include "text/GChar.h"
#include "text/GCharMap.h"
#include "text/TextLayout.h"

#include <new>

namespace
{

constexpr u8 kBlank = 7;

} // namespace

GString* GString::Create(u8 n)
{
    GString* line = new (std::nothrow) GString;
    if (line == nullptr)
        return nullptr;
    if (!line->CreateGlyphs(n))
    {
        delete line;
        return nullptr;
    }
    return line;
}

bool GString::CreateGlyphs(u8 n)
{
    glyphs = GPtrArray::CreateTwin(n);
    if (glyphs == nullptr)
        return false;
    for (int i = 0; i < n; ++i)
    {
        GChar* g = new (std::nothrow) GChar;
        if (g == nullptr)
            return false; // the destructor frees the glyphs made so far
        glyphs->Add(g);
    }
    return true;
}

GString::~GString()
{
    if (glyphs == nullptr)
        return;
    for (i16 i = 0; i < glyphs->GetCount(); ++i)
        delete Glyph(i);
    delete glyphs;
    glyphs = nullptr;
}

i16 GString::GetGlyphCount() const
{
    return glyphs != nullptr ? glyphs->GetCount() : 0;
}

GChar* GString::Glyph(i16 i) const
{
    return static_cast<GChar*>(*glyphs->At(i));
}

void GString::Attach(OEngine* engine)
{
    Enlist(engine, true);
}

void GString::Detach(OEngine* engine)
{
    Enlist(engine, false);
}

void GString::Enlist(OEngine* engine, bool add)
{
    if (engine == nullptr)
        return;
    for (i16 i = 0; i < GetGlyphCount(); ++i)
    {
        // Marked as never drawn, so that the next redraw neither skips a
        // glyph it has not drawn nor repaints where one used to be.
        Glyph(i)->drawnVisible = 0;
        if (add)
            engine->AddClip(Glyph(i));
        else
            engine->RemoveClip(Glyph(i));
    }
}

void GString::Clear()
{
    if (glyphs == nullptr)
        return;
    for (i16 i = 0; i < GetGlyphCount(); ++i)
        Glyph(i)->SetMode(1);
    used = 0;
}

void GString::Move(const OFixed& newX, const OFixed& newY)
{
    if (glyphs == nullptr)
        return;
    const OFixed dx = OFixed::Sub(newX, x);
    const OFixed dy = OFixed::Sub(newY, y);
    x = newX;
    y = newY;
    for (i16 i = 0; i < used; ++i)
    {
        Glyph(i)->x.AddAssign(dx);
        Glyph(i)->y.AddAssign(dy);
    }
    const i16 mx = static_cast<i16>(dx.ToInt());
    const i16 my = static_cast<i16>(dy.ToInt());
    rect.Set(static_cast<i16>(rect.left + mx), static_cast<i16>(rect.top + my),
             static_cast<i16>(rect.right + mx), static_cast<i16>(rect.bottom + my));
}

void GString::SetNumber(int value, GCharMap* map)
{
    char text[20];
    IntToStr(text, value);
    SetText(text, map);
}

void GString::SetText(const char* text, GCharMap* map)
{
    if (glyphs == nullptr)
        return;
    Clear();
    if (map != nullptr)
        charMap = map;
    if (charMap == nullptr || charMap->imageStore == nullptr)
        return;
    i16 total = 0;
    i16 blanks = 0;
    // A text longer than the line keeps the characters the glyphs can carry.
    for (const char* p = text; p != nullptr && *p != 0 && used < GetGlyphCount(); ++p)
    {
        GChar* g = Glyph(used);
        const textlayout::Glyph shown = textlayout::Resolve(*charMap, static_cast<u8>(*p), 1);
        if (shown.picture == nullptr)
        {
            g->SetMode(kBlank);
            ++blanks;
        }
        else
        {
            g->frame = OFixed::FromInt(shown.frame);
            g->SetMode(state);
        }
        total = static_cast<i16>(total + textlayout::Advance(*charMap, shown.picture));
        ++used;
    }
    if (charMap->vertical != 0)
        LayoutColumn(x, y, total, blanks);
    else
        LayoutRow(x, y, total, blanks);
    extent = static_cast<u16>(total);
}

void GString::LayoutRow(const OFixed& px, const OFixed& py, i16 total, i16 blanks)
{
    Layout(false, px, py, total, blanks);
}

void GString::LayoutColumn(const OFixed& px, const OFixed& py, i16 total, i16 blanks)
{
    Layout(true, px, py, total, blanks);
}

void GString::Layout(bool column, const OFixed& px, const OFixed& py, i16 total, i16 blanks)
{
    if (charMap == nullptr)
        return;
    const textlayout::Line line = textlayout::Place(*charMap, column, px, py, total, blanks, rect);
    i16 pen = column ? line.rect.top : line.rect.left;
    for (i16 i = 0; i < used; ++i)
    {
        GChar* g = Glyph(i);
        const bool blank = g->IsMode(kBlank);
        // A blank's frame is left over from an earlier text and names no
        // picture of this one.
        const OBitmap* picture =
            blank ? nullptr : textlayout::Picture(*charMap, static_cast<u16>(g->frame.ToInt()));
        i16 gx = 0, gy = 0;
        if (textlayout::GlyphAt(*charMap, line, pen, picture, &gx, &gy))
            g->SetPosition(OFixed::FromInt(gx), OFixed::FromInt(gy));
        pen = static_cast<i16>(pen + textlayout::Step(*charMap, line, picture, blank));
    }
    rect = textlayout::Widen(line.rect);
}

void GString::SetGlyph(i16 index, u8 c, u32 alternate)
{
    if (index < 0 || index >= used || charMap == nullptr)
        return;
    const textlayout::Glyph shown = textlayout::Resolve(*charMap, c, alternate != 0 ? 0 : 1);
    // A character without a picture names no image, so the glyph draws
    // nothing rather than some other picture of the store; its mode stays,
    // so the next character given to it shows as the line's state says.
    Glyph(index)->frame = OFixed::FromInt(shown.picture != nullptr ? shown.frame : -1);
}

u32 GString::IsShown()
{
    return shown;
}

void GString::SetPosition(i16 dx, i16 dy)
{
    if (glyphs == nullptr)
        return;
    for (i16 i = 0; i < used; ++i)
    {
        Glyph(i)->x.AddAssign(OFixed::FromInt(dx));
        Glyph(i)->y.AddAssign(OFixed::FromInt(dy));
    }
}

i16 GString::GetFirstX()
{
    return GetGlyphCount() > 1 ? static_cast<i16>(Glyph(0)->x.ToInt()) : -1;
}

i16 GString::GetFirstY()
{
    return GetGlyphCount() > 1 ? static_cast<i16>(Glyph(0)->y.ToInt()) : -1;
}

i16 GString::GetGlyphX(i16 index)
{
    return index >= 0 && index < GetGlyphCount() ? static_cast<i16>(Glyph(index)->x.ToInt()) : -1;
}

i16 GString::GetGlyphY(i16 index)
{
    return index >= 0 && index < GetGlyphCount() ? static_cast<i16>(Glyph(index)->y.ToInt()) : -1;
}

i16* GString::GetStepPtr()
{
    return params;
}

void GString::SetState(u8 s)
{
    if (glyphs == nullptr)
        return;
    state = s;
    shown = 1;
    if (s > 6)
        return;
    switch (s)
    {
    case 1:
    case 2:
        shown = 0;
        break;
    default:
        break;
    }
    if (s == 2 || s == 4)
        counter = params[2];
    else if (s == 3)
        counter = 0;
    else if (s == 5)
        counter = 255;
    for (i16 i = 0; i < used; ++i)
    {
        GChar* g = Glyph(i);
        if (g->IsMode(kBlank) || s == 2 || s == 4)
            continue;
        if (s == 6)
        {
            // Two successive draws per glyph: vx from -10 to 9, vy (upwards)
            // from -29 to -10.
            ORandom& random = charMap->random;
            g->vx = static_cast<i16>(random.Next() % 20 - 10);
            g->vy = static_cast<i16>(-(random.Next() % 20) - 10);
            g->flightBounds.Set(-20, -20, 800, 600);
        }
        g->SetMode(s);
    }
}

void GString::SetVisible(u32 flag)
{
    SetState(flag != 0 ? 0 : 1);
}

u32 GString::IsState(u8 s)
{
    return state == s ? 1 : 0;
}

void GString::Update()
{
    for (i16 i = 0; i < used; ++i)
        Glyph(i)->Animate(params);
    const i16 step = params[0];
    switch (state)
    {
    case 2:
    case 4:
        counter = static_cast<i16>(counter - 1);
        if (counter < 0)
            SetState(state == 2 ? 3 : 5);
        break;
    case 3:
        counter = static_cast<i16>(counter + step);
        if (counter >= 255)
            SetState(0);
        break;
    case 5:
        counter = static_cast<i16>(counter - step);
        if (counter < step)
            SetState(1);
        break;
    case 6:
    {
        for (i16 i = 0; i < used; ++i)
        {
            if (Glyph(i)->IsMode(6))
                return;
        }
        SetText("", charMap);
        SetState(1);
        break;
    }
    default:
        break;
    }
}
