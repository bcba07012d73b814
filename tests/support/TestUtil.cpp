#include <winsock2.h>

#include "support/TestUtil.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace testutil {

namespace {

std::string ModuleFolder()
{
    char path[MAX_PATH * 4] = {};
    ::GetModuleFileNameA(nullptr, path, sizeof path - 1);
    std::string s(path);
    return s.substr(0, s.rfind('\\'));
}

std::string EnvOr(const char* name, const std::string& fallback)
{
    char value[MAX_PATH * 4] = {};
    const DWORD n = ::GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? std::string(value, n) : fallback;
}

}  // namespace

std::string SetupExePath()
{
    const std::string folder = ModuleFolder();
    return EnvOr("MELVORA_SETUP_EXE", folder.substr(0, folder.rfind('\\')) + "\\Setup.exe");
}

std::string ProgramPath(const char* name)
{
    const std::string folder = ModuleFolder();
    return folder.substr(0, folder.rfind('\\')) + "\\programs\\" + name + ".exe";
}

ScopedTempDir::ScopedTempDir()
{
    char base[MAX_PATH + 1] = {};
    ::GetTempPathA(MAX_PATH, base);
    static LONG counter = 0;
    for (;;) {
        char name[64];
        std::snprintf(name, sizeof name, "melvora-test-%lu-%ld", ::GetCurrentProcessId(),
                      ::InterlockedIncrement(&counter));
        m_path = std::string(base) + name;
        if (::CreateDirectoryA(m_path.c_str(), nullptr))
            return;
    }
}

ScopedTempDir::~ScopedTempDir()
{
    RemoveTree(m_path);
}

bool CopyFileTo(const std::string& from, const std::string& to)
{
    return ::CopyFileA(from.c_str(), to.c_str(), FALSE) != FALSE;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes)
{
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = ::WriteFile(h, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    ::CloseHandle(h);
    return ok && written == bytes.size();
}

std::string ReadFileBytes(const std::string& path, bool* exists)
{
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (exists)
        *exists = h != INVALID_HANDLE_VALUE;
    if (h == INVALID_HANDLE_VALUE)
        return std::string();
    std::string data;
    char buffer[65536];
    DWORD n = 0;
    while (::ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n > 0)
        data.append(buffer, n);
    ::CloseHandle(h);
    return data;
}

bool FileExists(const std::string& path)
{
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = ::FindFirstFileA((folder + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::string name = fd.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (::FindNextFileA(h, &fd));
    ::FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
}

void RemoveTree(const std::string& path)
{
    // A folder link that a test planted goes itself; what it leads to stays.
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) && RemoveUnixLink(path))
        return;
    WIN32_FIND_DATAA fd;
    HANDLE h = ::FindFirstFileA((path + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = fd.cFileName;
            if (name == "." || name == "..")
                continue;
            const std::string full = path + "\\" + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(full);
            } else {
                ::SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileA(full.c_str());
            }
        } while (::FindNextFileA(h, &fd));
        ::FindClose(h);
    }
    ::RemoveDirectoryA(path.c_str());
}

namespace {

typedef LONG(CDECL* UnixSpawn)(char* const argv[], int wait);
typedef char*(CDECL* UnixFileName)(LPCWSTR dosPath);

// Runs a Unix program with these arguments, Windows paths turned into Unix ones.
bool RunUnix(const char* program, const std::vector<std::string>& options, const std::vector<std::string>& paths)
{
    const auto spawn = reinterpret_cast<UnixSpawn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "__wine_unix_spawnvp")));
    const auto unixName = reinterpret_cast<UnixFileName>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!spawn || !unixName)
        return false;
    std::vector<std::string> args{program};
    args.insert(args.end(), options.begin(), options.end());
    for (const std::string& path : paths) {
        WCHAR wide[MAX_PATH * 2] = {};
        ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH * 2);
        char* name = unixName(wide);
        if (!name)
            return false;
        args.push_back(name);
        ::HeapFree(::GetProcessHeap(), 0, name);
    }
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    return spawn(argv.data(), 1) == 0;
}

typedef LONG(WINAPI* NtDeleteKeyFunction)(HANDLE);

}  // namespace

bool MakeUnixLink(const std::string& linkPath, const std::string& targetPath)
{
    return RunUnix("/bin/ln", {"-s"}, {targetPath, linkPath}) && FileExists(linkPath);
}

bool RemoveUnixLink(const std::string& linkPath)
{
    return IsUnixLink(linkPath) && RunUnix("/bin/rm", {"-f"}, {linkPath}) && !IsUnixLink(linkPath);
}

bool IsUnixLink(const std::string& path)
{
    return RunUnix("/usr/bin/test", {"-L"}, {path});
}

