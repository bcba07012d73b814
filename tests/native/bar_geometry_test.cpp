// The progress bar's arithmetic: bar ends, gradient segments and bands, label text and
// placement, and the moving segment.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

#include "controls/BarGeometry.h"

namespace {

CRect Span(long left, long right) { return CRect(left, 0, right, 0); }

TEST(BarGeometry, RangeToRectStartsFromTheEdgeEachOrientationGrowsFrom)
{
    const CRect inner(5, 7, 105, 47);   // 100 wide, 40 high
    const CRect range = Span(10, 30);
    EXPECT_EQ(BarRangeToRect(inner, 0, range), CRect(15, 7, 35, 47));
    EXPECT_EQ(BarRangeToRect(inner, SPS_MIRRORED, range), CRect(75, 7, 95, 47));
    EXPECT_EQ(BarRangeToRect(inner, BAR_VERTICAL, range), CRect(5, 17, 105, 37));
    EXPECT_EQ(BarRangeToRect(inner, BAR_VERTICAL | SPS_MIRRORED, Span(0, 12)), CRect(5, 7, 105, 19));
    EXPECT_EQ(BarRangeToRect(inner, BAR_VERTICAL, Span(0, 12)), CRect(5, 35, 105, 47));
    EXPECT_EQ(BarAxisLength(inner, 0), 100);
    EXPECT_EQ(BarAxisLength(inner, BAR_VERTICAL), 40);
}

TEST(BarGeometry, BarEndFollowsThePositionAndIsTruncated)
{
    CRect bar;
    ASSERT_TRUE(ComputeBarRange(274, 37, 0, 100, false, 0, &bar));
    EXPECT_EQ(bar, Span(0, 101));   // 274 * 0.37 = 101.38
    ASSERT_TRUE(ComputeBarRange(274, 0, 0, 100, false, 0, &bar));
    EXPECT_EQ(bar, Span(0, 0));
    ASSERT_TRUE(ComputeBarRange(274, 100, 0, 100, false, 0, &bar));
    EXPECT_EQ(bar, Span(0, 274));
    ASSERT_TRUE(ComputeBarRange(200, -5, -10, 10, false, 0, &bar));
    EXPECT_EQ(bar, Span(0, 50));
}

TEST(BarGeometry, PositionsOutsideTheRangeAndEmptyRangesPaintNoBar)
{
    CRect bar;
    EXPECT_FALSE(ComputeBarRange(100, -1, 0, 100, false, 0, &bar));
    EXPECT_FALSE(ComputeBarRange(100, 101, 0, 100, false, 0, &bar));
    // lower = upper would divide by zero: nothing but the background.
    EXPECT_FALSE(ComputeBarRange(100, 50, 50, 50, false, 0, &bar));
    EXPECT_EQ(BarOffset(100, 50, 50, 50), 0);
    EXPECT_EQ(BarPercent(50, 50, 50), 0);
    // Margins that eat the whole control leave a negative axis: no bar.
    EXPECT_FALSE(ComputeBarRange(-6, 50, 0, 100, false, 0, &bar));
    // Extreme ranges do not overflow.
    ASSERT_TRUE(ComputeBarRange(100, INT_MAX, INT_MIN, INT_MAX, false, 0, &bar));
    EXPECT_EQ(bar, Span(0, 100));
}

TEST(BarGeometry, MovingSegmentStartsAtItsTailWithinTheBar)
{
    CRect bar;
    ASSERT_TRUE(ComputeBarRange(200, 100, 0, 100, true, 60, &bar));
    EXPECT_EQ(bar, Span(120, 200));
    // A tail left over from another range never starts the bar before the axis or after its end.
    ASSERT_TRUE(ComputeBarRange(200, 60, 50, 100, true, 0, &bar));
    EXPECT_EQ(bar, Span(0, 40));
    ASSERT_TRUE(ComputeBarRange(200, 60, 50, 100, true, 90, &bar));
    EXPECT_EQ(bar, Span(40, 40));
}

TEST(BarGeometry, EqualStopsPaintOneSolidBandPerSegment)
{
    const uint32_t blue = 0xE55C4C;
    const auto segments = PlanGradientSegments(Span(0, 274), Span(0, 101), 3);
    ASSERT_EQ(segments.size(), 1u);   // the bar ends inside the first segment
    EXPECT_EQ(segments[0].segment, Span(0, 137));
    EXPECT_EQ(segments[0].clipped, Span(0, 101));
    const CRect& seg = segments[0].segment;
    EXPECT_EQ(GradientStepCount(blue, blue, seg.Width(), false, 32), 1);
    const auto bands = PlanGradientBands(seg, segments[0].clipped, blue, blue, 1);
    ASSERT_EQ(bands.size(), 1u);
    EXPECT_EQ(bands[0].band, Span(0, 101));
    EXPECT_EQ(bands[0].color, blue);
}

TEST(BarGeometry, SegmentsCoverTheSpanExactlyAndStopAtTheClip)
{
    auto segments = PlanGradientSegments(Span(3, 103), Span(3, 103), 4);   // 33.33 per segment
    ASSERT_EQ(segments.size(), 3u);
    EXPECT_EQ(segments[0].segment, Span(3, 36));
    EXPECT_EQ(segments[1].segment, Span(36, 69));
    EXPECT_EQ(segments[2].segment, Span(69, 103));   // the last one ends exactly at the span's end
    EXPECT_EQ(segments[2].index, 2);

    // A moving segment: clip in the middle; segments before it are skipped.
    segments = PlanGradientSegments(Span(0, 100), Span(60, 70), 5);
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0].index, 2);
    EXPECT_EQ(segments[0].clipped, Span(60, 70));

    EXPECT_TRUE(PlanGradientSegments(Span(0, 100), Span(0, 100), 1).empty());
    EXPECT_TRUE(PlanGradientSegments(Span(0, 100), Span(0, 100), 0).empty());
}

