// The uninstaller's application object.
#pragma once

#include "CWinApp.h"

class CUninstallApp : public CWinApp {
public:
    CUninstallApp() = default;
    BOOL InitInstance() override;
    // The program's exit code: the outcome of the uninstall.
    int ExitInstance() override { return m_nExitCode; }

private:
    int m_nExitCode = 0;
};
