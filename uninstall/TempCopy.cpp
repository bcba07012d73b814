#include "TempCopy.h"

#include <sddl.h>

#include <vector>

#include "KernelHandle.h"
#include "ProgramPath.h"
#include "UninstallReport.h"

namespace {

const char kNamePrefix[] = "MELVORA-uninstall-";
const int kNameTries = 100;
const DWORD kMaxProgramBytes = 16 * 1024 * 1024;
const DWORD kOriginalEndWaitMs = 60000;
// The copy runs as administrator from the user's temporary folder: only the system, the
// administrators and the file's owner (the elevated administrators themselves) may open
// it, so that nothing running without elevation can change it before it runs.
const char kCopySecurity[] = "D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;OW)";

bool ReadOwnFile(std::vector<char>* bytes)
{
    KernelHandle file(::CreateFileA(OwnProgramPath(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !::GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 || size.QuadPart > kMaxProgramBytes)
        return false;
    bytes->resize(size_t(size.QuadPart));
    DWORD done = 0;
    while (done < bytes->size()) {
        DWORD n = 0;
        if (!::ReadFile(file.get(), bytes->data() + done, DWORD(bytes->size() - done), &n, nullptr) || n == 0)
            return false;
        done += n;
    }
    return true;
}

bool WriteAll(HANDLE hFile, const std::vector<char>& bytes)
{
    DWORD done = 0;
    while (done < bytes.size()) {
        DWORD n = 0;
        if (!::WriteFile(hFile, bytes.data() + done, DWORD(bytes.size() - done), &n, nullptr) || n == 0)
            return false;
        done += n;
    }
    return true;
}

CString FreshName(const CString& folder, int attempt, const char* extension)
{
    CString path;
    path.Format("%s%s%lu-%d.%s", folder.GetString(), kNamePrefix, ::GetCurrentProcessId(), attempt, extension);
    return path;
}

bool SameFile(HANDLE a, HANDLE b)
{
    BY_HANDLE_FILE_INFORMATION ia = {}, ib = {};
    return ::GetFileInformationByHandle(a, &ia) && ::GetFileInformationByHandle(b, &ib) &&
           ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
           ia.nFileIndexLow == ib.nFileIndexLow;
}

// Writes the copy under a fresh name. *pKeeper receives the handle that deletes it when
// the last handle to it closes; while that handle is open nobody can rename or delete it.
bool WriteCopy(const std::vector<char>& bytes, CString* pPath, KernelHandle* pKeeper)
{
    const CString folder = TemporaryFolder();
    PSECURITY_DESCRIPTOR pSecurity = nullptr;
    if (folder.IsEmpty() ||
        !::ConvertStringSecurityDescriptorToSecurityDescriptorA(kCopySecurity, SDDL_REVISION_1, &pSecurity, nullptr))
        return false;
    SECURITY_ATTRIBUTES security = {sizeof security, pSecurity, FALSE};
    for (int attempt = 0; attempt < kNameTries && !*pKeeper; ++attempt) {
        const CString path = FreshName(folder, attempt, "exe");
        // CREATE_NEW: never a file (or a link) that someone put there before.
        KernelHandle writer(::CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, &security,
                                          CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!writer) {
            if (::GetLastError() == ERROR_FILE_EXISTS)
                continue;
            break;
        }
        // The keeper goes on before the first byte, and must be the very file just made.
        KernelHandle keeper(::CreateFileA(path, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        if (!keeper || !SameFile(writer.get(), keeper.get())) {
            writer.Close();
            if (!keeper)
                ::DeleteFileA(path);
            break;
        }
        if (!WriteAll(writer.get(), bytes))
            break;   // the keeper deletes it
        *pPath = path;
        pKeeper->TakeFrom(keeper);
    }
    ::LocalFree(pSecurity);
    return bool(*pKeeper);
}

// Starts the copy with exactly two handles inherited: the keeper, so that the copy's end
// deletes its file, and the pipe's writing end as its standard output.
bool StartCopy(const CString& path, const CString& arguments, HANDLE hKeeper, HANDLE hReport,
               PROCESS_INFORMATION* pInfo)
{
    SIZE_T size = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    if (size == 0)
        return false;
    std::vector<char> storage(size);
    auto list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
    if (!::InitializeProcThreadAttributeList(list, 1, 0, &size))
        return false;
    HANDLE inherited[] = {hKeeper, hReport};
    bool started = ::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                               sizeof inherited, nullptr, nullptr) &&
                   ::SetHandleInformation(hKeeper, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT) &&
                   ::SetHandleInformation(hReport, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    if (started) {
        STARTUPINFOEXA startup = {};
        startup.StartupInfo.cb = sizeof startup;
        startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
        startup.StartupInfo.hStdOutput = hReport;
        startup.lpAttributeList = list;
        const CString commandLine = "\"" + path + "\" " + arguments;
        std::vector<char> line(commandLine.GetString(), commandLine.GetString() + commandLine.GetLength() + 1);
        started = ::CreateProcessA(path, line.data(), nullptr, nullptr, TRUE, EXTENDED_STARTUPINFO_PRESENT, nullptr,
                                   TemporaryFolder(), &startup.StartupInfo, pInfo) != FALSE;
    }
    ::DeleteProcThreadAttributeList(list);
    return started;
}

}  // namespace

CString TemporaryFolder()
{
    char folder[MAX_PATH + 1] = {};
    const DWORD n = ::GetTempPathA(sizeof folder, folder);
    if (n == 0 || n >= sizeof folder || folder[n - 1] != '\\')
        return CString();
    return CString(folder, int(n));
}

CString MoveToTemporaryFolder(const CString& path)
{
    const CString folder = TemporaryFolder();
    for (int attempt = 0; attempt < kNameTries && !folder.IsEmpty(); ++attempt) {
        const CString moved = FreshName(folder, attempt, "old");
        if (::MoveFileExA(path, moved, 0))
            return moved;
        const DWORD error = ::GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS)
            break;   // another volume, for one: the file would have to be copied
    }
    return CString();
}

bool RunTemporaryCopy(const CString& arguments, int* pExitCode)
{
    std::vector<char> bytes;
    CString path;
    KernelHandle keeper, reportRead, reportWrite;
    PROCESS_INFORMATION info = {};
    if (!ReadOwnFile(&bytes) || !WriteCopy(bytes, &path, &keeper) ||
        !::CreatePipe(reportRead.out(), reportWrite.out(), nullptr, 0) ||
        !StartCopy(path, arguments, keeper.get(), reportWrite.get(), &info))
        return false;
    KernelHandle process(info.hProcess), thread(info.hThread);
    // The copy's windows may come to the front, as this program's would.
    ::AllowSetForegroundWindow(info.dwProcessId);
    keeper.Close();
    reportWrite.Close();   // so that the read ends if the copy ends without a word
    int code = 0;
    DWORD done = 0;
    while (done < sizeof code) {
        DWORD n = 0;
        if (!::ReadFile(reportRead.get(), reinterpret_cast<char*>(&code) + done, sizeof code - done, &n, nullptr) ||
            n == 0)
            break;
        done += n;
    }
    *pExitCode = done == sizeof code ? code : kExitFailed;   // the copy ended without a word
    return true;
}

COriginalProgram::COriginalProgram(DWORD processId) : m_process(::OpenProcess(SYNCHRONIZE, FALSE, processId)) {}

void COriginalProgram::Report(int exitCode)
{
    const HANDLE hOut = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (!hOut || hOut == INVALID_HANDLE_VALUE)
        return;
    DWORD n = 0;
    ::WriteFile(hOut, &exitCode, sizeof exitCode, &n, nullptr);
    ::SetStdHandle(STD_OUTPUT_HANDLE, nullptr);
    ::CloseHandle(hOut);
}

void COriginalProgram::WaitUntilEnded()
{
    if (m_process)
        ::WaitForSingleObject(m_process.get(), kOriginalEndWaitMs);
}
