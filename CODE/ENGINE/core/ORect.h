#pragma once
// A rectangle of four signed 16-bit coordinates with inclusive right and
// bottom edges (width = right - left + 1). Every field write wraps to 16 bits.
#include "core/Types.h"

class ORect
{
public:
    i16 left;
    i16 top;
    i16 right;
    i16 bottom;

    // The 1 by 1 rectangle at (0, 0): there is no separate empty encoding.
    ORect() : left(0), top(0), right(0), bottom(0) {}
    ORect(i16 l, i16 t, i16 r, i16 b) : left(l), top(t), right(r), bottom(b) {}

    ORect& Set(i16 l, i16 t, i16 r, i16 b)
    {
        left = l;
        top = t;
        right = r;
        bottom = b;
        return *this;
    }
    void Copy(const ORect& other) { *this = other; }

    int Width() const { return static_cast<int>(right) - static_cast<int>(left) + 1; }
    int Height() const { return static_cast<int>(bottom) - static_cast<int>(top) + 1; }

    bool Contains(i16 x, i16 y) const { return left <= x && x <= right && top <= y && y <= bottom; }

    // Rectangles sharing a single row or column overlap.
    static bool Overlaps(const ORect& a, const ORect& b);
    // Leaves out untouched when a and b do not overlap; out may alias a or b.
    static bool Intersect(ORect& out, const ORect& a, const ORect& b);

    void MoveTo(i16 x, i16 y);
    void MoveToX(i16 x);
    void MoveToY(i16 y);
    void SetBySize(i16 x, i16 y, i16 w, i16 h);
    void SetWidth(i16 w);
    void SetHeight(i16 h);

    // Places this rectangle against reference by an alignment code 0..15
    // (0 top-left, 1 centre, 2 top-right, 3 bottom-left, 4 bottom-right,
    // 5 none, 6 top-centre, 7 bottom-centre, 8 left-centre, 9 right-centre,
    // 10 centre vertically, 11 centre horizontally, 12 left, 13 right,
    // 14 top, 15 bottom). A negative margin places it outside the reference.
    void Align(const ORect& reference, int code, i16 margin);

    bool operator==(const ORect&) const = default;
};

static_assert(sizeof(ORect) == 8);
