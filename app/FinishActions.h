// What ends a completed install, in the wizard (its finish page closing) and in an
// unattended install alike: the shortcuts, the install log to the log server, the player.
#pragma once

#include "CString.h"

struct FinishChoices {
    bool shortcuts = true;           // false: no shortcut and no start-menu folder at all
    bool desktopShortcuts = true;    // desktop and Quick Launch
    bool startMenuShortcut = true;
    bool startPlayer = true;
};

// Makes the chosen shortcuts to the installed player (none when it is missing), sends the
// install log, then starts the player as the signed-in user when asked and it is there.
void FinishInstall(const CString& installDir, const FinishChoices& choices);
