// The install itself: versions, the player's files, the registry, optional components.
// Runs on the install thread; everything it shows goes through an InstallUi.
#pragma once

#include <windows.h>

#include "CString.h"
#include "ComponentEntry.h"

// What the sequence needs of the wizard. Every call is made from the install thread.
class InstallUi {
public:
    virtual ~InstallUi() = default;
    // Sets the progress bar back to 0 and repaints it.
    virtual void ResetBar() = 0;
    // Sets the status line; repaints it as well when asked.
    virtual void ShowStatus(const CString& text, bool invalidate) = 0;
    // Whether a component is to be installed: in the wizard, whether the user left its
    // tree item ticked (locked ticks count too).
    virtual bool IsSelected(const ComponentEntry& entry) = 0;
    // The window that receives the downloads' progress messages.
    virtual HWND NotifyWindow() = 0;
};

struct InstallTarget {
    CString installDir;                       // Program Files\MELVORA
    CString partnerId;
    const ComponentEntry* components = nullptr;
    int componentCount = 0;
};

// What an install achieved.
struct InstallOutcome {
    bool versionsUsable = false;   // the version reply named versions; without them nothing is installed
    bool playerArrived = false;    // MELVORA.exe arrived whole
    int sideFilesMissing = 0;      // other fixed files that did not arrive whole
    int componentsMissing = 0;     // selected components whose installer was not started
};

InstallOutcome RunInstallSequence(const InstallTarget& target, InstallUi& ui);
