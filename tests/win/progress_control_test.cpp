// The skinned progress bar in a real window: what it paints, read back from the screen, and
// how it answers the progress messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "controls/MemDC.h"
#include "controls/SkinProgressCtrl.h"
#include "support/GdiCount.h"
#include "tests/win/control_host.h"

namespace {

using ctltest::Pixels;
using ctltest::TestParent;

const COLORREF kGrey = RGB(236, 236, 236);
const COLORREF kBlue = RGB(76, 92, 229);
const COLORREF kRed = RGB(255, 0, 0);
const COLORREF kGreen = RGB(0, 160, 0);
const COLORREF kWhite = RGB(255, 255, 255);

using TestBar = CSkinProgressCtrl;

class ProgressControl : public ::testing::Test {
protected:
    ctltest::CommonControls6 m_controls6;   // as in Setup.exe
    // A bar of the given client size; WS_BORDER as in the dialog.
    void Make(DWORD style, int width, int height)
    {
        m_parent = std::make_unique<TestParent>(width + 40, height + 40);
        const HWND hWnd = m_parent->CreateChild(PROGRESS_CLASSA, "", WS_BORDER | PBS_SMOOTH | style,
                                                CRect(20, 20, 22 + width, 22 + height), 1009);
        ASSERT_TRUE(m_bar.SubclassWindow(hWnd));
        ASSERT_EQ(m_bar.GetClientRect().Width(), width);
    }
    // What the wizard does to its bar when it starts.
    void DialogSettings()
    {
        m_bar.SetBackgroundColor(0xECECEC);
        m_bar.SendMessage(PBM_SETRANGE32, 0, 100);
        m_bar.SendMessage(PBM_SETSTEP, 1);
        m_bar.SetBarColors(3, 0xE55C4C, 0xE55C4C, 0xE55C4C);
        m_bar.Invalidate();
    }
    void TwoColourText(const char* text, int height, int escapement)
    {
        m_font = ::CreateFontA(-height, 0, escapement, escapement, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0,
                               NONANTIALIASED_QUALITY, 0, "NanumGothic");
        m_bar.SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(m_font), FALSE);
        m_bar.SetWindowText(text);
        m_bar.SetTextColors(kRed, kGreen);
        m_bar.SetBackgroundColor(kWhite);
        m_bar.SetBarColors(2, kBlue, kBlue);
    }
    Pixels Shot() { return Pixels::Capture(m_bar); }

    void TearDown() override
    {
        if (m_font)
            ::DeleteObject(m_font);
    }

    std::unique_ptr<TestParent> m_parent;
    TestBar m_bar;
    HFONT m_font = nullptr;
};

TEST_F(ProgressControl, DialogSettingsPaintASolidBarEndingWhereThePositionSays)
{
    Make(0, 274, 9);
    DialogSettings();
    for (int pos : {0, 1, 37, 99, 100}) {
        m_bar.SetPos(pos);
        const Pixels shot = Shot();
        const int end = 274 * pos / 100;
        EXPECT_TRUE(shot.AllOf(CRect(0, 0, end, 9), kBlue)) << "position " << pos;
        EXPECT_TRUE(shot.AllOf(CRect(end, 0, 274, 9), kGrey)) << "position " << pos;
    }
}

TEST_F(ProgressControl, SetBarColorMessageGivesASolidBarAndBackgroundMessageRepaintsNothing)
{
    Make(0, 100, 8);
    DialogSettings();
    m_bar.SetPos(50);
    EXPECT_EQ(m_bar.SendMessage(PBM_SETBARCOLOR, 0, RGB(10, 200, 30)), LRESULT(CLR_DEFAULT));
    ASSERT_EQ(m_bar.m_barColors.GetSize(), 2);
    EXPECT_EQ(m_bar.SendMessage(CCM_SETBKCOLOR, 0, RGB(1, 2, 3)), LRESULT(CLR_DEFAULT));
    EXPECT_EQ(m_bar.m_clrBackground, RGB(1, 2, 3));

    // Neither message reaches the common control, which would repaint itself.
    Shot();
    m_bar.SendMessage(PBM_SETBARCOLOR, RGB(0, 0, 99), RGB(99, 0, 0));
    m_bar.SendMessage(CCM_SETBKCOLOR, 0, RGB(4, 5, 6));
    EXPECT_FALSE(::GetUpdateRect(m_bar, nullptr, FALSE));

    m_bar.SendMessage(PBM_SETBARCOLOR, 0, RGB(10, 200, 30));
    m_bar.Invalidate();
    const Pixels shot = Shot();
    EXPECT_TRUE(shot.AllOf(CRect(0, 0, 50, 8), RGB(10, 200, 30)));
    EXPECT_TRUE(shot.AllOf(CRect(50, 0, 100, 8), RGB(4, 5, 6)));
}

