#include "support/RunningPlayer.h"

#include <psapi.h>

#include "support/TestUtil.h"

RunningPlayer::RunningPlayer(const std::string& folder, const std::string& fileName)
{
    if (!::CreateDirectoryA(folder.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
        return;
    const std::string path = folder + "\\" + fileName;
    if (!testutil::CopyFileTo(testutil::ProgramPath("idle_player"), path))
        return;
    m_hProcess = testutil::StartProcess("\"" + path + "\"", folder.c_str());
    // Running means: the process list knows it under the name it was started with.
    if (m_hProcess)
        m_started = testutil::WaitFor([&] { return ModuleName() == fileName; });
}

RunningPlayer::~RunningPlayer()
{
    if (!m_hProcess)
        return;
    if (IsRunning()) {
        ::TerminateProcess(m_hProcess, 1);
        ::WaitForSingleObject(m_hProcess, 5000);
    }
    ::CloseHandle(m_hProcess);
}

DWORD RunningPlayer::ExitCode() const
{
    DWORD code = 0;
    ::GetExitCodeProcess(m_hProcess, &code);
    return code;
}

std::string RunningPlayer::ModuleName() const
{
    HMODULE hModule = nullptr;
    DWORD cb = 0;
    char name[MAX_PATH] = {};
    if (!::EnumProcessModules(m_hProcess, &hModule, sizeof hModule, &cb) ||
        !::GetModuleBaseNameA(m_hProcess, hModule, name, MAX_PATH - 1))
        return std::string();
    return name;
}
