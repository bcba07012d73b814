// A DLL that records each load: planted beside Setup.exe under the names of system DLLs,
// it creates "<its own path>.loaded" in whichever process loads it.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID)
{
    char path[MAX_PATH + 8] = {};
    const DWORD n = ::GetModuleFileNameA(hInstance, path, MAX_PATH);
    if (dwReason == DLL_PROCESS_ATTACH && n > 0 && n < MAX_PATH) {
        ::lstrcatA(path, ".loaded");
        const HANDLE hFile = ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (hFile != INVALID_HANDLE_VALUE)
            ::CloseHandle(hFile);
    }
    return TRUE;
}
