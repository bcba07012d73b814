#include "ProcessStopper.h"

#include <windows.h>
#include <psapi.h>

#include "KernelHandle.h"

namespace {

const DWORD kMaxProcesses = 1024;
const DWORD kQueryAccess = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;   // 0x0410
const DWORD kEndAccess = 0x1F0FFF;                                         // PROCESS_ALL_ACCESS
// How long the start waits, in all, for ended players to be gone. The wizard's window
// waits with it, so a process that does not go (stuck in a driver, say) may not hold it
// up for longer; the install goes on, and a player file still in use fails its
// download as any file in use would, leaving the earlier one.
const DWORD kEndWaitMs = 5000;

// Base name of the main module of an opened process; false when it cannot be asked, so
// that the process matches no name at all.
bool GetMainModuleName(HANDLE hProcess, CString* pstrName)
{
    HMODULE hModule = nullptr;
    DWORD cbNeeded = 0;
    if (!::EnumProcessModules(hProcess, &hModule, sizeof hModule, &cbNeeded))
        return false;
    // One byte more than offered, so a name cut at the limit still ends in a terminator.
    char name[MAX_PATH + 1] = {};
    const DWORD n = ::GetModuleBaseNameA(hProcess, hModule, name, MAX_PATH);
    if (n == 0)
        return false;
    *pstrName = CString(name, int(n < MAX_PATH ? n : MAX_PATH));
    return true;
}

// Ends the process with its own current exit code and waits until it is gone, at most
// dwWaitMs. Called while the handle that matched its name is still open: that handle
// keeps the process object, and with it the id, from being reused by another process in
// between.
void EndProcess(DWORD dwProcessId, DWORD dwWaitMs)
{
    const KernelHandle process(::OpenProcess(kEndAccess, FALSE, dwProcessId));
    if (!process.get())
        return;
    DWORD dwExitCode = 0;
    ::GetExitCodeProcess(process.get(), &dwExitCode);
    if (::TerminateProcess(process.get(), dwExitCode) == 1)
        ::WaitForSingleObject(process.get(), dwWaitMs);
}

}  // namespace

void StopRunningProcesses(const CString& strName)
{
    DWORD ids[kMaxProcesses] = {};
    DWORD cbReturned = 0;
    if (!::EnumProcesses(ids, sizeof ids, &cbReturned))
        return;
    const DWORD count = cbReturned / sizeof ids[0];
    const DWORD dwStart = ::GetTickCount();
    for (DWORD i = 0; i < count && i < kMaxProcesses; ++i) {
        const KernelHandle process(::OpenProcess(kQueryAccess, FALSE, ids[i]));
        CString strModule;
        if (process.get() && GetMainModuleName(process.get(), &strModule) && strModule == strName) {
            const DWORD dwElapsed = ::GetTickCount() - dwStart;
            EndProcess(ids[i], dwElapsed < kEndWaitMs ? kEndWaitMs - dwElapsed : 0);
        }
        // The name check's handle closes only now, after the end and the wait.
    }
}
