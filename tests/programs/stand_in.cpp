// A stand-in for the programs the installer downloads and starts (the player, component
// installers). When started it appends its own path and command line to the file named
// by MELVORA_STARTED_LOG, then ends; run as MELVORA.exe it can also stay running
// (MELVORA_STAND_IN_WAIT=1), like a player would.
#include <windows.h>

#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char logPath[MAX_PATH] = {};
    if (::GetEnvironmentVariableA("MELVORA_STARTED_LOG", logPath, sizeof logPath) - 1 < sizeof logPath - 1) {
        char self[MAX_PATH] = {};
        ::GetModuleFileNameA(nullptr, self, sizeof self - 1);
        HANDLE h = ::CreateFileA(logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            DWORD n = 0;
            ::WriteFile(h, self, DWORD(std::strlen(self)), &n, nullptr);
            ::WriteFile(h, "\n", 1, &n, nullptr);
            ::CloseHandle(h);
        }
    }
    char wait[8] = {};
    if (::GetEnvironmentVariableA("MELVORA_STAND_IN_WAIT", wait, sizeof wait) && wait[0] == '1')
        ::Sleep(120000);
    return 0;
}
