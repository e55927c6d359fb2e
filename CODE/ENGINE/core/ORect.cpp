#include "core/ORect.h"

namespace
{
i16 Wrap16(int v)
{
    return static_cast<i16>(v);
}
} // namespace

bool ORect::Overlaps(const ORect& a, const ORect& b)
{
    return !(a.top > b.bottom || a.right < b.left || b.top > a.bottom || b.right < a.left);
}

bool ORect::Intersect(ORect& out, const ORect& a, const ORect& b)
{
    if (!Overlaps(a, b))
        return false;
    const ORect r(a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
                  a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom);
    out = r;
    return true;
}

void ORect::MoveTo(i16 x, i16 y)
{
    const i16 dx = Wrap16(x - left);
    const i16 dy = Wrap16(y - top);
    left = Wrap16(left + dx);
    right = Wrap16(right + dx);
    top = Wrap16(top + dy);
    bottom = Wrap16(bottom + dy);
}

void ORect::MoveToX(i16 x)
{
    MoveTo(x, top);
}

void ORect::MoveToY(i16 y)
{
    MoveTo(left, y);
}

void ORect::SetBySize(i16 x, i16 y, i16 w, i16 h)
{
    left = x;
    top = y;
    right = Wrap16(x + w - 1);
    bottom = Wrap16(y + h - 1);
}

void ORect::SetWidth(i16 w)
{
    right = Wrap16(left + w - 1);
}

void ORect::SetHeight(i16 h)
{
    bottom = Wrap16(top + h - 1);
}

void ORect::Align(const ORect& r, int code, i16 margin)
{
    const int w = Width();
    const int h = Height();
    const int cx = (r.left + r.right - w + 1) / 2;
    const int cy = (r.top + r.bottom - h + 1) / 2;

    switch (code)
    {
    case 1:
        MoveTo(Wrap16(cx), Wrap16(cy));
        return;
    case 10:
        MoveToY(Wrap16(cy));
        return;
    case 11:
        MoveToX(Wrap16(cx));
        return;
    default:
        break;
    }

    // Inside placement against the right or bottom edge lands one pixel short
    // of it (R.right - W rather than R.right - W + 1), and outside placement
    // there starts on R's own last column or row. Dialog layouts are placed
    // by these positions, so the asymmetry stays.
    int nearX, farX, nearY, farY;
    if (margin >= 0)
    {
        const int m = margin;
        nearX = r.left + m;
        farX = r.right - w - m;
        nearY = r.top + m;
        farY = r.bottom - h - m;
    }
    else
    {
        const int d = -static_cast<int>(margin);
        nearX = r.left - w - d;
        farX = r.right + d;
        nearY = r.top - h - d;
        farY = r.bottom + d;
    }

    switch (code)
    {
    case 0:
        MoveTo(Wrap16(nearX), Wrap16(nearY));
        break;
    case 2:
        MoveTo(Wrap16(farX), Wrap16(nearY));
        break;
    case 3:
        MoveTo(Wrap16(nearX), Wrap16(farY));
        break;
    case 4:
        MoveTo(Wrap16(farX), Wrap16(farY));
        break;
    case 6:
        MoveTo(Wrap16(cx), Wrap16(nearY));
        break;
    case 7:
        MoveTo(Wrap16(cx), Wrap16(farY));
        break;
    case 8:
        MoveTo(Wrap16(nearX), Wrap16(cy));
        break;
    case 9:
        MoveTo(Wrap16(farX), Wrap16(cy));
        break;
    case 12:
        MoveToX(Wrap16(nearX));
        break;
    case 13:
        MoveToX(Wrap16(farX));
        break;
    case 14:
        MoveToY(Wrap16(nearY));
        break;
    case 15:
        MoveToY(Wrap16(farY));
        break;
    default:
        // 5 means "no alignment"; unknown codes are treated the same.
        break;
    }
}