TEST_F(ProgressControl, GradientStartsAtTheFirstStopAndStretchesOnlyWhenAsked)
{
    Make(0, 200, 6);
    m_bar.SetRange32(0, 100);
    m_bar.SetBarColors(2, RGB(255, 0, 0), RGB(0, 0, 255));
    m_bar.SetPos(100);
    Pixels shot = Shot();
    EXPECT_EQ(shot.At(0, 3), RGB(255, 0, 0));
    for (int x = 1; x < 200; ++x)
        ASSERT_LE(GetRValue(shot.At(x, 3)), GetRValue(shot.At(x - 1, 3))) << "column " << x;
    EXPECT_LT(GetRValue(shot.At(199, 3)), 3);
    EXPECT_GT(GetBValue(shot.At(199, 3)), 252);

    // Half way: the gradient lies over the whole length and the bar uncovers its first half...
    m_bar.SetPos(50);
    shot = Shot();
    EXPECT_GT(GetRValue(shot.At(99, 3)), 100);
    // ...unless it stretches with the bar.
    m_bar.ModifyStyle(0, SPS_STRETCH_GRADIENT);
    m_bar.Invalidate();
    shot = Shot();
    EXPECT_EQ(shot.At(0, 3), RGB(255, 0, 0));
    EXPECT_LT(GetRValue(shot.At(99, 3)), 8);
}

TEST_F(ProgressControl, MirroredAndVerticalBarsGrowFromTheirOwnEdges)
{
    Make(SPS_MIRRORED, 100, 8);
    DialogSettings();
    m_bar.SetPos(60);
    Pixels shot = Shot();
    EXPECT_TRUE(shot.AllOf(CRect(40, 0, 100, 8), kBlue));
    EXPECT_TRUE(shot.AllOf(CRect(0, 0, 40, 8), kGrey));

    m_bar.UnsubclassWindow();
    Make(PBS_VERTICAL, 8, 100);
    DialogSettings();
    m_bar.SetPos(25);
    shot = Shot();
    EXPECT_TRUE(shot.AllOf(CRect(0, 75, 8, 100), kBlue));
    EXPECT_TRUE(shot.AllOf(CRect(0, 0, 8, 75), kGrey));

    m_bar.ModifyStyle(0, SPS_MIRRORED);
    m_bar.Invalidate();
    shot = Shot();
    EXPECT_TRUE(shot.AllOf(CRect(0, 0, 8, 25), kBlue));
    EXPECT_TRUE(shot.AllOf(CRect(0, 25, 8, 100), kGrey));
}

TEST_F(ProgressControl, MarginsAndBrushes)
{
    Make(0, 100, 12);
    DialogSettings();
    m_bar.SetMargins(CRect(10, 2, 10, 3));
    m_bar.SetPos(100);
    Pixels shot = Shot();
    EXPECT_TRUE(shot.AllOf(CRect(10, 2, 90, 9), kBlue));
    EXPECT_EQ(shot.Count(CRect(0, 0, 100, 12), kBlue), 80 * 7);

    CBrush barBrush(RGB(200, 10, 10)), backBrush(RGB(10, 10, 200));
    m_bar.SetBarBrush(&barBrush);
    m_bar.SetBackgroundBrush(&backBrush);
    m_bar.SetPos(50);
    shot = Shot();
    EXPECT_TRUE(shot.AllOf(CRect(10, 2, 50, 9), RGB(200, 10, 10)));
    EXPECT_TRUE(shot.AllOf(CRect(50, 0, 100, 12), RGB(10, 10, 200)));
    EXPECT_TRUE(shot.AllOf(CRect(0, 0, 10, 12), RGB(10, 10, 200)));
    m_bar.SetBarBrush(nullptr);
    m_bar.SetBackgroundBrush(nullptr);
}

TEST_F(ProgressControl, AnEmptyRangePaintsOnlyTheBackground)
{
    Make(SPS_PERCENT_TEXT, 120, 20);
    DialogSettings();
    m_bar.SetRange32(50, 50);
    int lower = 0, upper = 0;
    m_bar.GetRange(lower, upper);
    ASSERT_EQ(lower, 50);
    ASSERT_EQ(upper, 50);
    m_bar.SetPos(50);
    EXPECT_TRUE(Shot().AllOf(CRect(0, 0, 120, 20), kGrey));
}

