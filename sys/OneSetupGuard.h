// One setup or uninstall of the product at a time, in every session of the machine: two
// programs writing and removing the same files and keys at once would corrupt the
// install. The setup program and the uninstaller hold the same named mutex while they work.
#pragma once

#include <windows.h>

class OneSetupGuard {
public:
    OneSetupGuard();
    ~OneSetupGuard();
    OneSetupGuard(const OneSetupGuard&) = delete;
    OneSetupGuard& operator=(const OneSetupGuard&) = delete;

    // Whether another setup or uninstaller holds the guard: then this one does nothing.
    bool OtherSetupRuns() const { return m_bOtherRuns; }

private:
    HANDLE m_hMutex;
    bool m_bOtherRuns;
};
