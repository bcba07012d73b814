// A static text control.
#pragma once

#include "CWnd.h"

class CStatic : public CWnd {
public:
    BOOL Create(const char* pszText, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID = 0xFFFF)
    {
        return CWnd::Create("STATIC", pszText, dwStyle, rect, pParentWnd, nID);
    }
};
