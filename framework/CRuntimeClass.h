// The run-time record of a window class that supports dynamic creation: its name, the
// size of its objects, its schema number, how to make one, and its base class's record.
#pragma once

class CWnd;

struct CRuntimeClass {
    const char* m_lpszClassName;
    int m_nObjectSize;
    unsigned m_wSchema;
    CWnd* (*m_pfnCreateObject)();          // allocates and constructs one; the caller owns it
    const CRuntimeClass* m_pBaseClass;     // null for the root

    CWnd* CreateObject() const { return m_pfnCreateObject ? m_pfnCreateObject() : nullptr; }
};
