// The program's entry point: runs the one CWinApp object.
#include "CWinApp.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int)
{
    CWinApp* pApp = AfxGetApp();
    if (!pApp)
        return 1;
    pApp->m_hInstance = hInstance;
    pApp->m_lpCmdLine = lpCmdLine ? lpCmdLine : "";
    const int code = pApp->InitInstance() ? pApp->Run() : pApp->ExitInstance();
    pApp->m_pMainWnd = nullptr;
    return code;
}
