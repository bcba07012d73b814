#include "CWinApp.h"

#include <ole2.h>

#include "SystemLibrary.h"

namespace {

CWinApp* g_pApp = nullptr;

}  // namespace

CWinApp::CWinApp(const char* pszAppName) : m_pszAppName(pszAppName)
{
    g_pApp = this;
}

CWinApp::~CWinApp()
{
    if (g_pApp == this)
        g_pApp = nullptr;
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::ExitInstance()
{
    return 0;
}

int CWinApp::Run()
{
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return ExitInstance();
}

CWinApp* AfxGetApp()
{
    return g_pApp;
}

HINSTANCE AfxGetInstanceHandle()
{
    if (g_pApp && g_pApp->m_hInstance)
        return g_pApp->m_hInstance;
    return ::GetModuleHandleA(nullptr);
}

HINSTANCE AfxFindResourceHandle(const char*, const char*)
{
    return AfxGetInstanceHandle();
}

BOOL AfxEnableControlContainer()
{
    // OLE stays initialised on the program's thread until the program ends.
    struct OleSession {
        bool ok = SUCCEEDED(::OleInitialize(nullptr));
        ~OleSession()
        {
            if (ok)
                ::OleUninitialize();
        }
    };
    static OleSession session;
    return session.ok;
}

BOOL AfxInitRichEdit()
{
    struct Library {
        HMODULE hModule = LoadSystemLibrary("riched32.dll");
        ~Library()
        {
            if (hModule)
                ::FreeLibrary(hModule);
        }
    };
    static Library richEdit;
    return richEdit.hModule != nullptr;
}
