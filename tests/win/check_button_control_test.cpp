// The skinned check box: created as the dialog creates it, clicked with the real mouse and
// pressed with Space, its pixels compared with the two bitmaps, its label showing the
// keyboard focus, and what assistive technology is told about it.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <oleacc.h>

#include <memory>

#include "controls/LinkLabel.h"
#include "controls/SkinCheckButton.h"
#include "res/resource.h"
#include "support/GdiCount.h"
#include "tests/win/control_host.h"

namespace {

using ctltest::Pixels;
using ctltest::TestParent;

const COLORREF kMagenta = RGB(255, 0, 255);

class CheckButtonControl : public ::testing::Test {
protected:
    // As in Setup.exe; a test may drop it to get the system's own button.
    std::unique_ptr<ctltest::CommonControls6> m_controls6 = std::make_unique<ctltest::CommonControls6>();
    void SetUp() override
    {
        m_parent = std::make_unique<TestParent>(120, 80);
        m_button = std::make_unique<CSkinCheckButton>(IDB_CHECK_ON, IDB_CHECK_OFF);
        // As the dialog does: an empty rectangle, then placed, sized and hidden until its page shows.
        ASSERT_TRUE(m_button->Create("o", WS_CHILD | WS_VISIBLE, CRect(), m_parent.get(), IDC_DESKTOP_CHECK));
        m_button->SetWindowPos(HWND_TOP, 30, 20, 12, 12, SWP_HIDEWINDOW);
        m_button->ShowWindow(SW_SHOW);
    }
    void TearDown() override
    {
        m_button.reset();
        m_parent.reset();
    }

    // True when the top-left 12 x 12 pixels of the button show the bitmap.
    bool Shows(UINT bitmapId, const Pixels& shot) const
    {
        int width = 0, height = 0;
        const std::vector<COLORREF> expected = ctltest::BitmapPixels(bitmapId, &width, &height);
        if (width != 12 || height != 12 || shot.Width() < 12 || shot.Height() < 12)
            return false;
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 12; ++x)
                if (shot.At(x, y) != expected[size_t(y) * 12 + x])
                    return false;
        return true;
    }
    POINT Centre() const { return POINT{6, 6}; }
    // A label beside the box, as on the finish page.
    void AddLabel(const char* text)
    {
        ASSERT_TRUE(m_label.SubclassWindow(
            m_parent->CreateChild("STATIC", text, SS_LEFT, CRect(45, 18, 115, 34), IDC_DESKTOP_LABEL)));
        m_label.ChangeBackgroundColor(0xFFFFFF);
        m_button->SetLabel(&m_label);
    }

    std::unique_ptr<TestParent> m_parent;
    CLinkLabel m_label;   // outlives the box's window
    std::unique_ptr<CSkinCheckButton> m_button;
};

TEST_F(CheckButtonControl, StartsCheckedAndEachClickFlipsAndRepaintsIt)
{
    // The button underneath is the common controls 6 one, as in Setup.exe (only it knows this).
    SIZE ideal = {};
    ASSERT_TRUE(m_button->SendMessage(BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal)));
    // The states are told apart by these pixels.
    int w = 0, h = 0;
    ASSERT_NE(ctltest::BitmapPixels(IDB_CHECK_ON, &w, &h), ctltest::BitmapPixels(IDB_CHECK_OFF, &w, &h));

    EXPECT_TRUE(m_button->m_bChecked);
    EXPECT_TRUE(Shows(IDB_CHECK_ON, Pixels::Capture(*m_button)));

    ctltest::Click(*m_button, Centre());
    EXPECT_FALSE(m_button->m_bChecked);
    EXPECT_TRUE(Shows(IDB_CHECK_OFF, Pixels::Capture(*m_button)));

    ctltest::Click(*m_button, Centre());
    EXPECT_TRUE(m_button->m_bChecked);
    EXPECT_TRUE(Shows(IDB_CHECK_ON, Pixels::Capture(*m_button)));

    // The button handled its own clicks: the parent heard none of them.
    EXPECT_TRUE(m_parent->m_commands.empty());
}

TEST_F(CheckButtonControl, StateSurvivesHidingAndShowing)
{
    ctltest::Click(*m_button, Centre());
    m_button->ShowWindow(SW_HIDE);
    m_button->ShowWindow(SW_SHOW);
    EXPECT_FALSE(m_button->m_bChecked);
    EXPECT_TRUE(Shows(IDB_CHECK_OFF, Pixels::Capture(*m_button)));
}

TEST_F(CheckButtonControl, FocusAndPressedStatesNeverShowTheSystemButton)
{
    // Both buttons the box may sit on: the common controls 6 one of Setup.exe, and the
    // system's own, which draws its focus and pressed looks straight into the window.
    m_controls6.reset();
    CSkinCheckButton plain(IDB_CHECK_ON, IDB_CHECK_OFF);
    ASSERT_TRUE(plain.Create("o", WS_CHILD | WS_VISIBLE, CRect(), m_parent.get(), IDC_STARTMENU_CHECK));
    plain.SetWindowPos(HWND_TOP, 60, 20, 12, 12, SWP_SHOWWINDOW);
    for (CSkinCheckButton* button : {m_button.get(), &plain}) {
        Pixels::Capture(*button);
        ::SetFocus(*button);
        EXPECT_TRUE(Shows(IDB_CHECK_ON, Pixels::Capture(*button, false)));
        button->SendMessage(BM_SETSTATE, TRUE);
        EXPECT_TRUE(Shows(IDB_CHECK_ON, Pixels::Capture(*button, false)));
        button->SendMessage(BM_SETSTATE, FALSE);
        ::SetFocus(*m_parent);
        EXPECT_TRUE(Shows(IDB_CHECK_ON, Pixels::Capture(*button, false)));
    }
}

