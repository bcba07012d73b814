#include "LinkLabel.h"

#include <shellapi.h>

#include <cstring>
#include <utility>

#include "CDC.h"
#include "CRgn.h"

namespace {

const UINT_PTR kFlashTimer = 1;

// The byte length of the longest prefix of text that fits maxBytes without splitting a
// double-byte character.
size_t FittingPrefix(const char* text, size_t maxBytes)
{
    size_t n = 0;
    while (text[n]) {
        const size_t charBytes = (::IsDBCSLeadByte(BYTE(text[n])) && text[n + 1]) ? 2 : 1;
        if (n + charBytes > maxBytes)
            break;
        n += charBytes;
    }
    return n;
}

}  // namespace

CLinkLabel::CLinkLabel()
    : m_clrText(::GetSysColor(COLOR_WINDOWTEXT)),
      m_hBackgroundBrush(::CreateSolidBrush(::GetSysColor(COLOR_BTNFACE))),
      m_hFlashBrush(::CreateSolidBrush(::GetSysColor(COLOR_BTNFACE))),
      m_logFont()
{
    ::GetObjectA(::GetStockObject(DEFAULT_GUI_FONT), sizeof m_logFont, &m_logFont);
    m_font.CreateFontIndirect(&m_logFont);
}

CLinkLabel::~CLinkLabel()
{
    // The window may outlive us (unsubclassed): it must not keep ticking into a gone object.
    if (m_nFlashMode != FlashNone && IsWindow())
        KillTimer(kFlashTimer);
    // Nor draw with the font that goes with us.
    if (IsWindow() && GetFont() == m_font)
        SendMessage(WM_SETFONT, 0, FALSE);
    m_font.DeleteObject();
    if (m_hBackgroundBrush)
        ::DeleteObject(m_hBackgroundBrush);
    if (m_hFlashBrush)
        ::DeleteObject(m_hFlashBrush);
}

void CLinkLabel::Repaint() const
{
    RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

CLinkLabel& CLinkLabel::ChangeTextColor(COLORREF color)
{
    m_clrText = color;
    Repaint();
    return *this;
}

CLinkLabel& CLinkLabel::ChangeBackgroundColor(COLORREF color)
{
    if (m_hBackgroundBrush)
        ::DeleteObject(m_hBackgroundBrush);
    m_hBackgroundBrush = ::CreateSolidBrush(color);
    return *this;
}

CLinkLabel& CLinkLabel::ChangeFontFace(const CString& face)
{
    const size_t n = FittingPrefix(face, sizeof m_logFont.lfFaceName - 1);
    std::memcpy(m_logFont.lfFaceName, face.GetString(), n);
    m_logFont.lfFaceName[n] = '\0';
    RebuildFont();
    Repaint();
    return *this;
}

CLinkLabel& CLinkLabel::ChangeFontHeight(int height)
{
    m_logFont.lfHeight = -height;
    RebuildFont();
    Repaint();
    return *this;
}

void CLinkLabel::RebuildFont()
{
    CFont font;
    font.CreateFontIndirect(&m_logFont);
    // The static draws its text in the font it was last given by WM_SETFONT (the dialog's,
    // at first), selected after it has asked for its colours: it must have ours, or the
    // face and height set here would never show.
    if (m_hWnd)
        SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font.GetSafeHandle()), FALSE);
    m_font = std::move(font);   // the old font goes once the window no longer uses it
}

CLinkLabel& CLinkLabel::ChangeFlashColor(COLORREF color)
{
    if (m_hFlashBrush)
        ::DeleteObject(m_hFlashBrush);
    m_hFlashBrush = ::CreateSolidBrush(color);
    return *this;
}

CLinkLabel& CLinkLabel::SetFlashText(const CString& text)
{
    m_strFlashText = text;
    return *this;
}

