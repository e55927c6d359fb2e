#include "render/RectOps.h"

bool RectIntersect(ORect* out, const ORect& a, const ORect& b)
{
    return ORect::Intersect(*out, a, b);
}

int RectUnion(ORect* out, const ORect* a, const ORect* b)
{
    const i16 left = a->left < b->left ? a->left : b->left;
    const i16 top = a->top < b->top ? a->top : b->top;
    const i16 right = a->right > b->right ? a->right : b->right;
    const i16 bottom = a->bottom > b->bottom ? a->bottom : b->bottom;
    *out = MakeRect(left, top, right, bottom);
    return 1;
}

void RectSetSize(ORect* r, i16 width, i16 height)
{
    r->right = static_cast<i16>(r->left + width - 1);
    r->bottom = static_cast<i16>(r->top + height - 1);
}

void RectOffset(ORect* r, i16 dx, i16 dy)
{
    r->left = static_cast<i16>(r->left + dx);
    r->right = static_cast<i16>(r->right + dx);
    r->top = static_cast<i16>(r->top + dy);
    r->bottom = static_cast<i16>(r->bottom + dy);
}

int RectsDiffer(const ORect* a, const ORect* b)
{
    return (a->left != b->left || a->top != b->top || a->right != b->right || a->bottom != b->bottom) ? 1 : 0;
}

i32 FixedFraction(const OFixed& v)
{
    return v.raw - ((v.raw >> 8) << 8);
}
