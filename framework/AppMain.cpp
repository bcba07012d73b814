// The program's entry point: runs the one CWinApp object.
#include "CWinApp.h"
#include "SystemLibrary.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int)
{
    // Before any DLL outside the system's own set is loaded: none may come from the
    // folder Setup.exe lies in (app/LateImports.cpp loads the rest when first needed).
    RestrictDllSearchToSystemFolder();
    CWinApp* pApp = AfxGetApp();
    if (!pApp)
        return 1;
    pApp->m_hInstance = hInstance;
    pApp->m_lpCmdLine = lpCmdLine ? lpCmdLine : "";
    const int code = pApp->InitInstance() ? pApp->Run() : pApp->ExitInstance();
    pApp->m_pMainWnd = nullptr;
    return code;
}
