#include "SetupApp.h"

#include "SetupDlg.h"

CSetupApp theApp;

BOOL CSetupApp::InitInstance()
{
    AfxEnableControlContainer();   // the wizard hosts the web browser control
    AfxInitRichEdit();             // the terms-of-use text
    Enable3dControls();

    CSetupDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;   // the program ends with the wizard
}
