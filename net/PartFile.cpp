#include "PartFile.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

#include "DownloadRetry.h"
#include "ProgramImage.h"

namespace {

const int kNameTries = 64;
// ERROR_DISK_QUOTA_EXCEEDED, which MinGW's headers lack: the user's quota on the volume.
const DWORD kErrorDiskQuotaExceeded = 1295;

bool IsDiskFull(DWORD dwError)
{
    switch (dwError) {
    case ERROR_DISK_FULL: case ERROR_HANDLE_DISK_FULL: case kErrorDiskQuotaExceeded: return true;
    default: return false;
    }
}

// A file held by another program: Windows and Wine say "access denied" for a rename over
// a file open without delete sharing, and "sharing violation" for some other holds.
bool IsInUse(DWORD dwError)
{
    return dwError == ERROR_SHARING_VIOLATION || dwError == ERROR_ACCESS_DENIED || dwError == ERROR_LOCK_VIOLATION;
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b)
{
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

// Reads exactly cb bytes at offset through the handle; false for fewer.
bool ReadAt(HANDLE hFile, uint64_t offset, void* pData, DWORD cb)
{
    OVERLAPPED at = {};
    at.Offset = DWORD(offset);
    at.OffsetHigh = DWORD(offset >> 32);
    DWORD read = 0;
    return ::ReadFile(hFile, pData, cb, &read, &at) && read == cb;
}

bool RenameThroughHandle(HANDLE hFile, const CString& strTarget)
{
    const int cch = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, strTarget, strTarget.GetLength(), nullptr, 0);
    if (cch <= 0) {
        ::SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    const size_t cb = offsetof(FILE_RENAME_INFO, FileName) + (size_t(cch) + 1) * sizeof(WCHAR);
    std::unique_ptr<BYTE[]> storage(new (std::nothrow) BYTE[cb]());
    if (!storage) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    auto* pInfo = reinterpret_cast<FILE_RENAME_INFO*>(storage.get());
    pInfo->ReplaceIfExists = TRUE;
    pInfo->RootDirectory = nullptr;
    pInfo->FileNameLength = DWORD(cch * sizeof(WCHAR));
    ::MultiByteToWideChar(CP_ACP, 0, strTarget, strTarget.GetLength(), pInfo->FileName, cch);
    return ::SetFileInformationByHandle(hFile, FileRenameInfo, pInfo, DWORD(cb)) != FALSE;
}

}  // namespace

CString FolderOf(const CString& strTarget)
{
    int slash = strTarget.ReverseFind('\\');
    const int forwardSlash = strTarget.ReverseFind('/');
    if (forwardSlash > slash)
        slash = forwardSlash;
    return slash < 0 ? CString(".\\") : strTarget.Left(slash + 1);
}

CPartFile::CPartFile(const CString& strTarget) : m_strTarget(strTarget)
{
    const CString folder = FolderOf(strTarget);
    // Names in the part files' pattern, from a start of this run's own; CREATE_NEW takes
    // only a name that nothing has.
    DWORD seed = (::GetTickCount() ^ (::GetCurrentProcessId() << 5) ^ (::GetCurrentThreadId() << 11)) & 0xFFFF;
    DWORD dwError = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < kNameTries && dwError == ERROR_FILE_EXISTS; ++attempt) {
        const DWORD number = ((seed + DWORD(attempt) * 40503u) & 0xFFFF) | 1;
        CString path;
        path.Format("%s%s%lX.tmp", folder.GetString(), kPartFilePrefix, static_cast<unsigned long>(number));
        KernelHandle file(::CreateFileA(path, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        dwError = file ? ERROR_SUCCESS : ::GetLastError();
        if (file) {
            m_strPath = path;
            m_file.TakeFrom(file);
        }
    }
    if (!m_file)
        Fail("could not be created", dwError);
}

CPartFile::~CPartFile()
{
    if (m_file && !m_strPath.IsEmpty()) {
        // Gone when the handle closes: no step by name, which might lead elsewhere.
        FILE_DISPOSITION_INFO disposition = {TRUE};
        if (!::SetFileInformationByHandle(m_file.get(), FileDispositionInfo, &disposition, sizeof disposition)) {
            m_file.Close();
            ::DeleteFileA(m_strPath);
        }
    }
}

bool CPartFile::Fail(const char* pszWhat, DWORD dwError)
{
    if (IsDiskFull(dwError))
        m_strFailure.Format("%s: the disk is full (error %lu)", pszWhat, static_cast<unsigned long>(dwError));
    else
        m_strFailure.Format("%s (error %lu)", pszWhat, static_cast<unsigned long>(dwError));
    return false;
}

bool CPartFile::KeepFirst(uint64_t nBytes)
{
    LARGE_INTEGER at;
    at.QuadPart = LONGLONG(nBytes);
    if (!m_file || !::SetFilePointerEx(m_file.get(), at, nullptr, FILE_BEGIN) || !::SetEndOfFile(m_file.get()))
        return Fail("could not be written", ::GetLastError());
    return true;
}

bool CPartFile::Write(const void* pData, DWORD cb)
{
    DWORD written = 0;
    if (!::WriteFile(m_file.get(), pData, cb, &written, nullptr))
        return Fail("could not be written", ::GetLastError());
    // A short write without an error is a full disk all the same.
    return written == cb || Fail("could not be written", ERROR_DISK_FULL);
}

bool CPartFile::Flush()
{
    return ::FlushFileBuffers(m_file.get()) || Fail("could not be written", ::GetLastError());
}

bool CPartFile::IsProgram(uint64_t nBytes)
{
    unsigned char header[kDosHeaderSize];
    unsigned char signature[4];
    uint64_t offset = 0;
    const bool program = nBytes >= kDosHeaderSize && ReadAt(m_file.get(), 0, header, sizeof header) &&
                         PeSignatureOffset(header, sizeof header, nBytes, &offset) &&
                         ReadAt(m_file.get(), offset, signature, sizeof signature) &&
                         IsPeSignature(signature, sizeof signature);
    if (!program)
        m_strFailure = "not a program";
    return program;
}

bool CPartFile::ReplaceTarget()
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (RenameThroughHandle(m_file.get(), m_strTarget)) {
            m_strPath.Empty();
            return true;
        }
        const DWORD dwError = ::GetLastError();
        if (!IsInUse(dwError))
            return Fail("could not replace the earlier file", dwError);
        if (::GetTickCount() - start >= kReplaceRetryMs)
            return Fail("in use, the earlier file is kept", dwError);
        ::Sleep(kReplaceRetryStepMs);
    }
}

bool CPartFile::KeepForStart(KernelHandle* pKept)
{
    BY_HANDLE_FILE_INFORMATION written = {}, kept = {};
    if (!m_file || !m_strPath.IsEmpty() || !::GetFileInformationByHandle(m_file.get(), &written))
        return Fail("could not be kept", ::GetLastError());
    m_file.Close();
    KernelHandle keeper(::CreateFileA(m_strTarget, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!keeper)
        return Fail("could not be kept", ::GetLastError());
    if (!::GetFileInformationByHandle(keeper.get(), &kept) || !SameFile(written, kept))
        return Fail("changed before it could be kept", ERROR_FILE_INVALID);
    pKept->TakeFrom(keeper);
    return true;
}
