// What an uninstall removed, kept and could not remove, the message that says so and the
// program's exit code. Windows-free.
#pragma once

#include <vector>

#include "CString.h"

// Exit codes of Uninstall.exe, as installers and deployment tools know them.
const int kExitRemoved = 0;               // everything of the setup's is gone
const int kExitRestartNeeded = 3010;      // ERROR_SUCCESS_REBOOT_REQUIRED: files in use go at the next restart
const int kExitDeclined = 1602;           // ERROR_INSTALL_USEREXIT: the user answered No
const int kExitFailed = 1603;             // ERROR_INSTALL_FAILURE: something could not be removed

class UninstallReport {
public:
    struct Item {
        CString what;   // a path, a shortcut, a registry key or value, as the user would look for it
        CString why;
    };

    void Removed(const CString& what) { m_removed.push_back({what, CString()}); }
    void AtRestart(const CString& what, const CString& why) { m_atRestart.push_back({what, why}); }
    void Failed(const CString& what, const CString& why) { m_failed.push_back({what, why}); }
    void Kept(const CString& what, const CString& why) { m_kept.push_back({what, why}); }

    // Whether something inside folder waits for the next restart.
    bool WaitsForRestartIn(const CString& folder) const;
    bool Failures() const { return !m_failed.empty(); }

    int ExitCode() const;
    // A few lines for the user: the outcome first, then each list that is not empty.
    CString Message() const;

private:
    std::vector<Item> m_removed, m_atRestart, m_failed, m_kept;
};

// Why a file or registry operation failed, in words, for a system error code.
CString ReasonForError(unsigned long code);
// Whether a system error code means that another program holds a file (so that it may be
// free in a moment, or at the next restart). A running program's file is refused as
// "access denied", which tells nothing by itself: the remover finds out by moving it.
bool IsInUseError(unsigned long code);
