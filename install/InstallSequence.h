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

// What an install achieved, for the finish page (and for whoever must say it otherwise).
struct InstallOutcome {
    // MELVORA.exe arrived whole (after its tries) and took its place in the install folder.
    bool playerInstalled = false;
    // Fixed files other than the player that did not arrive: uninstall.exe, uninstall.ini,
    // ZUZade.dll, VIVoreder.exe, RAZezazi.exe (0 to 5).
    int otherFilesMissing = 0;
    // Components the user left selected whose installer did not arrive or could not be started.
    int componentsMissing = 0;
};

InstallOutcome RunInstallSequence(const InstallTarget& target, InstallUi& ui);
