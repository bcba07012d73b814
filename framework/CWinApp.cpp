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

namespace {

// OLE and the RichEdit library, from the first call until the program ends. Set up on the
// program's thread only, so a plain flag tells whether it was done (a guarded local static
// would bring the runtime's threads library into the program).
struct OleSession {
    bool tried = false;
    bool ok = false;
    ~OleSession()
    {
        if (ok)
            ::OleUninitialize();
    }
};
OleSession g_oleSession;

struct RichEditLibrary {
    bool tried = false;
    HMODULE hModule = nullptr;
    ~RichEditLibrary()
    {
        if (hModule)
            ::FreeLibrary(hModule);
    }
};
RichEditLibrary g_richEdit;

}  // namespace

BOOL AfxEnableControlContainer()
{
    // OLE stays initialised on the program's thread until the program ends.
    if (!g_oleSession.tried) {
        g_oleSession.tried = true;
        g_oleSession.ok = SUCCEEDED(::OleInitialize(nullptr));
    }
    return g_oleSession.ok;
}

BOOL AfxInitRichEdit()
{
    if (!g_richEdit.tried) {
        g_richEdit.tried = true;
        g_richEdit.hModule = LoadSystemLibrary("riched32.dll");
    }
    return g_richEdit.hModule != nullptr;
}
