#include "support/UninstallerDriver.h"

#include <psapi.h>

#include "support/TestUtil.h"

namespace uninstaller {

namespace {

const char kCaption[] = "MELVORA 제거";
const int kTextId = 1100;
const char kCopyPrefix[] = "melvora-uninstall-";

bool StartsWithCopyPrefix(std::string name)
{
    ::CharLowerA(&name[0]);
    return name.compare(0, sizeof kCopyPrefix - 1, kCopyPrefix) == 0;
}

}  // namespace

HWND WaitForDialog(int buttonId, DWORD timeoutMs)
{
    HWND hDlg = nullptr;
    testutil::WaitFor([&] {
        hDlg = ::FindWindowA("#32770", kCaption);
        return hDlg && ::IsWindowVisible(hDlg) && ::GetDlgItem(hDlg, buttonId);
    }, timeoutMs);
    return hDlg && ::GetDlgItem(hDlg, buttonId) ? hDlg : nullptr;
}

void Press(HWND hDlg, int buttonId)
{
    ::PostMessageA(hDlg, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), LPARAM(::GetDlgItem(hDlg, buttonId)));
}

std::string Text(HWND hDlg)
{
    std::vector<char> text(16384);
    ::SendMessageA(::GetDlgItem(hDlg, kTextId), WM_GETTEXT, text.size(), LPARAM(text.data()));
    return text.data();
}

std::string TemporaryFolder()
{
    char windows[MAX_PATH + 1] = {};
    ::GetSystemWindowsDirectoryA(windows, MAX_PATH);
    return std::string(windows) + "\\Temp\\";
}

std::vector<std::string> TemporaryCopies(bool remove)
{
    const std::string temp = TemporaryFolder();
    std::vector<std::string> copies;
    for (const std::string& name : testutil::FolderEntries(temp)) {
        if (!StartsWithCopyPrefix(name))
            continue;
        copies.push_back(name);
        if (remove)
            ::DeleteFileA((temp + name).c_str());
    }
    return copies;
}

bool LeftNoTrace()
{
    if (!TemporaryCopies().empty())
        return false;
    DWORD ids[1024], cb = 0;
    ::EnumProcesses(ids, sizeof ids, &cb);
    for (DWORD i = 0; i < cb / sizeof ids[0]; ++i) {
        HANDLE h = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ids[i]);
        char name[MAX_PATH] = {};
        if (h) {
            ::GetModuleBaseNameA(h, nullptr, name, MAX_PATH - 1);
            ::CloseHandle(h);
        }
        if (::lstrcmpiA(name, "uninstall.exe") == 0 || StartsWithCopyPrefix(name))
            return false;
    }
    return true;
}

}  // namespace uninstaller
