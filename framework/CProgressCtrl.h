// The common progress bar; it keeps the range, position and step.
#pragma once

#include "CWnd.h"

#include <commctrl.h>

class CProgressCtrl : public CWnd {
public:
    BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID)
    {
        return CWnd::Create(PROGRESS_CLASSA, nullptr, dwStyle, rect, pParentWnd, nID);
    }
    void SetRange32(int nLower, int nUpper) const { SendMessage(PBM_SETRANGE32, WPARAM(nLower), LPARAM(nUpper)); }
    void GetRange(int& nLower, int& nUpper) const
    {
        PBRANGE range = {};
        SendMessage(PBM_GETRANGE, 0, reinterpret_cast<LPARAM>(&range));
        nLower = range.iLow;
        nUpper = range.iHigh;
    }
    int GetPos() const { return int(SendMessage(PBM_GETPOS)); }
    int SetPos(int nPos) const { return int(SendMessage(PBM_SETPOS, WPARAM(nPos))); }
};
