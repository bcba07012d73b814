// The setup program's application object.
#pragma once

#include "CWinApp.h"

class CSetupApp : public CWinApp {
public:
    CSetupApp() = default;
    BOOL InitInstance() override;
    // The program's exit code: how the setup went (SetupExitCode).
    int ExitInstance() override;

private:
    int m_nExitCode = 0;
};