TEST_F(ProgressControl, TextColoursSplitAtTheBarsEnd)
{
    Make(SPS_PLAIN_TEXT, 300, 40);
    m_bar.SetRange32(0, 100);
    TwoColourText("WWWWWWWWWW", 30, 0);
    m_bar.SetPos(50);
    Pixels shot = Shot();
    EXPECT_GT(shot.Count(CRect(0, 0, 150, 40), kRed), 20);
    EXPECT_EQ(shot.Count(CRect(150, 0, 300, 40), kRed), 0);
    EXPECT_GT(shot.Count(CRect(150, 0, 300, 40), kGreen), 20);
    EXPECT_EQ(shot.Count(CRect(0, 0, 150, 40), kGreen), 0);

    // At the lower bound the whole text is in the background's colour.
    m_bar.SetPos(0);
    shot = Shot();
    EXPECT_EQ(shot.Count(CRect(0, 0, 300, 40), kRed), 0);
    EXPECT_GT(shot.Count(CRect(0, 0, 300, 40), kGreen), 40);

    // Text that rides in the bar and does not fit is not drawn at all.
    m_bar.ModifyStyle(0, SPS_TEXT_ON_BAR);
    m_bar.SetPos(50);
    shot = Shot();
    EXPECT_EQ(shot.Count(CRect(0, 0, 300, 40), kRed) + shot.Count(CRect(0, 0, 300, 40), kGreen), 0);
    // When it fits, it is centred in the bar, in the bar's colour.
    m_bar.SetWindowText("W");
    m_bar.SetPos(100);
    shot = Shot();
    EXPECT_GT(shot.Count(CRect(120, 0, 180, 40), kRed), 10);
    EXPECT_EQ(shot.Count(CRect(0, 0, 120, 40), kRed) + shot.Count(CRect(180, 0, 300, 40), kRed), 0);
}

TEST_F(ProgressControl, RotatedTextOnAVerticalBarSplitsAlongItsHeight)
{
    Make(SPS_PERCENT_TEXT | PBS_VERTICAL, 40, 300);
    m_bar.SetRange32(0, 1000);
    TwoColourText("", 30, 900);
    m_bar.SetWindowText("WW%dWW");
    m_bar.SetPos(500);
    const Pixels shot = Shot();
    // The bar grows from the bottom: bar text below row 150, background text above.
    EXPECT_GT(shot.Count(CRect(0, 150, 40, 300), kRed), 20);
    EXPECT_EQ(shot.Count(CRect(0, 0, 40, 150), kRed), 0);
    EXPECT_GT(shot.Count(CRect(0, 0, 40, 150), kGreen), 20);
    EXPECT_EQ(shot.Count(CRect(0, 150, 40, 300), kGreen), 0);
    // Written upwards, the text is taller than wide.
    long top = 300, bottom = 0, left = 40, right = 0;
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 40; ++x)
            if (shot.At(x, y) == kRed || shot.At(x, y) == kGreen) {
                top = std::min<long>(top, y);
                bottom = std::max<long>(bottom, y);
                left = std::min<long>(left, x);
                right = std::max<long>(right, x);
            }
    EXPECT_GT(bottom - top, 3 * (right - left));
}