TEST(BarGeometry, GradientBandsStartAtTheFirstColourAndNeverOutnumberThePixels)
{
    const uint32_t from = 0x000000, to = 0x0000FF;   // red rises by 255
    EXPECT_EQ(GradientStepCount(from, to, 1000, false, 32), 255);
    EXPECT_EQ(GradientStepCount(from, to, 100, false, 32), 100);
    EXPECT_EQ(GradientStepCount(from, to, 0, false, 32), 1);
    EXPECT_EQ(GradientStepCount(0x102030, 0x0A2040, 500, false, 32), 16);   // largest difference: blue
    // A display of fewer than 8 bits per pixel without a palette gets one solid band...
    EXPECT_EQ(GradientStepCount(from, to, 1000, false, 4), 1);
    // ...but a palette device keeps its bands.
    EXPECT_EQ(GradientStepCount(from, to, 1000, true, 4), 255);

    const auto bands = PlanGradientBands(Span(10, 110), Span(10, 110), from, to, 100);
    ASSERT_EQ(bands.size(), 100u);
    EXPECT_EQ(bands.front().band, Span(10, 11));
    EXPECT_EQ(bands.front().color, from);
    EXPECT_EQ(bands.back().band.right, 110);
    EXPECT_EQ(bands.back().color, 0x0000FCu);   // trunc(99 * 2.55): the end colour itself is not reached
    for (size_t i = 1; i < bands.size(); ++i) {
        EXPECT_EQ(bands[i].band.left, bands[i - 1].band.right);
        EXPECT_GE(bands[i].color & 0xFF, bands[i - 1].color & 0xFF);
    }
}

