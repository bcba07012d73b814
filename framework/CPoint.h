// A point in pixels. Layout-compatible with the system POINT, so Windows calls can take it.
#pragma once

#ifdef _WIN32
#include <windef.h>
using PointBase = POINT;
#else
struct PointBase {
    long x;
    long y;
};
#endif

struct CPoint : PointBase {
    CPoint() : PointBase{0, 0} {}
    CPoint(long xx, long yy) : PointBase{xx, yy} {}
    bool operator==(const CPoint& o) const { return x == o.x && y == o.y; }
    bool operator!=(const CPoint& o) const { return !(*this == o); }
};
