#include "SystemLibrary.h"

#include <cstring>

namespace {

// Both present since Windows 7 with KB2533623; not named here through the import table,
// so the program still starts on a system without them.
const DWORD kSearchSystem32 = 0x00000800;   // LOAD_LIBRARY_SEARCH_SYSTEM32
using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);

}  // namespace

void RestrictDllSearchToSystemFolder()
{
    const HMODULE hKernel = ::GetModuleHandleA("kernel32.dll");
    const auto pSetDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(hKernel ? ::GetProcAddress(hKernel, "SetDefaultDllDirectories") : nullptr));
    if (!pSetDefault || !pSetDefault(kSearchSystem32))
        ::SetDllDirectoryA("");
}

HMODULE LoadSystemLibrary(const char* pszFileName)
{
    HMODULE hModule = ::LoadLibraryExA(pszFileName, nullptr, kSearchSystem32);
    if (hModule || ::GetLastError() != ERROR_INVALID_PARAMETER)
        return hModule;
    // A system that does not know the flag: name the file in the system folder itself.
    char path[MAX_PATH];
    const UINT n = ::GetSystemDirectoryA(path, MAX_PATH);
    const size_t cchName = std::strlen(pszFileName);
    if (n == 0 || n + 1 + cchName >= MAX_PATH)
        return nullptr;
    path[n] = '\\';
    std::memcpy(path + n + 1, pszFileName, cchName + 1);
    return ::LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
