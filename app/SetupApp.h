// The setup program's application object.
#pragma once

#include "CWinApp.h"

class CSetupApp : public CWinApp {
public:
    CSetupApp() = default;
    BOOL InitInstance() override;
};
