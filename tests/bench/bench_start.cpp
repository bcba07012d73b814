// Start-up benchmark, run by tools/bench_start.py (not part of the test suite).
//
//   bench_start.exe <runs> <Setup_demo.exe of build a> <Setup_demo.exe of build b> [c ...]
//
// Runs the setup programs one after the other, in turns (a b c, then b c a, ...), on a
// clean machine each time, and for each run prints one line:
//   build=<a|b|...> run=<n> start_ms=<from CreateProcess to page 1 painted on the screen>
//   start_ws=<peak working set then> wizard_ws=<peak working set at the finish page, after
//   all six pages> ok=<0|1>
// Page 1 counts as painted once the screen shows its skin's banner (blue, where the
// dialog's own background is grey) at a point of the client area.
#include <windows.h>
#include <psapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/SetupRunner.h"
#include "support/TestUtil.h"
#include "support/WizardDriver.h"

namespace {

const POINT kBannerPoint = {10, 10};   // client coordinates, inside page 1's banner

std::string Folder(int csidl)
{
    char path[MAX_PATH] = {};
    ::SHGetFolderPathA(nullptr, csidl, nullptr, 0, path);
    return path;
}

// What an install leaves, so that every run installs afresh.
void CleanMachine()
{
    testutil::RemoveTree(Folder(CSIDL_PROGRAM_FILES) + "\\MELVORA");
    testutil::RemoveTree(Folder(CSIDL_PROGRAM_FILES) + "\\MELVORA Tools");
    testutil::RemoveTree(Folder(CSIDL_PROGRAM_FILES) + "\\MELVORA Extras");
    testutil::RemoveTree(Folder(CSIDL_COMMON_PROGRAMS) + "\\MELVORA");
    testutil::DeleteKeyTree(HKEY_CURRENT_USER, "Software\\MELVORA");
    testutil::DeleteKeyTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\MELVORA");
}

bool BannerShown(HWND hDlg)
{
    POINT pt = kBannerPoint;
    if (!::IsWindowVisible(hDlg) || !::ClientToScreen(hDlg, &pt))
        return false;
    HDC hScreen = ::GetDC(nullptr);
    const COLORREF c = ::GetPixel(hScreen, pt.x, pt.y);
    ::ReleaseDC(nullptr, hScreen);
    return c != CLR_INVALID && GetBValue(c) > GetRValue(c) + 60 && GetBValue(c) > GetGValue(c) + 60;
}

SIZE_T PeakWorkingSet(DWORD processId)
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    HANDLE hProcess = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    if (!hProcess)
        return 0;
    const BOOL ok = ::GetProcessMemoryInfo(hProcess, &counters, sizeof counters);
    ::CloseHandle(hProcess);
    return ok ? counters.PeakWorkingSetSize : 0;
}

// One run of one build; false when the wizard did not come up or finish.
bool RunOnce(const std::string& setup, char build, int run)
{
    CleanMachine();
    WizardDriver wizard;
    LARGE_INTEGER frequency, started, shown;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&started);
    bool ok = wizard.StartProgram(setup);
    HWND hDlg = nullptr;
    ok = ok && testutil::WaitFor(
                   [&] {
                       hDlg = setuprunner::FindWizard(wizard.ProcessId());
                       return hDlg && BannerShown(hDlg);
                   },
                   60000);
    ::QueryPerformanceCounter(&shown);
    const SIZE_T startWs = ok ? PeakWorkingSet(wizard.ProcessId()) : 0;
    ok = ok && wizard.WaitForWizard() && wizard.WaitForTree();
    for (int page = 2; ok && page <= 5; ++page) {
        ok = wizard.PressNext() && wizard.WaitForPage(page, 20000);
        if (ok && wizard.CurrentPage() >= 5)
            break;   // no folder page without components; the install runs
    }
    ok = ok && wizard.WaitForPage(6, 120000) && testutil::WaitFor([&] { return wizard.IsEnabled(1001); });
    const SIZE_T wizardWs = ok ? PeakWorkingSet(wizard.ProcessId()) : 0;
    wizard.Terminate();
    std::printf("build=%c run=%d start_ms=%.1f start_ws=%lu wizard_ws=%lu ok=%d\n", build, run,
                double(shown.QuadPart - started.QuadPart) * 1000.0 / double(frequency.QuadPart),
                static_cast<unsigned long>(startWs), static_cast<unsigned long>(wizardWs), ok ? 1 : 0);
    std::fflush(stdout);
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::printf("usage: bench_start <runs> <Setup_demo.exe of a> <Setup_demo.exe of b> [...]\n");
        return 2;
    }
    const int runs = std::atoi(argv[1]);
    const int builds = argc - 2;
    bool ok = true;
    for (int run = 1; run <= runs; ++run) {
        for (int k = 0; k < builds; ++k) {
            const int which = (k + run - 1) % builds;   // each run starts with the next build
            ok &= RunOnce(argv[2 + which], char('a' + which), run);
        }
    }
    CleanMachine();
    return ok ? 0 : 1;
}
