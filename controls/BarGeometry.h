// The arithmetic of the skinned progress bar, kept apart from the painting so that it can
// be checked without a window: where the bar ends, how a gradient splits into segments and
// bands, what the label says and where it sits, and how the moving segment advances.
//
// Spans along the bar are CRects of which only left and right count: pixel offsets along
// the bar's axis, 0 being the start of the axis.
#pragma once

#include <cstdint>
#include <vector>

#include "CRect.h"
#include "CString.h"

// Style bits of the skinned progress bar (the low word of its window style).
constexpr uint32_t BAR_VERTICAL = 0x0004;   // the common control's own vertical bit
constexpr uint32_t SPS_PERCENT_TEXT = 0x0100;
constexpr uint32_t SPS_POSITION_TEXT = 0x0200;
constexpr uint32_t SPS_PLAIN_TEXT = 0x0300;
constexpr uint32_t SPS_TEXT_MASK = 0x0300;
constexpr uint32_t SPS_TEXT_ON_BAR = 0x1000;
constexpr uint32_t SPS_STRETCH_GRADIENT = 0x2000;
constexpr uint32_t SPS_MIRRORED = 0x4000;
constexpr uint32_t SPS_MOVING_SEGMENT = 0x8000;

// Length of the bar's axis inside rcInner: its height when vertical, else its width.
long BarAxisLength(const CRect& rcInner, uint32_t style);

// The client rectangle covered by a span: the cross-axis extent is rcInner's, the start
// edge depends on the orientation (mirrored bars grow from the right or from the top,
// vertical bars from the bottom).
CRect BarRangeToRect(const CRect& rcInner, uint32_t style, const CRect& range);

// length * (value - lower) / (upper - lower), in floating point, truncated toward zero;
// 0 for an empty range.
long BarOffset(long length, int value, int lower, int upper);

// The span the bar covers for pos. False when only the background is painted: pos outside
// [lower, upper], or an empty range (lower = upper), where there is nothing to divide by.
// Margins wider than the control leave no axis and no bar either. A moving segment starts at
// its tail, kept within [0, end].
bool ComputeBarRange(long length, int pos, int lower, int upper, bool movingSegment, int segmentTail, CRect* bar);

// One segment of a gradient between stop `index` and stop `index + 1`, with the part of it
// inside the clip.
struct GradientSegment {
    CRect segment;
    CRect clipped;
    int index;
};
// The segments of a gradient with stopCount stops over span that reach into clip, in order.
std::vector<GradientSegment> PlanGradientSegments(const CRect& span, const CRect& clip, int stopCount);

// How many solid bands a segment from one colour to another is painted with: one per step of
// its largest channel difference, no more than its width, at least one; a single band on a
// display of fewer than 8 bits per pixel that has no palette.
int GradientStepCount(uint32_t from, uint32_t to, long width, bool paletteDevice, int colorBits);

// One solid band of a segment (clipped) and its colour.
struct GradientBand {
    CRect band;
    uint32_t color;
};
// The non-empty bands of a segment painted in `steps` steps, clipped to clip, in order. Band i
// carries i/steps of the colour difference, so the first band has exactly the start colour.
std::vector<GradientBand> PlanGradientBands(const CRect& segment, const CRect& clip, uint32_t from, uint32_t to,
                                            int steps);

// The whole percentage of pos in the range, truncated; 0 for an empty range.
int BarPercent(int pos, int lower, int upper);

// printf-style formatting of one integer with a format that comes from a window text. Only
// "%%" and the first integer conversion (d, i, u, x, X, o with flags, width and precision)
// are expanded; any other '%' is copied as it stands, so no text can make the formatting
// read arguments that are not there.
CString FormatBarLabel(const CString& format, int value);

// The label for a style's text mode: the percentage ("%d%%" when the window text is empty),
// the position ("%d") or the window text itself. Empty when the style shows no text.
CString BarLabelText(uint32_t style, const CString& windowText, int pos, int lower, int upper);

// A text of extent cx by cy, written at an angle in degrees, seen along the bar: its extent
// along (w) and across (h) the horizontal, and the offset of its reference point (centre of
// its bottom edge) from the centre of the box it is laid in. Angles other than 0, 90, 180
// and 270 give zeros.
struct LabelExtent {
    long w;
    long h;
    long dx;
    long dy;
};
LabelExtent MeasureLabel(int angle, long cx, long cy);

// Where the text's reference point goes for a text centred in r.
CPoint LabelOrigin(const CRect& r, long dx, long dy);

// Whether a text laid along the bar fits into the bar span.
bool LabelFitsBar(uint32_t style, const LabelExtent& extent, const CRect& bar);

// The pieces a two-coloured label is drawn in, in drawing order: over the bar in the bar's
// text colour, then what lies beyond the bar's end and before its start (a moving segment)
// in the background's text colour. One piece over the full span when both colours agree.
struct LabelPiece {
    CRect range;
    bool onBar;
};
std::vector<LabelPiece> PlanLabelPieces(const CRect& full, const CRect& bar, bool sameColours);

// One move of the moving segment. The head may run past upper by up to one segment length
// (the control's own position stays at upper); beyond that it wraps by one period and the
// bar turns round (toggleMirrored).
struct SegmentAdvance {
    int head;              // the position handed to the common control
    int tail;              // the new segment tail
    bool toggleMirrored;   // flip SPS_MIRRORED
    bool invalidate;       // the head is at or past the end: repaint the whole control
};
SegmentAdvance ComputeSegmentAdvance(int value, bool relative, int current, int lower, int upper, int tail,
                                     int length);
