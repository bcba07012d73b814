// Starting a program as the user who signed in to the desktop, without the rights that
// this process may have been given.
#pragma once

#include "CString.h"

// Opens the program with the verb "open", shown normally (SW_SHOW). When this process
// runs elevated, the desktop's own shell opens it, so it runs with the signed-in user's
// rights instead of administrator rights. Where that route is unavailable (this process
// is not elevated, there is no desktop shell, any step of the route fails, or under Wine,
// where elevation separates nothing) this process opens it with ShellExecuteA.
void OpenAsDesktopUser(const CString& strPath);

// The desktop-shell route alone: the desktop window of IShellWindows (FindWindowSW), its
// view's IShellFolderViewDual, that view's Application, and IShellDispatch2::ShellExecute.
// True when the shell took the request; the start itself happens in the shell's process.
bool OpenThroughDesktopShell(const CString& strPath);
