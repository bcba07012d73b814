// The link label on a real static control under a CWnd parent, so the control-colour
// notification is reflected to it as in the dialog; its focus cue.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "controls/LinkLabel.h"
#include "support/GdiCount.h"
#include "support/TestUtil.h"
#include "tests/win/control_host.h"

namespace {

using ctltest::Pixels;
using ctltest::TestParent;

const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kDialogGrey = RGB(236, 233, 216);
const COLORREF kTextGrey = RGB(113, 113, 113);
const COLORREF kRed = RGB(220, 0, 0);
const CRect kBlankArea(150, 0, 200, 20);   // right of the text: background only
const char kDotum[] = "\xB5\xB8\xBF\xF2";   // "돋움"

class LinkLabelControl : public ::testing::Test {
protected:
    ctltest::CommonControls6 m_controls6;   // as in Setup.exe
    void Make(DWORD extraStyle = 0)
    {
        m_parent = std::make_unique<TestParent>(240, 60);
        const HWND hWnd =
            m_parent->CreateChild("STATIC", "MELVORA", SS_LEFT | WS_GROUP | extraStyle, CRect(10, 10, 210, 30), 1011);
        ASSERT_TRUE(m_label.SubclassWindow(hWnd));
        // Solid text pixels, so that colours can be compared exactly.
        m_label.m_logFont.lfQuality = NONANTIALIASED_QUALITY;
    }
    // What the dialog does to its shortcut labels.
    void DialogStyle()
    {
        m_label.ChangeBackgroundColor(0xFFFFFF);
        m_label.ChangeFontFace(kDotum);
        m_label.ChangeFontHeight(12);
        m_label.ChangeTextColor(0x717171);
    }
    HBRUSH BrushForStatic()
    {
        HDC hDC = ::GetDC(m_label);
        const LRESULT brush = m_parent->SendMessage(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(hDC),
                                                    reinterpret_cast<LPARAM>(m_label.GetSafeHwnd()));
        ::ReleaseDC(m_label, hDC);
        return reinterpret_cast<HBRUSH>(brush);
    }
    Pixels Now() { return Pixels::Capture(m_label, false); }

