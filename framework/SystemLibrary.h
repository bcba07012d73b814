// Where the program's DLLs come from: the system folder, never the folder Setup.exe was
// started from (a downloads folder anyone may have put a DLL into) or the current one.
#pragma once

#include <windows.h>

// Takes the program's own folder and the current folder out of the DLL search for the
// rest of the process (SetDefaultDllDirectories with LOAD_LIBRARY_SEARCH_SYSTEM32; where
// the system lacks it, SetDllDirectoryA("") takes out at least the current folder). The
// program's entry point calls it before anything else.
void RestrictDllSearchToSystemFolder();

// Loads a DLL of the system folder by its file name (LoadLibraryExA with
// LOAD_LIBRARY_SEARCH_SYSTEM32, or by its full path in the system folder where that flag
// is unknown). Null when it cannot be loaded.
HMODULE LoadSystemLibrary(const char* pszFileName);
