// A device context. Drawing goes to m_hDC; measuring and device queries use m_hAttribDC,
// which is the same context except where a printer DC says otherwise. A CDC deletes the
// context only if it created or was given ownership of it (CreateCompatibleDC, Attach).
#pragma once

#include <windows.h>

#include "CRect.h"
#include "CString.h"

class CDC {
public:
    CDC() = default;
    virtual ~CDC();
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    operator HDC() const { return m_hDC; }
    HDC GetSafeHdc() const { return m_hDC; }
    BOOL IsPrinting() const { return m_bPrinting; }

    BOOL CreateCompatibleDC(HDC hDC);
    // Takes ownership of hDC.
    BOOL Attach(HDC hDC);
    HDC Detach();
    BOOL DeleteDC();

    // Selects into the output context (and the attribute context when it differs);
    // returns the object that was selected before.
    HGDIOBJ SelectObject(HGDIOBJ hObject);
    int SelectClipRgn(HRGN hRgn) { return ::SelectClipRgn(m_hDC, hRgn); }
    int GetClipBox(RECT* pRect) const { return ::GetClipBox(m_hDC, pRect); }

    BOOL BitBlt(int x, int y, int nWidth, int nHeight, HDC hSrcDC, int xSrc, int ySrc, DWORD dwRop)
    {
        return ::BitBlt(m_hDC, x, y, nWidth, nHeight, hSrcDC, xSrc, ySrc, dwRop);
    }
    void FillRect(const RECT* pRect, HBRUSH hBrush) { ::FillRect(m_hDC, pRect, hBrush); }
    // Fills with a colour without creating a brush (the background colour is restored).
    void FillSolidRect(const RECT* pRect, COLORREF color);
    BOOL DrawIcon(int x, int y, HICON hIcon) { return ::DrawIcon(m_hDC, x, y, hIcon); }
    BOOL TextOut(int x, int y, const CString& text)
    {
        return ::TextOutA(m_hDC, x, y, text, text.GetLength());
    }
    SIZE GetTextExtent(const CString& text) const;

    COLORREF SetTextColor(COLORREF color) { return ::SetTextColor(m_hDC, color); }
    int SetBkMode(int nMode) { return ::SetBkMode(m_hDC, nMode); }
    UINT SetTextAlign(UINT nFlags) { return ::SetTextAlign(m_hDC, nFlags); }

    CPoint GetWindowOrg() const;
    CPoint SetWindowOrg(int x, int y);
    CPoint GetViewportOrg() const;
    CPoint SetViewportOrg(int x, int y);

    int GetDeviceCaps(int nIndex) const { return ::GetDeviceCaps(m_hAttribDC, nIndex); }

    HDC m_hDC = nullptr;
    HDC m_hAttribDC = nullptr;

protected:
    BOOL m_bPrinting = FALSE;
    bool m_bOwned = false;
};

// Paints a window between BeginPaint and EndPaint.
class CPaintDC : public CDC {
public:
    explicit CPaintDC(HWND hWnd);
    ~CPaintDC() override;

    PAINTSTRUCT m_ps = {};

private:
    HWND m_hWnd;
};

// The client area of a window, between GetDC and ReleaseDC.
class CClientDC : public CDC {
public:
    explicit CClientDC(HWND hWnd);
    ~CClientDC() override;

private:
    HWND m_hWnd;
};

// Selects an object into a DC for the length of a scope and puts the previous one back.
class CSelectObjectGuard {
public:
    CSelectObjectGuard(CDC& dc, HGDIOBJ hObject) : m_dc(dc), m_hOld(dc.SelectObject(hObject)) {}
    ~CSelectObjectGuard()
    {
        if (m_hOld)
            m_dc.SelectObject(m_hOld);
    }
    CSelectObjectGuard(const CSelectObjectGuard&) = delete;
    CSelectObjectGuard& operator=(const CSelectObjectGuard&) = delete;

private:
    CDC& m_dc;
    HGDIOBJ m_hOld;
};
