// Ending running copies of the player, started here from a stand-in program.
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <string>

#include "install/ProcessStopper.h"
#include "support/TestUtil.h"

namespace {

// The stand-in player copied under a file name into a folder and started; ended again
// when the test is over, whatever happened.
class RunningCopy {
public:
    RunningCopy(const std::string& folder, const std::string& fileName)
    {
        const std::string path = folder + "\\" + fileName;
        if (!::CreateDirectoryA(folder.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
            return;
        if (!testutil::CopyFileTo(testutil::ProgramPath("idle_player"), path))
            return;
        m_hProcess = testutil::StartProcess("\"" + path + "\"", folder.c_str());
        // Running means: its main module is known under the name it was started with.
        if (m_hProcess)
            m_running = testutil::WaitFor([&] { return ModuleName() == fileName; });
    }
    ~RunningCopy()
    {
        if (!m_hProcess)
            return;
        if (IsRunning()) {
            ::TerminateProcess(m_hProcess, 1);
            ::WaitForSingleObject(m_hProcess, 5000);
        }
        ::CloseHandle(m_hProcess);
    }
    RunningCopy(const RunningCopy&) = delete;
    RunningCopy& operator=(const RunningCopy&) = delete;

    bool Started() const { return m_running; }
    bool IsRunning() const { return ::WaitForSingleObject(m_hProcess, 0) == WAIT_TIMEOUT; }
    DWORD ExitCode() const
    {
        DWORD code = 0;
        ::GetExitCodeProcess(m_hProcess, &code);
        return code;
    }

private:
    std::string ModuleName() const
    {
        HMODULE hModule = nullptr;
        DWORD cb = 0;
        char name[MAX_PATH] = {};
        if (!::EnumProcessModules(m_hProcess, &hModule, sizeof hModule, &cb) ||
            !::GetModuleBaseNameA(m_hProcess, hModule, name, MAX_PATH - 1))
            return std::string();
        return name;
    }

    HANDLE m_hProcess = nullptr;
    bool m_running = false;
};

TEST(StopRunningProcesses, EndsEveryCopyOfThePlayerWhereverItLiesAndOnlyThoseOfThatExactName)
{
    testutil::ScopedTempDir dir;
    RunningCopy first(dir / "one", "MELVORA.exe");
    RunningCopy second(dir / "two", "MELVORA.exe");
    RunningCopy lowerCase(dir / "three", "melvora.exe");
    ASSERT_TRUE(first.Started());
    ASSERT_TRUE(second.Started());
    ASSERT_TRUE(lowerCase.Started());

    StopRunningProcesses("MELVORA.exe");

    // Gone by the time the call returns, each ended with the exit code it reported while
    // running (STILL_ACTIVE).
    EXPECT_FALSE(first.IsRunning());
    EXPECT_FALSE(second.IsRunning());
    EXPECT_EQ(first.ExitCode(), DWORD(STILL_ACTIVE));
    EXPECT_EQ(second.ExitCode(), DWORD(STILL_ACTIVE));
    EXPECT_TRUE(lowerCase.IsRunning());
}

TEST(StopRunningProcesses, ANameThatMatchesNoProcessEndsNothing)
{
    testutil::ScopedTempDir dir;
    RunningCopy player(dir / "one", "MELVORA.exe");
    ASSERT_TRUE(player.Started());
    // Neither a prefix of the name, nor the name without extension, nor nothing matches.
    for (const char* name : {"MELVORA.ex", "MELVORA", "ELVORA.exe", "MELVORA.exe ", ""})
        StopRunningProcesses(name);
    EXPECT_TRUE(player.IsRunning());
}

}  // namespace
