// The state that the wizard, the component reader and the install sequence share.
#pragma once

#include "CString.h"
#include "install/ComponentEntry.h"

// The Program Files folder; filled by ComputeInstallFolder, empty until then.
extern char g_szProgramFilesDir[260];

struct SetupSession {
    int nPage = 0;                           // current wizard page, 1 to 6
    CString strInstallDir;                   // Program Files folder + "\MELVORA"
    CString strPartnerId;                    // from the program's file name
    ComponentEntry* pComponents = nullptr;   // kComponentCapacity records while the wizard runs
    int nComponentCount = 0;                 // filled records, from the front

    // Reads the partner id from the program's own file name and records it as "pid"
    // under HKEY_CURRENT_USER "Software\MELVORA".
    void ReadPartnerId();
    // Fills g_szProgramFilesDir and strInstallDir.
    void ComputeInstallFolder();
    // Fetches this partner's component list from the product web server and reads it.
    void FetchComponentList();
    // Appends the accepted rows of a component list text to pComponents.
    void ParseComponentList(const CString& text);
};
