// Shortcuts to the installed player on the desktop, in Quick Launch and in the shared
// programs menu's "MELVORA" folder.
#pragma once

#include "CString.h"

// A shortcut the setup makes is well under a kilobyte: a larger file of its name is
// not one of the setup's.
const unsigned long kMaxShortcutBytes = 64 * 1024;

// Where the shortcuts go: the three folders and the link paths in them.
struct ShortcutPlaces {
    CString strDesktopFolder;
    CString strDesktopLink;
    CString strQuickLaunchFolder;
    CString strQuickLaunchLink;
    CString strStartMenuFolder;
    CString strStartMenuLink;
};

// Looks up the desktop, the application data folder and the shared programs menu and
// forms the places of strLinkFileName (with its leading "\"); false when any of the three
// folders cannot be found.
bool FindShortcutPlaces(const CString& strLinkFileName, ShortcutPlaces* pPlaces);

// Saves one shell link to strTarget (working folder: the target's folder, description
// "무료음악감상") as strLinkFileName (with its leading "\") in each chosen place. Does
// nothing when the target does not exist; otherwise the start-menu folder is created
// whatever the flags say. A place whose full link path would not fit in MAX_PATH is
// skipped, and so is one whose folder is a link, or where a link or a file with a second
// name has the shortcut's name (the log says which). Failures are silent.
void CreateShortcuts(const CString& strTarget, const CString& strLinkFileName, bool bDesktop, bool bQuickLaunch,
                     bool bStartMenu);