    std::unique_ptr<TestParent> m_parent;
    CLinkLabel m_label;
};

TEST_F(LinkLabelControl, DialogStylePaintsGreyTextOnWhite)
{
    Make();
    DialogStyle();
    const Pixels shot = Pixels::Capture(m_label);
    EXPECT_TRUE(shot.AllOf(kBlankArea, kWhite));
    EXPECT_GT(shot.Count(CRect(0, 0, 150, 20), kTextGrey), 20);
    EXPECT_EQ(std::strcmp(m_label.m_logFont.lfFaceName, kDotum), 0);
}

TEST_F(LinkLabelControl, OnlyTheBackgroundColourWaitsForTheNextPaint)
{
    Make();
    DialogStyle();
    Pixels::Capture(m_label);

    m_label.ChangeBackgroundColor(kDialogGrey);
    EXPECT_TRUE(Now().AllOf(kBlankArea, kWhite));
    m_label.ChangeTextColor(RGB(0, 0, 0));
    EXPECT_TRUE(Now().AllOf(kBlankArea, kDialogGrey));

    m_label.ChangeBackgroundColor(kWhite);
    m_label.ChangeFontFace(kDotum);
    EXPECT_TRUE(Now().AllOf(kBlankArea, kWhite));

    m_label.ChangeBackgroundColor(kDialogGrey);
    m_label.ChangeFontHeight(11);
    EXPECT_TRUE(Now().AllOf(kBlankArea, kDialogGrey));
}

TEST_F(LinkLabelControl, FocusCueFramesTheTextAndSurvivesPartialRepaints)
{
    Make();
    DialogStyle();
    const Pixels plain = Pixels::Capture(m_label);
    m_label.SetFocusCue(true);
    const Pixels cue = Pixels::Capture(m_label);
    EXPECT_GT(CRect(0, 0, 40, 1).Width() - cue.Count(CRect(0, 0, 40, 1), kWhite), 10) << "no dotted top edge";
    EXPECT_TRUE(cue.AllOf(kBlankArea, kWhite)) << "the frame goes round the text, not the whole label";

    // The frame is drawn by inverting: a repaint of part of the label must not invert the
    // rest of it back.
    const CRect part(0, 0, 20, 20);
    m_label.InvalidateRect(&part, TRUE);
    EXPECT_TRUE(Pixels::Capture(m_label) == cue);
    m_label.SetWindowText("MELVORA!");   // a new text repaints it all
    m_label.SetWindowText("MELVORA");
    EXPECT_TRUE(Pixels::Capture(m_label) == cue);

    m_label.SetFocusCue(false);
    EXPECT_TRUE(Pixels::Capture(m_label) == plain);
}

TEST_F(LinkLabelControl, ChangingTheBackgroundTwiceLeavesOneLiveBrush)
{
    Make();
    const HBRUSH first = m_label.m_hBackgroundBrush;
    EXPECT_EQ(BrushForStatic(), first);
    const int before = testutil::CountGdiObjects();
    m_label.ChangeBackgroundColor(0xFFFFFF);
    m_label.ChangeBackgroundColor(0xD8E9EC);
    EXPECT_EQ(testutil::CountGdiObjects(), before);
    EXPECT_EQ(::GetObjectType(first), 0u);
    EXPECT_EQ(BrushForStatic(), m_label.m_hBackgroundBrush);
    LOGBRUSH lb = {};
    ASSERT_EQ(::GetObjectA(m_label.m_hBackgroundBrush, sizeof lb, &lb), int(sizeof lb));
    EXPECT_EQ(lb.lbColor, COLORREF(0xD8E9EC));
}

TEST_F(LinkLabelControl, FontHeightIsInPixelsNotPoints)
{
    Make();
    m_label.ChangeFontFace(kDotum).ChangeFontHeight(12);
    EXPECT_EQ(m_label.m_logFont.lfHeight, -12);
    LOGFONTA lf = {};
    ASSERT_TRUE(m_label.m_font.GetLogFont(&lf));
    EXPECT_EQ(lf.lfHeight, -12);

    HDC hDC = ::GetDC(m_label);
    HGDIOBJ hOld = ::SelectObject(hDC, m_label.m_font.GetSafeHandle());
    TEXTMETRICA tm = {};
    ::GetTextMetricsA(hDC, &tm);
    ::SelectObject(hDC, hOld);
    ::ReleaseDC(m_label, hDC);
    EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, 12);
}

TEST_F(LinkLabelControl, FaceNamesAreCutToTheFieldAtACharacterBoundary)
{
    Make();
    const LONG weight = m_label.m_logFont.lfWeight;
    m_label.ChangeFontFace(CString('A', 40));
    EXPECT_EQ(std::strlen(m_label.m_logFont.lfFaceName), 31u);
    EXPECT_EQ(m_label.m_logFont.lfWeight, weight);

    // 30 bytes, then a two-byte character that would end on byte 32: it is left out whole.
    m_label.ChangeFontFace(CString('B', 30) + kDotum);
    EXPECT_EQ(CString(m_label.m_logFont.lfFaceName), CString('B', 30));

    m_label.ChangeFontFace(CString('C', 29) + kDotum);
    EXPECT_EQ(CString(m_label.m_logFont.lfFaceName), CString('C', 29) + CString(kDotum, 2));
    LOGFONTA lf = {};
    ASSERT_TRUE(m_label.m_font.GetLogFont(&lf));
    EXPECT_EQ(CString(lf.lfFaceName), CString(m_label.m_logFont.lfFaceName));
}

