// Removing files, folders and registry entries one at a time, each outcome written into
// the uninstall report: removed, left for the next restart (in use), kept, or failed and
// why. What is already gone is not mentioned.
#pragma once

#include <windows.h>

#include "CString.h"
#include "UninstallReport.h"

class CRemover {
public:
    explicit CRemover(UninstallReport& report) : m_report(report) {}
    CRemover(const CRemover&) = delete;
    CRemover& operator=(const CRemover&) = delete;

    // A file. One that another program holds is tried again for a few seconds; one still
    // in use then (a running program's file among them) is moved aside to a name of its
    // own and registered for deletion at the next restart.
    void RemoveFile(const CString& path) { RemoveOneFile(path, true); }
    // The uninstaller's own program file, which the program the user started may still be
    // running from: it is moved out of the way into the temporary folder (a running
    // program's file may be renamed, not deleted) and deleted by FinishMovedProgram.
    void RemoveProgramFile(const CString& path);
    // A folder with everything in it. A link (junction or symbolic link) is removed
    // itself; what it points to is never entered.
    void RemoveTree(const CString& path) { RemoveTreeAt(path, 0); }
    // A folder only when it is empty; otherwise kept, saying why. A folder that still
    // holds files waiting for the next restart is registered for that restart too.
    void RemoveEmptyFolder(const CString& path, const char* whyKept);

    // A registry value or a key with all its subkeys; `shownAs` names it in the report.
    // No registry link is followed on the way: a key that is a link goes itself, never
    // what it leads to, and a value behind a link is left where it is.
    void RemoveRegistryValue(HKEY hRoot, const char* pszKey, const char* pszValue, const CString& shownAs);
    void RemoveRegistryKey(HKEY hRoot, const char* pszKey, const CString& shownAs);

    // The moved program file, once its program has ended: deleted (tried for a few
    // seconds), or at the next restart when that fails. When its program is this very one
    // (`itsProgramRuns`), it can only go at the next restart, and the report says so.
    void FinishMovedProgram(bool itsProgramRuns);

private:
    // A folder's content is not listed file by file: only what did not go.
    // The attributes of a path about to be removed; INVALID_FILE_ATTRIBUTES when it is gone
    // or too long to name (which is reported).
    DWORD AttributesToRemove(const CString& path);
    void RemoveOneFile(const CString& path, bool listWhenRemoved);
    // A file in use: moved aside and registered for the restart, or by its own path when
    // it cannot be moved; false when neither could be done.
    bool LeaveForRestart(const CString& path, DWORD error);
    void RemoveTreeAt(const CString& path, int depth);
    bool ScheduleAtRestart(const CString& path, DWORD error);

    UninstallReport& m_report;
    CString m_movedProgram;   // where RemoveProgramFile put the program file
};

// Whether a path's attributes say it is a folder, or a link of any kind.
bool IsFolderAttributes(DWORD attributes);
bool IsLinkAttributes(DWORD attributes);
