#include "SkinCheckButton.h"

#include "CBitmap.h"
#include "CDC.h"

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
    if (IsReflectedCommand(message, wParam, BN_CLICKED)) {
        m_bChecked = !m_bChecked;
        InvalidateRect(nullptr, TRUE);
        *pResult = 0;
        return TRUE;
    }
    if (message == BM_GETCHECK) {
        // The box keeps its own state; answer as a check box would, so accessibility
        // tools and test drivers can read it.
        *pResult = m_bChecked ? BST_CHECKED : BST_UNCHECKED;
        return TRUE;
    }
    if (message == WM_PAINT) {
        OnPaint();
        *pResult = 0;
        return TRUE;
    }
    if (DrawsOutsidePaint(message)) {
        // Let the button keep its state, then put our picture back over whatever it drew.
        *pResult = Default();
        RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        return TRUE;
    }
    return CButton::OnWndMsg(message, wParam, lParam, pResult);
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
