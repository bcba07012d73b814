// The DLLs that Uninstall.exe uses beyond the system's KnownDLLs, bound when first used and
// only from the system folder (framework/LateImport.h says how and why). The uninstaller
// runs elevated from a copy of itself in a temporary folder, where other programs write.
#include <windows.h>
#include <commctrl.h>

#include "LateImport.h"

// Common controls: the classes of its dialogs' controls.
MELVORA_LATE_IMPORT(Comctl32, InitCommonControlsEx, 4)