bool MakeRegistryLink(HKEY root, const char* subKey, const std::wstring& target)
{
    HKEY hKey = nullptr;
    if (::RegCreateKeyExA(root, subKey, 0, nullptr, REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE,
                          KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &hKey, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG set = ::RegSetValueExW(hKey, L"SymbolicLinkValue", 0, REG_LINK,
                                      reinterpret_cast<const BYTE*>(target.c_str()), DWORD(target.size() * 2));
    ::RegCloseKey(hKey);
    return set == ERROR_SUCCESS;
}

bool IsRegistryLink(HKEY root, const char* subKey)
{
    HKEY hKey = nullptr;
    if (::RegOpenKeyExA(root, subKey, REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS)
        return false;
    DWORD type = REG_NONE;
    const bool link = ::RegQueryValueExA(hKey, "SymbolicLinkValue", nullptr, &type, nullptr, nullptr) ==
                          ERROR_SUCCESS && type == REG_LINK;
    ::RegCloseKey(hKey);
    return link;
}

void DeleteRegistryLink(HKEY root, const char* subKey)
{
    const auto deleteKey = reinterpret_cast<NtDeleteKeyFunction>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtDeleteKey")));
    HKEY hKey = nullptr;
    if (!deleteKey || !IsRegistryLink(root, subKey) ||
        ::RegOpenKeyExA(root, subKey, REG_OPTION_OPEN_LINK, DELETE, &hKey) != ERROR_SUCCESS)
        return;
    deleteKey(hKey);
    ::RegCloseKey(hKey);
}

int UnusedLoopbackPort()
{
    WSADATA wsa;
    if (::WSAStartup(MAKEWORD(2, 2), &wsa) != 0)
        return 0;
    int port = 0;
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s != INVALID_SOCKET) {
        sockaddr_in addr = {};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int len = sizeof addr;
        if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
            ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
            port = ntohs(addr.sin_port);
        ::closesocket(s);
    }
    ::WSACleanup();
    return port;
}

HANDLE StartProcess(const std::string& commandLine, const char* workingDir)
{
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::vector<char> cmd(commandLine.begin(), commandLine.end());
    cmd.push_back('\0');
    if (!::CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, workingDir, &si, &pi))
        return nullptr;
    ::CloseHandle(pi.hThread);
    return pi.hProcess;
}

int RunAndWait(const std::string& commandLine, DWORD timeoutMs)
{
    HANDLE h = StartProcess(commandLine);
    if (!h)
        return -1;
    int code = -1;
    if (::WaitForSingleObject(h, timeoutMs) == WAIT_OBJECT_0) {
        DWORD exitCode = 0;
        ::GetExitCodeProcess(h, &exitCode);
        code = int(exitCode);
    } else {
        ::TerminateProcess(h, 1);
        ::WaitForSingleObject(h, 5000);
    }
    ::CloseHandle(h);
    return code;
}

RegValue ReadRegValue(HKEY root, const char* subKey, const char* name)
{
    RegValue v;
    HKEY hKey = nullptr;
    if (::RegOpenKeyExA(root, subKey, 0, KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS)
        return v;
    DWORD type = 0, size = 0;
    if (::RegQueryValueExA(hKey, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        std::vector<char> buffer(size + 1);
        if (::RegQueryValueExA(hKey, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) ==
            ERROR_SUCCESS) {
            v.exists = true;
            v.type = type;
            v.data.assign(buffer.data(), size);
        }
    }
    ::RegCloseKey(hKey);
    return v;
}

bool KeyExists(HKEY root, const char* subKey)
{
    HKEY hKey = nullptr;
    if (::RegOpenKeyExA(root, subKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(hKey);
    return true;
}

void DeleteKeyTree(HKEY root, const char* subKey)
{
    if (IsRegistryLink(root, subKey)) {
        DeleteRegistryLink(root, subKey);   // never what a link a test planted leads to
        return;
    }
    HKEY hKey = nullptr;
    if (::RegOpenKeyExA(root, subKey, 0, KEY_READ | KEY_WRITE, &hKey) == ERROR_SUCCESS) {
        for (;;) {
            char child[256];
            DWORD n = sizeof child;
            if (::RegEnumKeyExA(hKey, 0, child, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            const std::string childPath = std::string(subKey) + "\\" + child;
            const size_t before = childPath.size();
            DeleteKeyTree(root, childPath.c_str());
            if (KeyExists(root, childPath.c_str()) && before)
                break;   // could not delete: stop rather than loop
        }
        ::RegCloseKey(hKey);
    }
    ::RegDeleteKeyA(root, subKey);
}

}  // namespace testutil
