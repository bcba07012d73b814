#include "MemDC.h"

CMemDC::CMemDC(CDC* pDC) : m_pDC(pDC), m_bMemDC(!pDC->IsPrinting())
{
    if (!m_bMemDC) {
        // Borrow the printer's contexts; the destructor hands them back untouched.
        m_bPrinting = pDC->IsPrinting();
        m_hDC = pDC->m_hDC;
        m_hAttribDC = pDC->m_hAttribDC;
        return;
    }
    pDC->GetClipBox(&m_rect);
    CreateCompatibleDC(pDC->GetSafeHdc());
    m_bitmap.CreateCompatibleBitmap(pDC->GetSafeHdc(), m_rect.Width(), m_rect.Height());
    m_pOldBitmap = SelectObject(m_bitmap.GetSafeHandle());
    SetWindowOrg(m_rect.left, m_rect.top);
}

CMemDC::~CMemDC()
{
    if (!m_bMemDC) {
        Detach();   // not ours: the caller's DC must survive
        return;
    }
    m_pDC->BitBlt(m_rect.left, m_rect.top, m_rect.Width(), m_rect.Height(), m_hDC, m_rect.left, m_rect.top,
                  SRCCOPY);
    if (m_pOldBitmap)
        SelectObject(m_pOldBitmap);
    m_bitmap.DeleteObject();
    DeleteDC();
}
