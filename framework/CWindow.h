// A borrowed window handle with the everyday window calls. It never owns the window:
// copying it is free and destroying it does nothing. CWnd builds on it.
#pragma once

#include <windows.h>

#include "CRect.h"
#include "CString.h"

class CWindow {
public:
    CWindow() = default;
    explicit CWindow(HWND hWnd) : m_hWnd(hWnd) {}

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }
    bool IsWindow() const { return m_hWnd && ::IsWindow(m_hWnd); }

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }

    BOOL ShowWindow(int nCmdShow) const { return ::ShowWindow(m_hWnd, nCmdShow); }
    BOOL EnableWindow(BOOL bEnable = TRUE) const { return ::EnableWindow(m_hWnd, bEnable); }
    bool IsWindowVisible() const { return ::IsWindowVisible(m_hWnd) != FALSE; }
    bool IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd) != FALSE; }
    bool IsIconic() const { return ::IsIconic(m_hWnd) != FALSE; }
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    CWindow GetParent() const { return CWindow(::GetParent(m_hWnd)); }
    CWindow GetDlgItem(int nID) const { return CWindow(::GetDlgItem(m_hWnd, nID)); }

    void SetWindowText(const char* pszText) const { ::SetWindowTextA(m_hWnd, pszText); }
    // Reads the whole text. The length message may count characters rather than bytes
    // for some controls, so the buffer is grown until the text fits.
    CString GetWindowText() const;

    BOOL SetWindowPos(HWND hWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags) const
    {
        return ::SetWindowPos(m_hWnd, hWndInsertAfter, x, y, cx, cy, nFlags);
    }
    void CenterWindow(HWND hWndAlternateOwner = nullptr) const;
    CRect GetClientRect() const
    {
        CRect rc;
        ::GetClientRect(m_hWnd, &rc);
        return rc;
    }
    CRect GetWindowRect() const
    {
        CRect rc;
        ::GetWindowRect(m_hWnd, &rc);
        return rc;
    }
    void ScreenToClient(POINT* pt) const { ::ScreenToClient(m_hWnd, pt); }

    // Without a window these do nothing: to the system a null handle means every window
    // on the desktop.
    void Invalidate(BOOL bErase = TRUE) const
    {
        if (m_hWnd)
            ::InvalidateRect(m_hWnd, nullptr, bErase);
    }
    void InvalidateRect(const RECT* prc, BOOL bErase = TRUE) const
    {
        if (m_hWnd)
            ::InvalidateRect(m_hWnd, prc, bErase);
    }
    void UpdateWindow() const { ::UpdateWindow(m_hWnd); }
    BOOL RedrawWindow(const RECT* prc, HRGN hrgn, UINT flags) const
    {
        return m_hWnd ? ::RedrawWindow(m_hWnd, prc, hrgn, flags) : FALSE;
    }

    DWORD GetStyle() const { return DWORD(::GetWindowLongA(m_hWnd, GWL_STYLE)); }
    // Adds and removes style bits; frame flags other than 0 also refresh the frame.
    BOOL ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT nFlags = 0) const;

    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse) const { return ::SetTimer(m_hWnd, nIDEvent, nElapse, nullptr); }
    BOOL KillTimer(UINT_PTR nIDEvent) const { return ::KillTimer(m_hWnd, nIDEvent); }

    HFONT GetFont() const { return reinterpret_cast<HFONT>(SendMessage(WM_GETFONT)); }

protected:
    HWND m_hWnd = nullptr;
};