TEST(BarGeometry, FallingChannelsAndClippedBands)
{
    // White to black over 10 pixels: 10 bands of falling grey; only the clipped part is kept.
    const auto bands = PlanGradientBands(Span(0, 10), Span(3, 6), 0xFFFFFF, 0x000000, 10);
    ASSERT_EQ(bands.size(), 3u);
    EXPECT_EQ(bands[0].band, Span(3, 4));
    EXPECT_EQ(bands[0].color, 0xB3B3B3u);   // 255 - trunc(3 * 25.5)
    EXPECT_EQ(bands[2].band, Span(5, 6));
    // An empty clip paints nothing.
    EXPECT_TRUE(PlanGradientBands(Span(0, 10), Span(0, 0), 0xFFFFFF, 0, 10).empty());
}

TEST(BarGeometry, LabelTextFollowsTheTextMode)
{
    EXPECT_EQ(BarLabelText(0, "ignored", 5, 0, 10), "");
    EXPECT_EQ(BarLabelText(SPS_PERCENT_TEXT, "", 0, 0, 100), "0%");
    EXPECT_EQ(BarLabelText(SPS_PERCENT_TEXT, "", 379, 0, 1000), "37%");   // truncated, not rounded
    EXPECT_EQ(BarLabelText(SPS_PERCENT_TEXT, "Done %d percent", 999, 0, 1000), "Done 99 percent");
    EXPECT_EQ(BarLabelText(SPS_POSITION_TEXT, "", 379, 0, 1000), "379");
    EXPECT_EQ(BarLabelText(SPS_POSITION_TEXT, "%d/1000", -3, -10, 1000), "-3/1000");
    EXPECT_EQ(BarLabelText(SPS_PLAIN_TEXT, "%d%% plain", 1, 0, 2), "%d%% plain");
    EXPECT_EQ(BarLabelText(SPS_PLAIN_TEXT, "", 1, 0, 2), "");
}

TEST(BarGeometry, LabelFormatsFromWindowTextsCannotReadMissingArguments)
{
    EXPECT_EQ(FormatBarLabel("%05d%%", 37), "00037%");
    EXPECT_EQ(FormatBarLabel("%x|%X|%o|%-4d|", 255), "ff|%X|%o|%-4d|");   // only the first is expanded
    EXPECT_EQ(FormatBarLabel("%s %n %p %f %d", 7), "%s %n %p %f 7");
    EXPECT_EQ(FormatBarLabel("%ld and %hd", 7), "7 and %hd");
    EXPECT_EQ(FormatBarLabel("100%", 7), "100%");
    EXPECT_EQ(FormatBarLabel("%", 7), "%");
    // Widths and precisions are capped so the text stays small.
    EXPECT_EQ(FormatBarLabel("%999999999999d", 1).GetLength(), 64);
    EXPECT_EQ(FormatBarLabel("%.999999d", 1).GetLength(), 64);
    // Code page 949 text around the number is copied byte for byte.
    EXPECT_EQ(FormatBarLabel("\xC1\xF8\xC7\xE0 %d%%", 5), "\xC1\xF8\xC7\xE0 5%");
}

TEST(BarGeometry, LabelPlacementFollowsTheFontAngle)
{
    const LabelExtent flat = MeasureLabel(0, 40, 12);
    EXPECT_EQ(flat.w, 40);
    EXPECT_EQ(flat.h, 12);
    EXPECT_EQ(flat.dy, 12);
    const LabelExtent up = MeasureLabel(90, 40, 12);
    EXPECT_EQ(up.w, 12);
    EXPECT_EQ(up.h, 40);
    EXPECT_EQ(up.dx, 12);
    EXPECT_EQ(MeasureLabel(180, 40, 12).dy, -12);
    EXPECT_EQ(MeasureLabel(270, 40, 12).dx, -12);
    const LabelExtent odd = MeasureLabel(45, 40, 12);
    EXPECT_EQ(odd.w, 0);
    EXPECT_EQ(odd.h, 0);
    EXPECT_EQ(odd.dx, 0);
    EXPECT_EQ(odd.dy, 0);

    // The reference point: centre of the box plus half the offset, halves toward zero.
    EXPECT_EQ(LabelOrigin(CRect(10, 20, 111, 31), 0, 12), CPoint(60, 31));
    EXPECT_EQ(LabelOrigin(CRect(0, 0, 10, 10), 0, -13), CPoint(5, -1));

    // Text on the bar only when it fits along the axis.
    EXPECT_TRUE(LabelFitsBar(0, flat, Span(0, 40)));
    EXPECT_FALSE(LabelFitsBar(0, flat, Span(0, 39)));
    EXPECT_TRUE(LabelFitsBar(BAR_VERTICAL, flat, Span(0, 12)));
    EXPECT_FALSE(LabelFitsBar(BAR_VERTICAL, up, Span(0, 39)));
}

