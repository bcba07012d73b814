// A folder of the setup's own for the programs it downloads in order to start them: made
// fresh under the Windows temporary folder (whose path no user can redirect), with a
// protected DACL that admits only the system and the administrators, which every file in
// it inherits. Nothing that runs without elevation can put, change or swap a file there
// between its check and its start.
#pragma once

#include "CString.h"

class CPrivateFolder {
public:
    CPrivateFolder() = default;
    // Removes the folder with what it holds; a file still in use (an installer that still
    // runs) goes at the next restart, and the folder with it.
    ~CPrivateFolder();
    CPrivateFolder(const CPrivateFolder&) = delete;
    CPrivateFolder& operator=(const CPrivateFolder&) = delete;

    // A new, empty subfolder of the private folder (made itself on the first call), with
    // its trailing "\"; empty when it cannot be made. Each program gets one, so that two
    // installers of the same name never meet.
    CString NewSubfolder();

private:
    bool Create();

    CString m_strPath;   // with its trailing "\"; empty until made
    int m_nSubfolders = 0;
};
