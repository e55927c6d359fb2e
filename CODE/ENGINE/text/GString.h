#pragma once
#include "core/OFixed.h"
#include "core/ORect.h"
#include "core/Types.h"

class GChar;
class GCharMap;
class GPtrArray;
class OEngine;

// One line of bitmap text: a fixed set of glyph sprites made once, whose
// frames, modes and positions are rewritten whenever the text changes, so a
// counter can change every frame without allocating. A small state machine,
// stepped once per frame by Update, shows, hides, fades and throws the
// glyphs away; its states are the glyph modes 0 to 6 (see GChar).
class GString
{
public:
    OFixed x = OFixed::FromInt(0); // reference point of the line
    OFixed y = OFixed::FromInt(0);
    ORect rect{};  // the laid-out text, 3 pixels wider on every side
    u32 shown = 0; // 0 after states 1 and 2, 1 after any other
    u8 state = 1;
    i16 counter = 0; // running delay or fade level
    // step (opacity per frame), gravity (added to vy per frame while
    // flying), delay (frames of the waiting states), and a value the line
    // itself does not use. GetStepPtr lets an owner change them.
    i16 params[4] = {10, 10, 5, 55};
    u16 extent = 0;              // total advance of the text last laid out
    u8 used = 0;                 // glyphs carrying the current text
    GPtrArray* glyphs = nullptr; // owned; never grown
    GCharMap* charMap = nullptr; // borrowed

    // A line of n glyphs, hidden (state 1) and without a map; null when an
    // allocation fails. n is the most characters it can ever show.
    static GString* Create(u8 n);
    // A line without a glyph list, on which every operation that would
    // touch glyphs does nothing; Create gives a line its glyphs.
    GString() = default;
    virtual ~GString();
    GString(const GString&) = delete;
    GString& operator=(const GString&) = delete;

    // Add or remove every glyph, used or not, to or from the engine's
    // display list, marked as not drawn before. A null engine does nothing.
    void Attach(OEngine* engine);
    void Detach(OEngine* engine);

    // Every glyph hidden; the line carries no text.
    virtual void Clear();
    // Moves the reference point and every used glyph with it.
    virtual void Move(const OFixed& newX, const OFixed& newY);
    // The decimal text of value, formatted on the stack.
    virtual void SetNumber(int value, GCharMap* map);
    // Lays out a new text with map, or with the current map when null.
    // Characters beyond the line's glyphs are left out; a character the map
    // has no glyph for, or whose picture the store lacks, shows as a blank.
    virtual void SetText(const char* text, GCharMap* map);
    // Shows character c (alternate set when `alternate`) in used glyph
    // `index`; mode and position stay. A character without a picture leaves
    // the glyph naming no image, so it draws nothing instead of showing
    // another picture.
    virtual void SetGlyph(i16 index, u8 c, u32 alternate);
    virtual u32 IsShown();
    // Moves every used glyph by whole pixels; the line's point and rectangle
    // stay.
    virtual void SetPosition(i16 dx, i16 dy);
    // Whole-pixel place of the first glyph when the list holds more than one
    // glyph, else -1.
    virtual i16 GetFirstX();
    virtual i16 GetFirstY();
    // Whole-pixel place of glyph index, -1 outside the glyph list.
    virtual i16 GetGlyphX(i16 index);
    virtual i16 GetGlyphY(i16 index);
    virtual i16* GetStepPtr();
    virtual void SetState(u8 s);
    // State 0 when flag is non-zero, else state 1.
    virtual void SetVisible(u32 flag);
    virtual u32 IsState(u8 s);
    // One frame: every used glyph animates, then the state advances.
    virtual void Update();

    u8 GetState() const { return state; }
    i16 GetGlyphCount() const;
    // Glyph i of the list; the caller keeps i below GetGlyphCount().
    GChar* Glyph(i16 i) const;

    // Place the used glyphs of a text of total advance `total` holding
    // `blanks` blanks, in a row or a column by the map's alignment.
    void LayoutRow(const OFixed& px, const OFixed& py, i16 total, i16 blanks);
    void LayoutColumn(const OFixed& px, const OFixed& py, i16 total, i16 blanks);

protected:
    bool CreateGlyphs(u8 n);

private:
    void Enlist(OEngine* engine, bool add);
    void Layout(bool column, const OFixed& px, const OFixed& py, i16 total, i16 blanks);
};
