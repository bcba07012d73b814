// A push button, check box or group box of the system's BUTTON class.
#pragma once

#include "CWnd.h"

class CButton : public CWnd {
public:
    BOOL Create(const char* pszCaption, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID)
    {
        return CWnd::Create("BUTTON", pszCaption, dwStyle, rect, pParentWnd, nID);
    }
};
