#include "BarGeometry.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int Red(uint32_t c) { return int(c & 0xFF); }
int Green(uint32_t c) { return int((c >> 8) & 0xFF); }
int Blue(uint32_t c) { return int((c >> 16) & 0xFF); }

uint32_t MakeColor(int r, int g, int b)
{
    return uint32_t(r & 0xFF) | (uint32_t(g & 0xFF) << 8) | (uint32_t(b & 0xFF) << 16);
}

int ClampToInt(long long v)
{
    return int(std::max<long long>(INT_MIN, std::min<long long>(INT_MAX, v)));
}

// Reads a printf width or precision, clamped so that no label can ask for an enormous field.
size_t ReadFieldNumber(const std::string& f, size_t i, int* value)
{
    long long n = 0;
    while (i < f.size() && f[i] >= '0' && f[i] <= '9') {
        n = std::min<long long>(n * 10 + (f[i] - '0'), 1000);
        ++i;
    }
    *value = int(std::min<long long>(n, 64));
    return i;
}

// Part i of count parts of a span, each width wide with edges truncated toward the
// span's start; the last part ends exactly at the span's end.
CRect EqualPart(const CRect& span, float width, int i, int count)
{
    CRect part(span.left + long(float(i) * width), 0, span.left + long(float(i + 1) * width), 0);
    if (i == count - 1)
        part.right = span.right;
    return part;
}

}  // namespace

long BarAxisLength(const CRect& rcInner, uint32_t style)
{
    return (style & BAR_VERTICAL) ? rcInner.Height() : rcInner.Width();
}

CRect BarRangeToRect(const CRect& rcInner, uint32_t style, const CRect& range)
{
    const long length = range.right - range.left;
    CRect r = rcInner;
    const bool mirrored = (style & SPS_MIRRORED) != 0;
    if (style & BAR_VERTICAL) {
        r.top = mirrored ? rcInner.top + range.left : rcInner.bottom - range.right;
        r.bottom = r.top + length;
    } else {
        r.left = mirrored ? rcInner.right - range.right : rcInner.left + range.left;
        r.right = r.left + length;
    }
    return r;
}

long BarOffset(long length, int value, int lower, int upper)
{
    if (upper == lower)
        return 0;
    const double offset = double(length) * (double(value) - double(lower)) / (double(upper) - double(lower));
    return long(offset);
}

bool ComputeBarRange(long length, int pos, int lower, int upper, bool movingSegment, int segmentTail, CRect* bar)
{
    if (pos < lower || pos > upper || lower == upper || length < 0)
        return false;
    const long end = BarOffset(length, pos, lower, upper);
    long start = 0;
    if (movingSegment)
        start = std::max(0L, std::min(end, BarOffset(length, segmentTail, lower, upper)));
    bar->SetRect(start, 0, end, 0);
    return true;
}

std::vector<GradientSegment> PlanGradientSegments(const CRect& span, const CRect& clip, int stopCount)
{
    std::vector<GradientSegment> plan;
    const int n = stopCount - 1;
    if (n <= 0)
        return plan;
    const float step = float(span.right - span.left) / float(n);
    for (int i = 0; i < n; ++i) {
        const CRect segment = EqualPart(span, step, i, n);
        if (segment.right < clip.left)
            continue;
        const CRect clipped(std::max(segment.left, clip.left), 0, std::min(segment.right, clip.right), 0);
        plan.push_back({segment, clipped, i});
        if (clipped.right == clip.right)
            break;
    }
    return plan;
}

int GradientStepCount(uint32_t from, uint32_t to, long width, bool paletteDevice, int colorBits)
{
    const int dR = Red(to) - Red(from);
    const int dG = Green(to) - Green(from);
    const int dB = Blue(to) - Blue(from);
    long steps = std::max({std::abs(dR), std::abs(dG), std::abs(dB)});
    if (width < steps)
        steps = width;
    if (steps <= 0)
        steps = 1;
    if (!paletteDevice && steps > 1 && colorBits < 8)
        steps = 1;
    return int(steps);
}

std::vector<GradientBand> PlanGradientBands(const CRect& segment, const CRect& clip, uint32_t from, uint32_t to,
                                            int steps)
{
    std::vector<GradientBand> plan;
    if (steps <= 0)
        steps = 1;
    const float fR = float(Red(to) - Red(from)) / float(steps);
    const float fG = float(Green(to) - Green(from)) / float(steps);
    const float fB = float(Blue(to) - Blue(from)) / float(steps);
    const float bandWidth = float(segment.right - segment.left) / float(steps);
    for (int i = 0; i < steps; ++i) {
        CRect band = EqualPart(segment, bandWidth, i, steps);
        if (band.right < clip.left)
            continue;
        const bool last = band.right >= clip.right;
        band.left = std::max(band.left, clip.left);
        band.right = std::min(band.right, clip.right);
        if (band.right > band.left) {
            const uint32_t color = MakeColor(Red(from) + int(float(i) * fR), Green(from) + int(float(i) * fG),
                                             Blue(from) + int(float(i) * fB));
            plan.push_back({band, color});
        }
        if (last)
            break;
    }
    return plan;
}

