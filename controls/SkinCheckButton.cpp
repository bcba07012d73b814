#include "SkinCheckButton.h"

#include "CBitmap.h"
#include "CDC.h"
#include "CheckBoxAccessible.h"
#include "LinkLabel.h"

namespace {

const int kBoxSize = 12;

// Messages on which the system button draws itself straight into the window, outside
// WM_PAINT (pushed state, focus rectangle, enabling, keyboard cues).
bool DrawsOutsidePaint(UINT message)
{
    return message == BM_SETSTATE || message == WM_SETFOCUS || message == WM_KILLFOCUS ||
           message == WM_ENABLE || message == WM_UPDATEUISTATE || message == BM_SETSTYLE;
}

}  // namespace

BOOL CSkinCheckButton::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    // A click, or Space released over the focused box (the push button underneath reports
    // both the same way, once per press).
    if (IsReflectedCommand(message, wParam, BN_CLICKED)) {
        m_bChecked = !m_bChecked;
        InvalidateRect(nullptr, TRUE);
        *pResult = 0;
        return TRUE;
    }
    switch (message) {
    case BM_GETCHECK:
        // The box keeps its own state; answer as a check box would, so accessibility
        // tools and test drivers can read it.
        *pResult = m_bChecked ? BST_CHECKED : BST_UNCHECKED;
        return TRUE;
    case WM_GETDLGCODE:
        // A check box, not a push button: the dialog never makes it its default button, so
        // Enter never clicks it.
        *pResult = DLGC_BUTTON;
        return TRUE;
    case WM_GETOBJECT:
        if (LONG(lParam) != OBJID_CLIENT)
            break;
        *pResult = CCheckBoxAccessible::Answer(m_hWnd, m_pLabel ? m_pLabel->GetSafeHwnd() : nullptr, wParam);
        if (!*pResult)
            break;
        return TRUE;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        // The press takes the focus: a click is no reason to show it.
        m_bKeyboardFocus = false;
        m_bPressing = true;
        *pResult = Default();
        m_bPressing = false;
        UpdateFocusCue();
        return TRUE;
    case WM_KEYDOWN:
        m_bKeyboardFocus = true;
        UpdateFocusCue();
        break;   // Space presses the button underneath
    case WM_PAINT:
        OnPaint();
        *pResult = 0;
        return TRUE;
    default:
        break;
    }
    if (DrawsOutsidePaint(message)) {
        // Let the button keep its state, then put our picture back over whatever it drew.
        *pResult = Default();
        RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        OnFocusMessage(message, wParam);
        return TRUE;
    }
    return CButton::OnWndMsg(message, wParam, lParam, pResult);
}

void CSkinCheckButton::OnFocusMessage(UINT message, WPARAM wParam)
{
    if (message == WM_SETFOCUS) {
        m_bHasFocus = true;
        m_bHideFocusCues = (SendMessage(WM_QUERYUISTATE) & UISF_HIDEFOCUS) != 0;
        // Moved here from another control of the dialog without a click: by the keyboard
        // (Tab, arrows). Focus given back on activation keeps what it was.
        const HWND hFrom = reinterpret_cast<HWND>(wParam);
        const HWND hDialog = ::GetParent(m_hWnd);
        if (!m_bPressing && hFrom && hFrom != m_hWnd && (hFrom == hDialog || ::IsChild(hDialog, hFrom)))
            m_bKeyboardFocus = true;
    } else if (message == WM_KILLFOCUS) {
        m_bHasFocus = false;
    } else if (message == WM_UPDATEUISTATE && (HIWORD(wParam) & UISF_HIDEFOCUS)) {
        // Tracked from the message itself: not every system keeps the state for us to query.
        if (LOWORD(wParam) == UIS_SET)
            m_bHideFocusCues = true;
        else if (LOWORD(wParam) == UIS_CLEAR)
            m_bHideFocusCues = false;
        else
            m_bHideFocusCues = (SendMessage(WM_QUERYUISTATE) & UISF_HIDEFOCUS) != 0;
    } else {
        return;
    }
    UpdateFocusCue();
}

void CSkinCheckButton::UpdateFocusCue() const
{
    if (m_pLabel)
        m_pLabel->SetFocusCue(m_bHasFocus && m_bKeyboardFocus && !m_bHideFocusCues);
}

void CSkinCheckButton::OnPaint()
{
    CPaintDC dc(m_hWnd);
    // Loaded for each paint and released at its end: the box holds no GDI object between paints.
    CBitmap bitmap;
    bitmap.LoadBitmap(m_bChecked ? m_nCheckedBitmapId : m_nUncheckedBitmapId);
    CDC memDC;
    memDC.CreateCompatibleDC(dc);
    CSelectObjectGuard select(memDC, bitmap.GetSafeHandle());
    dc.BitBlt(0, 0, kBoxSize, kBoxSize, memDC, 0, 0, SRCCOPY);
}
