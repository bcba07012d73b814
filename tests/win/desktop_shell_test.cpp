// Opening a program through the desktop's own shell, the route by which an elevated setup
// starts the player with the signed-in user's rights. Wine gives every process the same
// rights, so what can be seen here is the route: the program runs as a child of the
// desktop shell, not of the process that asked. (The finish page itself takes the plain
// route under Wine; the end-to-end finish tests see the player start that way.)
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sys/DesktopShell.h"
#include "support/TestUtil.h"

namespace {

struct ProcessInfo {
    DWORD id = 0;
    DWORD parentId = 0;
    std::string name;
};

// The processes whose program file has this base name, case-insensitively.
std::vector<ProcessInfo> ProcessesNamed(const char* name)
{
    std::vector<ProcessInfo> found;
    HANDLE hSnapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (hSnapshot == INVALID_HANDLE_VALUE)
        return found;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32First(hSnapshot, &entry); more; more = ::Process32Next(hSnapshot, &entry)) {
        if (!name || ::lstrcmpiA(entry.szExeFile, name) == 0)
            found.push_back({entry.th32ProcessID, entry.th32ParentProcessID, entry.szExeFile});
    }
    ::CloseHandle(hSnapshot);
    return found;
}

std::string ProcessName(DWORD id)
{
    for (const ProcessInfo& process : ProcessesNamed(nullptr)) {
        if (process.id == id)
            return process.name;
    }
    return std::string();
}

TEST(DesktopShell, OpensTheProgramAsAChildOfTheDesktopShell)
{
    testutil::ScopedTempDir dir;
    // A Korean folder name: the path crosses to the shell as UTF-16 and must arrive whole.
    const std::string folder = dir / "멜보라 플레이어";
    ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
    const std::string program = folder + "\\shell_opened.exe";
    ASSERT_TRUE(testutil::CopyFileTo(testutil::ProgramPath("idle_player"), program));

    ASSERT_TRUE(OpenThroughDesktopShell(program.c_str()));
    std::vector<ProcessInfo> opened;
    ASSERT_TRUE(testutil::WaitFor([&] { return !(opened = ProcessesNamed("shell_opened.exe")).empty(); }))
        << "the program did not start";
    for (const ProcessInfo& process : opened) {
        EXPECT_NE(process.parentId, ::GetCurrentProcessId());
        EXPECT_EQ(ProcessName(process.parentId), "explorer.exe");
        HANDLE hProcess = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, process.id);
        if (hProcess) {
            ::TerminateProcess(hProcess, 0);
            ::WaitForSingleObject(hProcess, 5000);
            ::CloseHandle(hProcess);
        }
    }
}

}  // namespace
