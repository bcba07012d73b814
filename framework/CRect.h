// A rectangle in pixels, right and bottom exclusive. Layout-compatible with the system RECT.
#pragma once

#include "CPoint.h"

#ifdef _WIN32
using RectBase = RECT;
#else
struct RectBase {
    long left;
    long top;
    long right;
    long bottom;
};
#endif

struct CRect : RectBase {
    CRect() : RectBase{0, 0, 0, 0} {}
    CRect(long l, long t, long r, long b) : RectBase{l, t, r, b} {}
    CRect(const RectBase& rc) : RectBase(rc) {}

    long Width() const { return right - left; }
    long Height() const { return bottom - top; }

    void SetRect(long l, long t, long r, long b) { left = l; top = t; right = r; bottom = b; }
    void OffsetRect(long dx, long dy) { left += dx; right += dx; top += dy; bottom += dy; }
    // Shrinks by the margins held in another rectangle (left, top, right, bottom).
    void DeflateRect(const CRect& m) { left += m.left; top += m.top; right -= m.right; bottom -= m.bottom; }

    bool operator==(const CRect& o) const
    {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
    bool operator!=(const CRect& o) const { return !(*this == o); }

#ifdef _WIN32
    operator RECT*() { return this; }
    operator const RECT*() const { return this; }
#endif
};
