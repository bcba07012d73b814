// The idle stand-in player copied under a file name into a folder and started; ended
// again when the test is over, whatever happened.
#pragma once

#include <windows.h>

#include <string>

class RunningPlayer {
public:
    RunningPlayer(const std::string& folder, const std::string& fileName);
    ~RunningPlayer();
    RunningPlayer(const RunningPlayer&) = delete;
    RunningPlayer& operator=(const RunningPlayer&) = delete;

    // Started and known to the process list under the name it was started with.
    bool Started() const { return m_started; }
    bool IsRunning() const { return m_hProcess && ::WaitForSingleObject(m_hProcess, 0) == WAIT_TIMEOUT; }
    DWORD ExitCode() const;

private:
    std::string ModuleName() const;

    HANDLE m_hProcess = nullptr;
    bool m_started = false;
};
