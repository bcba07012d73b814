// Leaving no trace of the uninstaller itself.
//
// A running program's file cannot be deleted, and the uninstaller's file lies in the
// folder it removes. So the program the user starts (the original) writes a copy of
// itself into the system's temporary folder and runs that copy, which does the work. The copy is
// opened for deletion on close, and the copy inherits that handle: when the copy ends,
// its handle closes and the system deletes its file. The original waits for the copy's
// outcome (through a pipe), ends with it as its exit code, and the copy, after seeing it
// end, deletes the original's program file, which it had moved out of the install folder
// (a running program's file can be renamed, though not deleted).
#pragma once

#include <windows.h>

#include "CString.h"
#include "KernelHandle.h"

// The system's temporary folder (in the Windows folder), ending in "\"; empty when the
// system names none that fits. Only administrators can change the folders on its way.
CString TemporaryFolder();
// Moves a file, also a running program's, to a fresh name in the temporary folder on the
// same volume: the uninstaller's own file, or a file in use that waits there for the next
// restart. The new path, or empty when it could not be moved (GetLastError tells why).
enum class MovedFile { Uninstaller, InUse };
CString MoveToTemporaryFolder(const CString& path, MovedFile kind);

// The original's part: starts the copy with the arguments given and waits for its
// outcome. False when no copy could be made or started: nothing has happened then, and
// the caller does the work itself.
bool RunTemporaryCopy(const CString& arguments, int* pExitCode);
// The same with another program's file as the copy; onCreated, when given, is called with
// the copy's path as soon as it exists, before its keeper is made (a test swaps the name
// there, as another program could).
typedef void (*CopyWrittenHook)(const CString& copyPath);
bool RunTemporaryCopyOf(const CString& program, const CString& arguments, int* pExitCode, CopyWrittenHook onCreated);

// The copy's part: the original it works for, opened while it surely still runs (it
// waits for the copy's outcome).
class COriginalProgram {
public:
    explicit COriginalProgram(DWORD processId);

    // Hands the outcome to the original, which then ends with it as its exit code.
    void Report(int exitCode);
    // Waits (a bounded time) until the original has ended.
    void WaitUntilEnded();

private:
    KernelHandle m_process;
};
