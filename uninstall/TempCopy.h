// Leaving no trace of the uninstaller itself.
//
// A running program's file cannot be deleted, and the uninstaller's file lies in the
// folder it removes. So the program the user starts (the original) writes a copy of
// itself into the temporary folder and runs that copy, which does the work. The copy is
// opened for deletion on close, and the copy inherits that handle: when the copy ends,
// its handle closes and the system deletes its file. The original waits for the copy's
// outcome (through a pipe), ends with it as its exit code, and the copy, after seeing it
// end, deletes the original's program file, which it had moved out of the install folder
// (a running program's file can be renamed, though not deleted).
#pragma once

#include <windows.h>

#include "CString.h"
#include "KernelHandle.h"

// The temporary folder, ending in "\"; empty when the system names none that fits.
CString TemporaryFolder();
// Moves a file, also a running program's, to a fresh name in the temporary folder on the
// same volume. The new path, or empty when it could not be moved.
CString MoveToTemporaryFolder(const CString& path);

// The original's part: starts the copy with the arguments given and waits for its
// outcome. False when no copy could be made or started: nothing has happened then, and
// the caller does the work itself.
bool RunTemporaryCopy(const CString& arguments, int* pExitCode);

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