int BarPercent(int pos, int lower, int upper)
{
    if (upper == lower)
        return 0;
    return int((double(pos) - double(lower)) * 100.0 / (double(upper) - double(lower)));
}

CString FormatBarLabel(const CString& format, int value)
{
    const std::string& f = format.str();
    std::string out;
    bool valueUsed = false;
    size_t i = 0;
    while (i < f.size()) {
        if (f[i] != '%') {
            out += f[i++];
            continue;
        }
        if (i + 1 < f.size() && f[i + 1] == '%') {
            out += '%';
            i += 2;
            continue;
        }
        // %[flags][width][.precision][length]conversion
        size_t j = i + 1;
        std::string spec = "%";
        while (j < f.size() && f[j] != '\0' && std::strchr("-+ #0", f[j]))
            spec += f[j++];
        int width = 0;
        const size_t widthEnd = ReadFieldNumber(f, j, &width);
        if (widthEnd > j)
            spec += std::to_string(width);
        j = widthEnd;
        if (j < f.size() && f[j] == '.') {
            int precision = 0;
            j = ReadFieldNumber(f, j + 1, &precision);
            spec += "." + std::to_string(precision);
        }
        while (j < f.size() && (f[j] == 'h' || f[j] == 'l'))
            ++j;   // the value is an int whatever the text says
        const char conversion = j < f.size() ? f[j] : '\0';
        if (!valueUsed && conversion != '\0' && std::strchr("diuxXo", conversion)) {
            spec += conversion;
            char buffer[160];
            std::snprintf(buffer, sizeof buffer, spec.c_str(), value);
            out += buffer;
            valueUsed = true;
            i = j + 1;
            continue;
        }
        out += '%';
        ++i;
    }
    return CString(out);
}

CString BarLabelText(uint32_t style, const CString& windowText, int pos, int lower, int upper)
{
    switch (style & SPS_TEXT_MASK) {
    case SPS_PERCENT_TEXT:
        return FormatBarLabel(windowText.IsEmpty() ? CString("%d%%") : windowText, BarPercent(pos, lower, upper));
    case SPS_POSITION_TEXT:
        return FormatBarLabel(windowText.IsEmpty() ? CString("%d") : windowText, pos);
    case SPS_PLAIN_TEXT:
        return windowText;
    default:
        return CString();
    }
}

LabelExtent MeasureLabel(int angle, long cx, long cy)
{
    switch (angle) {
    case 0:
        return {cx, cy, 0, cy};
    case 90:
        return {cy, cx, cy, 0};
    case 180:
        return {cx, cy, 0, -cy};
    case 270:
        return {cy, cx, -cy, 0};
    default:
        return {0, 0, 0, 0};
    }
}

CPoint LabelOrigin(const CRect& r, long dx, long dy)
{
    return CPoint(r.left + (r.Width() + dx) / 2, r.top + (r.Height() + dy) / 2);
}

bool LabelFitsBar(uint32_t style, const LabelExtent& extent, const CRect& bar)
{
    const long along = (style & BAR_VERTICAL) ? extent.h : extent.w;
    return along <= bar.right - bar.left;
}

std::vector<LabelPiece> PlanLabelPieces(const CRect& full, const CRect& bar, bool sameColours)
{
    std::vector<LabelPiece> pieces;
    if (sameColours) {
        pieces.push_back({full, true});
        return pieces;
    }
    if (bar.right > bar.left)
        pieces.push_back({bar, true});
    if (full.right > bar.right)
        pieces.push_back({CRect(bar.right, 0, full.right, 0), false});
    if (full.left < bar.left)
        pieces.push_back({CRect(full.left, 0, bar.left, 0), false});
    return pieces;
}

SegmentAdvance ComputeSegmentAdvance(int value, bool relative, int current, int lower, int upper, int tail,
                                     int length)
{
    long long head = value;
    if (relative) {
        long long cur = current;
        // The head had already run past the end while the control's position stayed there.
        if (current == upper && cur - tail < length)
            cur = static_cast<long long>(tail) + length;
        head = std::llabs(static_cast<long long>(value)) + cur;
    }
    SegmentAdvance result = {0, 0, false, false};
    const long long bound = static_cast<long long>(upper) + length;
    if (head > bound) {
        head -= bound - lower;
        if (head > bound)
            head = bound;
        result.toggleMirrored = true;
    } else if (head >= upper) {
        result.invalidate = true;
    }
    result.head = ClampToInt(head);
    result.tail = ClampToInt(std::max<long long>(head - length, lower));
    return result;
}