TEST_F(ProgressControl, StepMessagesAndTheMovingSegmentSequence)
{
    Make(SPS_MOVING_SEGMENT, 200, 8);
    DialogSettings();
    EXPECT_EQ(m_bar.SendMessage(PBM_SETSTEP, 10), 1);   // the common control's previous step
    EXPECT_EQ(m_bar.m_nStep, 10);
    m_bar.SendMessage(PBM_SETPOS, 100);
    EXPECT_EQ(m_bar.m_nSegmentTail, 60);

    for (int head = 110; head <= 140; head += 10) {
        m_bar.SendMessage(PBM_STEPIT);
        EXPECT_EQ(m_bar.m_nSegmentTail, head - 40);
        EXPECT_EQ(m_bar.GetPos(), 100);
        EXPECT_FALSE(m_bar.GetStyle() & SPS_MIRRORED);
        if (head == 110) {
            // The segment shrinks into the end: from its tail at 70 to the end.
            const Pixels shot = Shot();
            EXPECT_TRUE(shot.AllOf(CRect(140, 0, 200, 8), kBlue));
            EXPECT_TRUE(shot.AllOf(CRect(0, 0, 140, 8), kGrey));
        }
    }
    m_bar.SendMessage(PBM_STEPIT);
    EXPECT_EQ(m_bar.GetPos(), 10);
    EXPECT_EQ(m_bar.m_nSegmentTail, 0);
    EXPECT_TRUE(m_bar.GetStyle() & SPS_MIRRORED);
    // It comes back from the other side.
    Pixels shot = Shot();
    EXPECT_TRUE(shot.AllOf(CRect(180, 0, 200, 8), kBlue));
    EXPECT_TRUE(shot.AllOf(CRect(0, 0, 180, 8), kGrey));

    // A segment in the middle: from its tail to its head.
    m_bar.ModifyStyle(SPS_MIRRORED, 0);
    m_bar.SendMessage(PBM_SETPOS, 70);
    EXPECT_EQ(m_bar.m_nSegmentTail, 30);
    shot = Shot();
    EXPECT_TRUE(shot.AllOf(CRect(60, 0, 140, 8), kBlue));
    EXPECT_TRUE(shot.AllOf(CRect(0, 0, 60, 8), kGrey));
    EXPECT_TRUE(shot.AllOf(CRect(140, 0, 200, 8), kGrey));

    // Without the style the messages are the common control's own.
    m_bar.ModifyStyle(SPS_MOVING_SEGMENT, 0);
    m_bar.SendMessage(PBM_SETPOS, 20);
    EXPECT_EQ(m_bar.SendMessage(PBM_STEPIT), 20);
    EXPECT_EQ(m_bar.GetPos(), 30);
    EXPECT_EQ(m_bar.m_nSegmentTail, 30);
}

// Records what the paint path hands to the steps a further subclass may replace.
class RecordingBar : public CSkinProgressCtrl {
public:
    struct Span {
        CRect segment, clip;
        COLORREF from, to;
    };
    std::vector<Span> spans;
    std::vector<CRect> labelRanges;

protected:
    void PaintGradientSpan(const BarPaintState&, const CRect& segment, const CRect& clip, COLORREF from,
                           COLORREF to) override
    {
        spans.push_back({segment, clip, from, to});
    }
    void PaintLabel(const BarPaintState& state, const CRect& full, const CRect& bar) override
    {
        labelRanges = {full, bar, state.rcInner};
    }
};

TEST(ProgressPaintSteps, SubclassesReceiveTheSegmentsAndRangesOfEachPaint)
{
    ctltest::CommonControls6 controls6;
    TestParent parent(240, 40);
    RecordingBar bar;
    ASSERT_TRUE(bar.SubclassWindow(parent.CreateChild(PROGRESS_CLASSA, "", 0, CRect(10, 10, 210, 20), 1)));
    bar.SetRange32(0, 100);
    bar.SetBarColors(3, RGB(1, 1, 1), RGB(2, 2, 2), RGB(3, 3, 3));
    bar.SetMargins(CRect(4, 1, 4, 1));   // 192 pixels along the bar
    bar.SetPos(25);
    bar.spans.clear();
    bar.Invalidate();
    Pixels::Capture(bar);
    // The gradient lies over the whole length; only its first segment reaches into the bar.
    ASSERT_EQ(bar.spans.size(), 1u);
    EXPECT_EQ(bar.spans[0].segment, CRect(0, 0, 96, 0));
    EXPECT_EQ(bar.spans[0].clip, CRect(0, 0, 48, 0));
    EXPECT_EQ(bar.spans[0].from, RGB(1, 1, 1));
    EXPECT_EQ(bar.spans[0].to, RGB(2, 2, 2));
    ASSERT_EQ(bar.labelRanges.size(), 3u);
    EXPECT_EQ(bar.labelRanges[0], CRect(0, 0, 192, 0));
    EXPECT_EQ(bar.labelRanges[1], CRect(0, 0, 48, 0));
    EXPECT_EQ(bar.labelRanges[2], CRect(4, 1, 196, 9));

    // Stretched, both segments share the bar.
    bar.ModifyStyle(0, SPS_STRETCH_GRADIENT);
    bar.spans.clear();
    bar.Invalidate();
    Pixels::Capture(bar);
    ASSERT_EQ(bar.spans.size(), 2u);
    EXPECT_EQ(bar.spans[0].segment, CRect(0, 0, 24, 0));
    EXPECT_EQ(bar.spans[1].segment, CRect(24, 0, 48, 0));
    EXPECT_EQ(bar.spans[1].to, RGB(3, 3, 3));
    bar.UnsubclassWindow();
}

