#include "CWindow.h"

#include <vector>

CString CWindow::GetWindowText() const
{
    int capacity = ::GetWindowTextLengthA(m_hWnd) + 1;
    for (;;) {
        // Some controls report characters, not bytes: double the room until the text
        // comes back with space to spare.
        std::vector<char> buffer(size_t(capacity) * 2 + 2, '\0');
        const int n = ::GetWindowTextA(m_hWnd, buffer.data(), int(buffer.size()));
        if (n < int(buffer.size()) - 1)
            return CString(buffer.data(), n);
        capacity = int(buffer.size());
    }
}

void CWindow::CenterWindow(HWND hWndAlternateOwner) const
{
    HWND hOwner = hWndAlternateOwner ? hWndAlternateOwner : ::GetWindow(m_hWnd, GW_OWNER);
    RECT area;
    if (hOwner && ::IsWindowVisible(hOwner) && !::IsIconic(hOwner))
        ::GetWindowRect(hOwner, &area);
    else
        ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    const CRect rc = GetWindowRect();
    const int x = area.left + ((area.right - area.left) - rc.Width()) / 2;
    const int y = area.top + ((area.bottom - area.top) - rc.Height()) / 2;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL CWindow::ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT nFlags) const
{
    const DWORD dwStyle = GetStyle();
    const DWORD dwNewStyle = (dwStyle & ~dwRemove) | dwAdd;
    if (dwStyle == dwNewStyle)
        return FALSE;
    ::SetWindowLongA(m_hWnd, GWL_STYLE, LONG(dwNewStyle));
    if (nFlags)
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | nFlags);
    return TRUE;
}
