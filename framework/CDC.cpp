#include "CDC.h"

CDC::~CDC()
{
    DeleteDC();
}

BOOL CDC::CreateCompatibleDC(HDC hDC)
{
    return Attach(::CreateCompatibleDC(hDC));
}

BOOL CDC::Attach(HDC hDC)
{
    DeleteDC();
    m_hDC = m_hAttribDC = hDC;
    m_bOwned = hDC != nullptr;
    return hDC != nullptr;
}

HDC CDC::Detach()
{
    HDC h = m_hDC;
    m_hDC = m_hAttribDC = nullptr;
    m_bOwned = false;
    return h;
}

BOOL CDC::DeleteDC()
{
    const bool owned = m_bOwned && m_hDC;
    HDC h = Detach();
    return owned ? ::DeleteDC(h) : FALSE;
}

HGDIOBJ CDC::SelectObject(HGDIOBJ hObject)
{
    HGDIOBJ hOld = nullptr;
    if (m_hDC != m_hAttribDC && m_hDC)
        hOld = ::SelectObject(m_hDC, hObject);
    if (m_hAttribDC)
        hOld = ::SelectObject(m_hAttribDC, hObject);
    return hOld;
}

void CDC::FillSolidRect(const RECT* pRect, COLORREF color)
{
    const COLORREF old = ::SetBkColor(m_hDC, color);
    ::ExtTextOutA(m_hDC, 0, 0, ETO_OPAQUE, pRect, nullptr, 0, nullptr);
    ::SetBkColor(m_hDC, old);
}

SIZE CDC::GetTextExtent(const CString& text) const
{
    SIZE size = {0, 0};
    ::GetTextExtentPoint32A(m_hAttribDC, text, text.GetLength(), &size);
    return size;
}

CPoint CDC::GetWindowOrg() const
{
    CPoint pt;
    ::GetWindowOrgEx(m_hDC, &pt);
    return pt;
}

CPoint CDC::SetWindowOrg(int x, int y)
{
    CPoint old;
    ::SetWindowOrgEx(m_hDC, x, y, &old);
    return old;
}

CPoint CDC::GetViewportOrg() const
{
    CPoint pt;
    ::GetViewportOrgEx(m_hDC, &pt);
    return pt;
}

CPoint CDC::SetViewportOrg(int x, int y)
{
    CPoint old;
    ::SetViewportOrgEx(m_hDC, x, y, &old);
    return old;
}

CPaintDC::CPaintDC(HWND hWnd) : m_hWnd(hWnd)
{
    m_hDC = m_hAttribDC = ::BeginPaint(hWnd, &m_ps);
}

CPaintDC::~CPaintDC()
{
    ::EndPaint(m_hWnd, &m_ps);
    Detach();
}

CClientDC::CClientDC(HWND hWnd) : m_hWnd(hWnd)
{
    m_hDC = m_hAttribDC = ::GetDC(hWnd);
}

CClientDC::~CClientDC()
{
    if (m_hDC)
        ::ReleaseDC(m_hWnd, m_hDC);
    Detach();
}
