// The product's install folder, and creating a folder together with every missing folder
// above it.
#pragma once

#include "CString.h"

// Creates each missing folder of `path` ("\" separators), top down. Non-zero when the
// last folder of the path was created by this call; 0 otherwise, also when it already
// existed. Stops at the first level that can be neither found nor created; folders made
// below that point stay.
int CreateFolderPath(const CString& path);

// The Program Files folder (CSIDL_PROGRAM_FILES); empty when the system cannot tell.
CString ProgramFilesFolder();
// The install folder under the Program Files folder given: "<folder>\MELVORA". The setup
// installs there and the uninstaller removes from there; nothing else decides it.
CString InstallFolderIn(const char* programFilesFolder);