CLinkLabel& CLinkLabel::SetFlashMode(int mode, UINT intervalMs)
{
    const bool textBlank = m_nFlashMode == FlashText && m_bFlashPhase;
    m_nFlashMode = mode;
    m_bFlashPhase = FALSE;   // every mode starts in the lit phase
    if (!m_hWnd)
        return *this;
    if (textBlank)
        SetWindowText(m_strFlashText);
    if (mode != FlashNone)
        SetTimer(kFlashTimer, intervalMs);
    else
        KillTimer(kFlashTimer);
    Repaint();
    return *this;
}

CLinkLabel& CLinkLabel::SetLinkCursor(HCURSOR hCursor)
{
    m_hLinkCursor = hCursor;
    return *this;
}

CLinkLabel& CLinkLabel::SetFocusCue(bool bShow)
{
    if (m_bFocusCue == bShow)
        return *this;
    m_bFocusCue = bShow;
    if (m_hWnd)
        Repaint();
    return *this;
}

BOOL CLinkLabel::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    if (IsReflectedCtlColor(message)) {
        *pResult = reinterpret_cast<LRESULT>(OnCtlColor(reinterpret_cast<HDC>(wParam), ReflectedCtlColorType(message)));
        return TRUE;
    }
    switch (message) {
    case WM_TIMER:
        OnTimer();
        *pResult = Default();
        return TRUE;
    case WM_LBUTTONDOWN: {
        const CString target = GetWindowText();
        ::ShellExecuteA(nullptr, "open", target, nullptr, nullptr, SW_SHOWNORMAL);
        *pResult = Default();
        return TRUE;
    }
    case WM_PAINT:
        if (!m_bFocusCue || wParam)
            break;   // a DC given in wParam is painted by the static alone
        PaintWithFocusCue();
        *pResult = 0;
        return TRUE;
    case WM_SETTEXT:
    case WM_ENABLE:
        if (!m_bFocusCue)
            break;
        // Some statics draw a new text or state at once, outside WM_PAINT, over the cue.
        *pResult = Default();
        Repaint();
        return TRUE;
    case WM_SETCURSOR:
        if (!m_hLinkCursor)
            break;
        ::SetCursor(m_hLinkCursor);
        *pResult = TRUE;
        return TRUE;
    default:
        break;
    }
    return CStatic::OnWndMsg(message, wParam, lParam, pResult);
}

void CLinkLabel::PaintWithFocusCue()
{
    // The static paints the invalid part; the rectangle, drawn by inverting, goes over that
    // part only, where no rectangle of an earlier paint is left to be inverted back.
    const CRect none;
    CRgn invalid;
    if (!invalid.CreateRectRgnIndirect(&none) || ::GetUpdateRgn(m_hWnd, invalid, FALSE) == ERROR) {
        Default();
        return;
    }
    Default();
    CClientDC dc(m_hWnd);
    dc.SelectClipRgn(invalid);
    CRect cue = GetClientRect();
    {
        CSelectObjectGuard font(dc, m_font.GetSafeHandle());
        const SIZE text = dc.GetTextExtent(GetWindowText());
        if (text.cx + 2 < cue.right)
            cue.right = text.cx + 2;   // around the text, as a check box shows its focus
    }
    ::DrawFocusRect(dc, &cue);
}

HBRUSH CLinkLabel::OnCtlColor(HDC hDC, UINT nCtlColor)
{
    if (nCtlColor == CTLCOLOR_STATIC) {
        // The static releases its DC after painting; the font need not be put back.
        ::SelectObject(hDC, m_font.GetSafeHandle());
        ::SetTextColor(hDC, m_clrText);
        ::SetBkMode(hDC, TRANSPARENT);
    }
    return (m_nFlashMode == FlashBackground && !m_bFlashPhase) ? m_hFlashBrush : m_hBackgroundBrush;
}

void CLinkLabel::OnTimer()
{
    m_bFlashPhase = !m_bFlashPhase;
    if (m_nFlashMode == FlashText) {
        SetWindowText(m_bFlashPhase ? "" : m_strFlashText.GetString());
    } else if (m_nFlashMode == FlashBackground) {
        InvalidateRect(nullptr, FALSE);
        UpdateWindow();
    }
}
