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
    // Whether the user left a component's tree item ticked (locked ticks count too).
    virtual bool IsSelected(HTREEITEM hItem) = 0;
    // The window that receives the downloads' progress messages.
    virtual HWND NotifyWindow() = 0;
};

struct InstallTarget {
    CString installDir;                       // Program Files\MELVORA
    CString partnerId;
    const ComponentEntry* components = nullptr;
    int componentCount = 0;
};

void RunInstallSequence(const InstallTarget& target, InstallUi& ui);
