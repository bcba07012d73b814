// Binds dialog controls to member objects when a dialog initialises (DDX_Control).
#pragma once

#include <windows.h>

class CWnd;

class CDataExchange {
public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate)
        : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}

    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;
};

// Subclasses control nIDC of the dialog into rControl, once.
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
