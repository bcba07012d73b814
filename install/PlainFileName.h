// The rule for a name that a server or a settings file gives for a file or folder, which
// the setup and the uninstaller both apply before they create, start or remove anything.
// Windows-free.
#pragma once

#include "CString.h"

// A name that can only name one file or folder inside the folder it is put in: not
// empty; no "..", no \ / : * ? " < > | or control character; not ending in "." or " "
// (Windows drops those, so the name would stand for another); text of the program's
// code page; and not a device name (CON, PRN, AUX, NUL, COM0 to COM9, LPT0 to LPT9,
// CONIN$, CONOUT$, in any case, with or without an extension; COM and LPT also with ¹, ²
// or ³, which the system counts as digits there).
bool IsPlainFileName(const CString& name);

// A path of one or more names, separated by "/" or "", each a plain file name: so no
// separator at either end or two side by side, and nothing that climbs out.
bool IsPlainRelativePath(const CString& path);