TEST_F(LinkLabelControl, TimerTicksFlashTheTextOrTheBackground)
{
    Make();
    DialogStyle();
    m_label.ChangeFlashColor(kRed);
    Pixels::Capture(m_label);

    // No flashing: a tick only flips the phase.
    m_label.SendMessage(WM_TIMER, 7);
    EXPECT_TRUE(m_label.m_bFlashPhase);
    EXPECT_EQ(m_label.GetWindowText(), "MELVORA");
    EXPECT_TRUE(Now().AllOf(kBlankArea, kWhite));

    // Text: the first tick blanks it, the second shows the flash text.
    m_label.SetFlashText("flash").SetFlashMode(CLinkLabel::FlashText, 100000);
    m_label.SendMessage(WM_TIMER, 1);
    EXPECT_EQ(m_label.GetWindowText(), "");
    m_label.SendMessage(WM_TIMER, 1);
    EXPECT_EQ(m_label.GetWindowText(), "flash");
    m_label.SendMessage(WM_TIMER, 1);
    m_label.SetFlashMode(CLinkLabel::FlashNone);
    EXPECT_EQ(m_label.GetWindowText(), "flash");   // never left blank

    // Background: the flash colour and the background alternate, repainted at each tick.
    m_label.SetFlashMode(CLinkLabel::FlashBackground, 100000);
    EXPECT_TRUE(Now().AllOf(kBlankArea, kRed));
    m_label.SendMessage(WM_TIMER, 1);
    EXPECT_TRUE(Now().AllOf(kBlankArea, kWhite));
    m_label.SendMessage(WM_TIMER, 1);
    EXPECT_TRUE(Now().AllOf(kBlankArea, kRed));
    m_label.SetFlashMode(CLinkLabel::FlashNone);
    EXPECT_TRUE(Now().AllOf(kBlankArea, kWhite));
}

TEST_F(LinkLabelControl, FlashingRunsOnItsOwnTimerUntilStopped)
{
    Make();
    m_label.SetFlashText("MELVORA").SetFlashMode(CLinkLabel::FlashText, 30);
    EXPECT_TRUE(testutil::WaitFor([&] { return m_label.GetWindowText() == ""; }, 3000));
    EXPECT_TRUE(testutil::WaitFor([&] { return m_label.GetWindowText() == "MELVORA"; }, 3000));
    m_label.SetFlashMode(CLinkLabel::FlashNone);
    ::Sleep(100);
    ctltest::PumpMessages();
    EXPECT_EQ(m_label.GetWindowText(), "MELVORA");
    EXPECT_FALSE(m_label.m_bFlashPhase);
}

TEST_F(LinkLabelControl, ItsOwnCursorShowsOverTheLabel)
{
    Make();
    const HCURSOR hHand = ::LoadCursorA(nullptr, IDC_HAND);
    m_label.SetLinkCursor(hHand);
    EXPECT_EQ(m_label.SendMessage(WM_SETCURSOR, reinterpret_cast<WPARAM>(m_label.GetSafeHwnd()),
                                  MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
              TRUE);
    EXPECT_EQ(::GetCursor(), hHand);
}

TEST_F(LinkLabelControl, AClickOpensItsTextWithTheShellOnlyWhenTheStaticTakesClicks)
{
    testutil::ScopedTempDir dir;
    const std::string marker = dir / "opened.txt";
    const std::string script = dir / "open.bat";
    ASSERT_TRUE(testutil::WriteFileBytes(script, "@echo off\r\necho opened> \"" + marker + "\"\r\n"));

    // As in the dialog: without SS_NOTIFY the static lets the click through to its parent.
    Make();
    m_label.SetWindowText(script.c_str());
    ctltest::Click(m_label, POINT{5, 5});
    ::Sleep(1000);
    EXPECT_FALSE(testutil::FileExists(marker));

    m_label.UnsubclassWindow();
    Make(SS_NOTIFY);
    m_label.SetWindowText(script.c_str());
    ctltest::Click(m_label, POINT{5, 5});
    EXPECT_TRUE(testutil::WaitFor([&] { return testutil::FileExists(marker); }, 15000));
}

TEST_F(LinkLabelControl, PaintingAndRestylingAThousandTimesLeaksNoGdiObject)
{
    Make();
    DialogStyle();
    Pixels::Capture(m_label);
    const int before = testutil::CountGdiObjects();
    ASSERT_GT(before, 0);
    for (int i = 0; i < 1000; ++i) {
        m_label.ChangeBackgroundColor(i % 2 ? kWhite : kDialogGrey);
        m_label.ChangeFlashColor(kRed);
        m_label.ChangeFontHeight(11 + i % 3);
        m_label.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    }
    ctltest::PumpMessages();
    EXPECT_EQ(testutil::CountGdiObjects(), before);
}

}  // namespace
