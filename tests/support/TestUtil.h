// Helpers shared by the tests that run under Wine.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testutil {

// Setup.exe of the same build (MELVORA_SETUP_EXE, else next to the test's folder).
std::string SetupExePath();
// A test program built beside the tests (tests/programs), by its base name.
std::string ProgramPath(const char* name);
// A fresh empty folder for one test; removed again by ScopedTempDir.
class ScopedTempDir {
public:
    ScopedTempDir();
    ~ScopedTempDir();
    ScopedTempDir(const ScopedTempDir&) = delete;
    ScopedTempDir& operator=(const ScopedTempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "\\" + name; }

private:
    std::string m_path;
};

bool CopyFileTo(const std::string& from, const std::string& to);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
// The whole file, or nothing when it cannot be read; *exists tells which.
std::string ReadFileBytes(const std::string& path, bool* exists = nullptr);
bool FileExists(const std::string& path);
// The names in a folder, sorted byte-wise ("." and ".." left out; empty when it is missing).
std::vector<std::string> FolderEntries(const std::string& folder);
// Removes a folder and everything in it.
void RemoveTree(const std::string& path);

// Links of the kind a user's programs could plant, made as Wine allows (Wine makes no
// links of its own: a Unix symbolic link in the prefix is what it takes for a symbolic
// link or a junction). The paths are Windows paths inside the prefix. RemoveTree and
// DeleteKeyTree remove such links themselves, never what they lead to.
bool MakeUnixLink(const std::string& linkPath, const std::string& targetPath);
bool RemoveUnixLink(const std::string& linkPath);
bool IsUnixLink(const std::string& path);
// A registry link at root\subKey to target, a path in the registry's own form
// ("\Registry\Machine\Software\...").
bool MakeRegistryLink(HKEY root, const char* subKey, const std::wstring& target);
bool IsRegistryLink(HKEY root, const char* subKey);
void DeleteRegistryLink(HKEY root, const char* subKey);

// A loopback port on which nothing listens: bound once and released again (0 on failure).
int UnusedLoopbackPort();

// Starts a program and returns its process handle (null on failure).
HANDLE StartProcess(const std::string& commandLine, const char* workingDir = nullptr);
// Runs a program to its end (or kills it after timeoutMs); returns its exit code,
// or -1 when it could not be started or had to be killed.
int RunAndWait(const std::string& commandLine, DWORD timeoutMs = 30000);

// A registry value as raw data; type REG_NONE and exists=false when absent.
struct RegValue {
    bool exists = false;
    DWORD type = REG_NONE;
    std::string data;
};
RegValue ReadRegValue(HKEY root, const char* subKey, const char* name);
bool KeyExists(HKEY root, const char* subKey);
void DeleteKeyTree(HKEY root, const char* subKey);

// Waits until pred() is true or timeoutMs passes, pumping this thread's messages.
template <typename Pred>
bool WaitFor(Pred pred, DWORD timeoutMs = 10000)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (pred())
            return true;
        if (::GetTickCount() - start > timeoutMs)
            return false;
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        ::Sleep(10);
    }
}

}  // namespace testutil
