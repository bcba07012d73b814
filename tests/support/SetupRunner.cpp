#include "support/SetupRunner.h"

#include "support/TestUtil.h"

namespace setuprunner {

namespace {

struct FindState {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindWizardProc(HWND hWnd, LPARAM lParam)
{
    FindState* state = reinterpret_cast<FindState*>(lParam);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hWnd, &pid);
    if (pid != state->processId || !::IsWindowVisible(hWnd))
        return TRUE;
    char caption[64] = {};
    ::GetWindowTextA(hWnd, caption, sizeof caption);
    if (std::string(caption) == "MELVORA \xBC\xB3\xC4\xA1") {   // "MELVORA 설치"
        state->found = hWnd;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND FindWizard(DWORD processId)
{
    FindState state{processId, nullptr};
    ::EnumWindows(&FindWizardProc, reinterpret_cast<LPARAM>(&state));
    return state.found;
}

bool RunToStartAndCancel(const std::string& path, DWORD timeoutMs, const std::function<bool()>& readyToCancel)
{
    HANDLE hProcess = testutil::StartProcess("\"" + path + "\"");
    if (!hProcess)
        return false;
    const DWORD pid = ::GetProcessId(hProcess);
    bool cancelled = false;
    const DWORD start = ::GetTickCount();
    bool ended = false;
    while (::GetTickCount() - start < timeoutMs) {
        if (::WaitForSingleObject(hProcess, 50) == WAIT_OBJECT_0) {
            ended = true;
            break;
        }
        if (!cancelled && (!readyToCancel || readyToCancel())) {
            if (HWND hWizard = FindWizard(pid)) {
                ::PostMessageA(hWizard, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                               reinterpret_cast<LPARAM>(::GetDlgItem(hWizard, IDCANCEL)));
                cancelled = true;
            }
        }
    }
    if (!ended) {
        ::TerminateProcess(hProcess, 1);
        ::WaitForSingleObject(hProcess, 5000);
    }
    ::CloseHandle(hProcess);
    return ended;
}

}  // namespace setuprunner
