// Hosts ActiveX controls that a dialog template names by class id ("{...}" as the class
// of an item). The dialog manager creates a host window of that class; the host creates
// the control, loads its persisted state from the template's initialisation data and
// activates it in place inside itself.
#pragma once

#include <windows.h>

class COleControlSite {
public:
    // Registers a host window class for every class-id item of a dialog template, and
    // remembers which template's initialisation data the hosts read while it is created.
    static void PrepareTemplate(const void* pTemplate, UINT nIDTemplate);
};
