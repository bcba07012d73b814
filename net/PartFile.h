// The file a download's body goes to before it may take its target's place: made beside
// the target, so that the final rename stays on one volume and replaces the target in one
// step (the target is always either the earlier file or the whole new one). From its first
// byte to its last, and through the checks and the rename, its one handle lets nobody else
// write, delete or rename it; what was checked is what takes the target's place.
#pragma once

#include <windows.h>

#include <cstdint>

#include "CString.h"
#include "KernelHandle.h"

// The folder of a local path, with its last separator, so that the folder of "C:\x" is
// the root; ".\" for a bare name.
CString FolderOf(const CString& strTarget);

class CPartFile {
public:
    // Creates the file under a fresh name of the part files' pattern (never one that was
    // there before: a planted file or link is not opened), readable and writable through
    // its handle, which shares reading only. Check IsOpen().
    explicit CPartFile(const CString& strTarget);
    // Removes the file, through its handle, unless it has replaced the target.
    ~CPartFile();
    CPartFile(const CPartFile&) = delete;
    CPartFile& operator=(const CPartFile&) = delete;

    bool IsOpen() const { return bool(m_file); }
    HANDLE get() const { return m_file.get(); }
    // The file's own name; empty once it has replaced the target.
    const CString& Path() const { return m_strPath; }
    // Why the last step failed, for the log ("the disk is full", "in use", ...).
    const CString& Failure() const { return m_strFailure; }

    // Keeps the first nBytes and writes on from there: 0 starts the file over.
    bool KeepFirst(uint64_t nBytes);
    // Appends bytes; false (and Failure()) when the disk does not take them all.
    bool Write(const void* pData, DWORD cb);
    // Puts the file on disk, so that a crash right after the rename cannot leave the
    // replaced file empty.
    bool Flush();
    // Whether the nBytes of the file are a Windows program: "MZ", and the PE signature
    // where the DOS header says it lies, inside the file. Read through the handle.
    bool IsProgram(uint64_t nBytes);
    // Renames the file over the target through its handle. An earlier target that is in
    // use (another program holds it without sharing its deletion, a scanner reads it) is
    // tried again every kReplaceRetryStepMs for up to kReplaceRetryMs; then, or for any
    // other failure, false, and the earlier target stays as it was.
    bool ReplaceTarget();
    // After ReplaceTarget: gives up the writing handle and opens, by the target's name,
    // the handle for a start: reading only, sharing reading only, so nobody may write,
    // delete or rename the file while it is held, and a program started from it may open
    // it to read as installers do. False unless it is the very file that was checked
    // (the same file id); then nothing is held.
    bool KeepForStart(KernelHandle* pKept);

private:
    bool Fail(const char* pszWhat, DWORD dwError);

    CString m_strTarget;
    CString m_strPath;
    CString m_strFailure;
    KernelHandle m_file;
};