TEST(BarGeometry, TwoColouredLabelsSplitAtTheBarEnds)
{
    auto pieces = PlanLabelPieces(Span(0, 200), Span(0, 80), false);
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0].range, Span(0, 80));
    EXPECT_TRUE(pieces[0].onBar);
    EXPECT_EQ(pieces[1].range, Span(80, 200));
    EXPECT_FALSE(pieces[1].onBar);

    // At the lower bound the whole text is over the background.
    pieces = PlanLabelPieces(Span(0, 200), Span(0, 0), false);
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0].range, Span(0, 200));
    EXPECT_FALSE(pieces[0].onBar);

    // A moving segment: bar, then beyond its end, then before its start.
    pieces = PlanLabelPieces(Span(0, 200), Span(50, 120), false);
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[1].range, Span(120, 200));
    EXPECT_EQ(pieces[2].range, Span(0, 50));
    EXPECT_FALSE(pieces[2].onBar);

    pieces = PlanLabelPieces(Span(0, 200), Span(50, 120), true);
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0].range, Span(0, 200));
}

TEST(BarGeometry, MovingSegmentRunsPastTheEndThenWrapsAndTurnsRound)
{
    // Range 0-100, segment 40, step 10, starting at 100 with the tail at 60.
    int current = 100, tail = 60;
    const int heads[] = {110, 120, 130, 140};
    for (int expected : heads) {
        const SegmentAdvance a = ComputeSegmentAdvance(10, true, current, 0, 100, tail, 40);
        EXPECT_EQ(a.head, expected);
        EXPECT_EQ(a.tail, expected - 40);
        EXPECT_TRUE(a.invalidate);
        EXPECT_FALSE(a.toggleMirrored);
        current = std::min(a.head, 100);   // the common control clamps
        tail = a.tail;
    }
    const SegmentAdvance wrap = ComputeSegmentAdvance(10, true, current, 0, 100, tail, 40);
    EXPECT_EQ(wrap.head, 10);
    EXPECT_EQ(wrap.tail, 0);
    EXPECT_TRUE(wrap.toggleMirrored);
}

TEST(BarGeometry, MovingSegmentTakesNegativeStepsForwardAndAbsoluteHeads)
{
    SegmentAdvance a = ComputeSegmentAdvance(-15, true, 30, 0, 100, 0, 40);
    EXPECT_EQ(a.head, 45);
    EXPECT_EQ(a.tail, 5);
    EXPECT_FALSE(a.invalidate);
    a = ComputeSegmentAdvance(20, false, 99, 0, 100, 50, 40);
    EXPECT_EQ(a.head, 20);
    EXPECT_EQ(a.tail, 0);   // never below lower
    // Far beyond one period: the head stops at the end of the run-out.
    a = ComputeSegmentAdvance(1000, false, 0, 0, 100, 0, 40);
    EXPECT_EQ(a.head, 140);
    EXPECT_TRUE(a.toggleMirrored);
    // Extreme values: |INT_MIN| plus the position wraps by one whole period, without overflow.
    a = ComputeSegmentAdvance(INT_MIN, true, INT_MAX, INT_MIN, INT_MAX, 0, 40);
    EXPECT_EQ(a.head, -40);
    EXPECT_EQ(a.tail, -80);
    EXPECT_TRUE(a.toggleMirrored);
}

}  // namespace
