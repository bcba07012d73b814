// The uninstaller's part of the shortcuts: the three links to the installed player and the
// programs menu's MELVORA folder.
//
// The desktop and Quick Launch folders come from the user's own shell folder settings, and
// the uninstaller runs elevated: a folder there that is a link is not entered, and a link
// at a shortcut's name or a file with a second name is left alone (the message says so).
// A shortcut is read, checked and deleted through one handle, opened without following a
// link, and it goes only when it points to this player: another program may have a
// shortcut of the same name.
#pragma once

#include "CString.h"
#include "Remover.h"
#include "UninstallReport.h"

void RemoveShortcuts(CRemover& remover, UninstallReport& report, const CString& installDir);
