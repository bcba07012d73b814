// The program object. Exactly one exists, as a global; the program's entry point runs
// its InitInstance and ends when that returns FALSE (or runs the message loop otherwise).
#pragma once

#include <windows.h>

class CWnd;

class CWinApp {
public:
    explicit CWinApp(const char* pszAppName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance();
    virtual int ExitInstance();
    // The message loop for programs whose InitInstance returns TRUE.
    virtual int Run();

    // Kept for the familiar start-up sequence; the system draws 3-D controls itself.
    BOOL Enable3dControls() { return TRUE; }

    const char* m_pszAppName;
    HINSTANCE m_hInstance = nullptr;
    // The arguments after the program's own name, as WinMain received them.
    const char* m_lpCmdLine = "";
    CWnd* m_pMainWnd = nullptr;
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
// The module that holds a resource: the program itself.
HINSTANCE AfxFindResourceHandle(const char* pszName, const char* pszType);
// Makes ActiveX controls in dialog templates work (OLE initialised on this thread).
BOOL AfxEnableControlContainer();
// Loads the RichEdit 1.0 library from the system folder; its window class is "RICHEDIT".
BOOL AfxInitRichEdit();
