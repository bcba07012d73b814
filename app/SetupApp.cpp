#include "app/SetupApp.h"

#include "app/SetupSession.h"

CSetupApp theApp;

BOOL CSetupApp::InitInstance()
{
    SetupSession session;
    session.ReadPartnerId();
    session.ComputeInstallFolder();
    return FALSE;   // the program ends when the setup is done
}