TEST_F(CheckButtonControl, SpaceTogglesOncePerPressAndOnlyKeyboardFocusShowsOnTheLabel)
{
    AddLabel("desktop");
    const Pixels plain = Pixels::Capture(m_label);

    // A click takes the focus but shows no cue: mouse users see what they always saw.
    ctltest::Click(*m_button, Centre());
    ASSERT_EQ(::GetFocus(), m_button->GetSafeHwnd());
    EXPECT_FALSE(m_button->m_bChecked);
    EXPECT_TRUE(Pixels::Capture(m_label) == plain);

    ctltest::PressKey(VK_SPACE);
    EXPECT_TRUE(m_button->m_bChecked);
    EXPECT_TRUE(Shows(IDB_CHECK_ON, Pixels::Capture(*m_button)));
    const Pixels cue = Pixels::Capture(m_label);
    EXPECT_FALSE(cue == plain) << "the keyboard is in use: the label shows the focus";
    ctltest::PressKey(VK_SPACE, 2);   // held down, then released: one toggle
    EXPECT_FALSE(m_button->m_bChecked);
    EXPECT_TRUE(Shows(IDB_CHECK_OFF, Pixels::Capture(*m_button)));

    // The system's keyboard cues rule.
    m_button->SendMessage(WM_UPDATEUISTATE, MAKEWPARAM(UIS_SET, UISF_HIDEFOCUS));
    EXPECT_TRUE(Pixels::Capture(m_label) == plain);
    m_button->SendMessage(WM_UPDATEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS));
    EXPECT_TRUE(Pixels::Capture(m_label) == cue);

    ::SetFocus(*m_parent);
    EXPECT_TRUE(Pixels::Capture(m_label) == plain);
    // Moved in from another window of the parent without a click, as Tab does.
    ::SetFocus(*m_button);
    EXPECT_TRUE(Pixels::Capture(m_label) == cue);
    EXPECT_TRUE(Shows(IDB_CHECK_OFF, Pixels::Capture(*m_button)));
    EXPECT_TRUE(m_parent->m_commands.empty());
}

TEST_F(CheckButtonControl, AssistiveTechnologySeesACheckBoxNamedByItsLabel)
{
    ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
    AddLabel("바탕화면");
    IAccessible* pAcc = nullptr;
    ASSERT_EQ(::AccessibleObjectFromWindow(*m_button, DWORD(OBJID_CLIENT), __uuidof(IAccessible),
                                           reinterpret_cast<void**>(&pAcc)),
              S_OK);
    VARIANT self, value;
    ::VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    auto state = [&] {
        ::VariantInit(&value);
        EXPECT_EQ(pAcc->get_accState(self, &value), S_OK);
        return value.vt == VT_I4 ? value.lVal : -1;
    };
    BSTR name = nullptr;
    ASSERT_EQ(pAcc->get_accName(self, &name), S_OK);
    EXPECT_STREQ(name, L"바탕화면");
    ::SysFreeString(name);
    ::VariantInit(&value);
    ASSERT_EQ(pAcc->get_accRole(self, &value), S_OK);
    EXPECT_EQ(value.vt, VT_I4);
    EXPECT_EQ(value.lVal, ROLE_SYSTEM_CHECKBUTTON);
    EXPECT_EQ(state(), STATE_SYSTEM_CHECKED | STATE_SYSTEM_FOCUSABLE);
    ctltest::Click(*m_button, Centre());
    EXPECT_EQ(state(), STATE_SYSTEM_FOCUSED | STATE_SYSTEM_FOCUSABLE);

    // A client may keep the object longer than the box lives: it then fails, reading nothing.
    m_button.reset();
    EXPECT_TRUE(FAILED(pAcc->get_accState(self, &value)));
    name = nullptr;
    EXPECT_TRUE(FAILED(pAcc->get_accName(self, &name)));
    EXPECT_EQ(name, nullptr);
    pAcc->Release();
    ::CoUninitialize();
}

TEST_F(CheckButtonControl, ALargerButtonIsPaintedOnlyInItsTopLeftBox)
{
    m_button->SetWindowPos(nullptr, 30, 20, 40, 30, SWP_NOZORDER);
    Pixels::Capture(*m_button);
    // Paint the whole window magenta behind the control's back, then let it repaint.
    HDC hDC = ::GetDC(*m_button);
    HBRUSH hBrush = ::CreateSolidBrush(kMagenta);
    const CRect all(0, 0, 40, 30);
    ::FillRect(hDC, &all, hBrush);
    ::DeleteObject(hBrush);
    ::ReleaseDC(*m_button, hDC);
    m_button->InvalidateRect(nullptr, FALSE);
    const Pixels shot = Pixels::Capture(*m_button);
    EXPECT_TRUE(Shows(IDB_CHECK_ON, shot));
    EXPECT_EQ(shot.Count(all, kMagenta), 40 * 30 - 12 * 12);
}

TEST_F(CheckButtonControl, PaintingAThousandTimesLeaksNoGdiObject)
{
    Pixels::Capture(*m_button);
    const int before = testutil::CountGdiObjects();
    ASSERT_GT(before, 0);
    for (int i = 0; i < 1000; ++i) {
        m_button->m_bChecked = (i % 2) != 0;
        m_button->InvalidateRect(nullptr, TRUE);
        m_button->UpdateWindow();
    }
    EXPECT_EQ(testutil::CountGdiObjects(), before);
}

}  // namespace
