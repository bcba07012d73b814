#include "TempCopy.h"

#include <sddl.h>

#include <vector>

#include "KernelHandle.h"
#include "ProgramPath.h"
#include "UninstallReport.h"

namespace {

const char kNamePrefix[] = "MELVORA-uninstall-";
const char kRemovedPrefix[] = "MELVORA-removed-";
const int kNameTries = 100;
const DWORD kMaxProgramBytes = 16 * 1024 * 1024;
const DWORD kOriginalEndWaitMs = 60000;
const DWORD kStoppedCopyWaitMs = 5000;
// Under the Windows folder; "MELVORA-uninstall-4294967295-99.exe" is the longest name in it.
const char kTemporarySubfolder[] = "Temp\\";
const int kLongestFreshName = 40;
// The copy runs as administrator: only the system, the administrators and the file's
// owner (the elevated administrators themselves) may open it, so that nothing running
// without elevation can change it before it runs.
const char kCopySecurity[] = "D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;OW)";

bool ReadProgramFile(const CString& program, std::vector<char>* bytes)
{
    KernelHandle file(::CreateFileA(program, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
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

CString FreshName(const CString& folder, const char* prefix, int attempt, const char* extension)
{
    CString path;
    path.Format("%s%s%lu-%d.%s", folder.GetString(), prefix, ::GetCurrentProcessId(), attempt, extension);
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
bool WriteCopy(const std::vector<char>& bytes, CString* pPath, KernelHandle* pKeeper, CopyWrittenHook onCreated)
{
    const CString folder = TemporaryFolder();
    PSECURITY_DESCRIPTOR pSecurity = nullptr;
    if (folder.IsEmpty() ||
        !::ConvertStringSecurityDescriptorToSecurityDescriptorA(kCopySecurity, SDDL_REVISION_1, &pSecurity, nullptr))
        return false;
    SECURITY_ATTRIBUTES security = {sizeof security, pSecurity, FALSE};
    for (int attempt = 0; attempt < kNameTries && !*pKeeper; ++attempt) {
        const CString path = FreshName(folder, kNamePrefix, attempt, "exe");
        // CREATE_NEW: never a file (or a link) that someone put there before.
        const DWORD access = GENERIC_WRITE | FILE_READ_ATTRIBUTES;
        KernelHandle writer(::CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_DELETE, &security, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!writer) {
            if (::GetLastError() == ERROR_FILE_EXISTS)
                continue;
            break;
        }
        if (onCreated)
            onCreated(path);
        // The keeper goes on before the first byte, made from the writer's handle: the
        // file just made, whatever its name has come to lead to. Wine 8 reopens a handle
        // by the name it was opened with, so the file is looked at first, through a handle
        // that deletes nothing, and the keeper is checked once more.
        KernelHandle probe(::ReOpenFile(writer.get(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0));
        if (!probe || !SameFile(writer.get(), probe.get()))
            break;   // not ours at its name: nothing is deleted, no copy runs
        KernelHandle keeper(::ReOpenFile(probe.get(), DELETE | FILE_READ_ATTRIBUTES,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_FLAG_DELETE_ON_CLOSE));
        if (!keeper || !SameFile(writer.get(), keeper.get()))
            break;   // the empty file stays: nothing is deleted by its name
        if (!WriteAll(writer.get(), bytes))
            break;   // the keeper deletes it
        *pPath = path;
        pKeeper->TakeFrom(keeper);
    }
    ::LocalFree(pSecurity);
    return bool(*pKeeper);
}

// Whether the suspended process runs the kept file: its image is read from the file its
// path named when it started, which must be the very file of the keeper.
bool RunsKeptFile(HANDLE hProcess, HANDLE hKeeper)
{
    WCHAR image[MAX_PATH * 2] = {};
    DWORD length = MAX_PATH * 2;
    if (!::QueryFullProcessImageNameW(hProcess, 0, image, &length) || length == 0)
        return false;
    KernelHandle file(::CreateFileW(image, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return file && SameFile(file.get(), hKeeper);
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
        started = ::CreateProcessA(path, line.data(), nullptr, nullptr, TRUE,
                                   EXTENDED_STARTUPINFO_PRESENT | CREATE_SUSPENDED, nullptr, TemporaryFolder(),
                                   &startup.StartupInfo, pInfo) != FALSE;
    }
    ::DeleteProcThreadAttributeList(list);
    if (!started)
        return false;
    // Started by name: it runs only when that name led to the kept copy.
    if (RunsKeptFile(pInfo->hProcess, hKeeper) && ::ResumeThread(pInfo->hThread) != DWORD(-1))
        return true;
    ::TerminateProcess(pInfo->hProcess, kExitFailed);
    ::WaitForSingleObject(pInfo->hProcess, kStoppedCopyWaitMs);
    ::CloseHandle(pInfo->hThread);
    ::CloseHandle(pInfo->hProcess);
    return false;
}

}  // namespace

CString TemporaryFolder()
{
    // The system's own, not the user's (%TMP%, which the user's programs may point at a
    // folder of theirs): nobody without administrator rights can rename or replace any
    // folder on its path, nor change what an administrator made in it.
    char folder[MAX_PATH + 1] = {};
    const UINT n = ::GetSystemWindowsDirectoryA(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return CString();
    CString path(folder, int(n));
    if (path[path.GetLength() - 1] != '\\')
        path += '\\';
    path += kTemporarySubfolder;
    return path.GetLength() + kLongestFreshName < MAX_PATH ? path : CString();
}

CString MoveToTemporaryFolder(const CString& path, MovedFile kind)
{
    const CString folder = TemporaryFolder();
    const char* prefix = kind == MovedFile::Uninstaller ? kNamePrefix : kRemovedPrefix;
    DWORD error = ERROR_PATH_NOT_FOUND;
    for (int attempt = 0; attempt < kNameTries && !folder.IsEmpty(); ++attempt) {
        const CString moved = FreshName(folder, prefix, attempt, "old");
        if (::MoveFileExA(path, moved, 0))
            return moved;
        error = ::GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS)
            break;   // another volume, for one: the file would have to be copied
    }
    ::SetLastError(error);
    return CString();
}

bool RunTemporaryCopy(const CString& arguments, int* pExitCode)
{
    return RunTemporaryCopyOf(OwnProgramPath(), arguments, pExitCode, nullptr);
}

bool RunTemporaryCopyOf(const CString& program, const CString& arguments, int* pExitCode, CopyWrittenHook onCreated)
{
    std::vector<char> bytes;
    CString path;
    KernelHandle keeper, reportRead, reportWrite;
    PROCESS_INFORMATION info = {};
    if (program.IsEmpty() || !ReadProgramFile(program, &bytes) || !WriteCopy(bytes, &path, &keeper, onCreated) ||
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