TEST_F(ProgressControl, PaintingAThousandTimesLeaksNoGdiObject)
{
    Make(SPS_PERCENT_TEXT | SPS_STRETCH_GRADIENT, 200, 30);
    TwoColourText("", 20, 0);
    m_bar.SetBarColors(4, RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(9, 9, 9));
    m_bar.SetMargins(CRect(2, 2, 2, 2));
    for (int i = 0; i < 5; ++i) {
        m_bar.SetPos(i * 10);
        Shot();
    }
    const int before = testutil::CountGdiObjects();
    ASSERT_GT(before, 0);
    for (int i = 0; i < 1000; ++i) {
        m_bar.SendMessage(PBM_SETPOS, WPARAM(i % 101));
        m_bar.UpdateWindow();
    }
    m_bar.ModifyStyle(0, SPS_MOVING_SEGMENT | SPS_TEXT_ON_BAR);
    for (int i = 0; i < 200; ++i) {
        m_bar.SendMessage(PBM_STEPIT);
        m_bar.UpdateWindow();
    }
    EXPECT_EQ(testutil::CountGdiObjects(), before);
}

// A DC that says it is printing, as a printer's would.
class PrinterLikeDC : public CDC {
public:
    explicit PrinterLikeDC(HDC hDC)
    {
        m_hDC = m_hAttribDC = hDC;
        m_bPrinting = TRUE;
    }
    ~PrinterLikeDC() override { Detach(); }
};

TEST(MemDC, DrawsOffScreenAndCopiesItsClipBoxInOneBlockAtTheEnd)
{
    HDC hScreen = ::GetDC(nullptr);
    CDC target;
    target.CreateCompatibleDC(hScreen);
    CBitmap bitmap;
    bitmap.CreateCompatibleBitmap(hScreen, 50, 50);
    ::ReleaseDC(nullptr, hScreen);
    CSelectObjectGuard select(target, bitmap.GetSafeHandle());
    target.FillSolidRect(CRect(0, 0, 50, 50), kWhite);
    ::IntersectClipRect(target, 10, 20, 30, 40);

    {
        CMemDC mem(&target);
        EXPECT_TRUE(mem.m_bMemDC);
        EXPECT_EQ(mem.m_rect, CRect(10, 20, 30, 40));
        EXPECT_NE(mem.GetSafeHdc(), target.GetSafeHdc());
        mem.FillSolidRect(CRect(0, 0, 50, 50), kRed);   // in the target's coordinates
        mem.FillSolidRect(CRect(10, 20, 11, 21), kGreen);
        EXPECT_EQ(::GetPixel(target, 15, 25), kWhite);   // nothing shows before the end
    }
    ::SelectClipRgn(target, nullptr);
    EXPECT_EQ(::GetPixel(target, 10, 20), kGreen);
    EXPECT_EQ(::GetPixel(target, 29, 39), kRed);
    EXPECT_EQ(::GetPixel(target, 9, 20), kWhite);   // outside the clip box: untouched
    EXPECT_EQ(::GetPixel(target, 30, 39), kWhite);
}

TEST(MemDC, OnAPrinterDrawsStraightThroughAndLeavesTheDCAlive)
{
    HDC hScreen = ::GetDC(nullptr);
    HDC hPrinter = ::CreateCompatibleDC(hScreen);
    HBITMAP hBitmap = ::CreateCompatibleBitmap(hScreen, 20, 20);
    ::ReleaseDC(nullptr, hScreen);
    HGDIOBJ hOld = ::SelectObject(hPrinter, hBitmap);
    {
        PrinterLikeDC printer(hPrinter);
        CMemDC mem(&printer);
        EXPECT_FALSE(mem.m_bMemDC);
        EXPECT_TRUE(mem.IsPrinting());
        EXPECT_EQ(mem.GetSafeHdc(), hPrinter);
        mem.FillSolidRect(CRect(0, 0, 20, 20), kGreen);
        EXPECT_EQ(::GetPixel(hPrinter, 5, 5), kGreen);   // already there
    }
    EXPECT_EQ(::GetObjectType(hPrinter), DWORD(OBJ_MEMDC));
    ::SelectObject(hPrinter, hOld);
    ::DeleteObject(hBitmap);
    ::DeleteDC(hPrinter);
}

}  // namespace
