#include "DirectFile.h"

#include <algorithm>
#include <vector>

namespace {

// IsReparseTagNameSurrogate: a reparse point that stands for another name (a symbolic
// link, a junction, a mount point). Others (cloud placeholders, deduplicated files) are
// the file itself. Wine reports its links without a tag: a tagless one counts as a link.
const DWORD kNameSurrogateTag = 0x20000000;

typedef std::vector<wchar_t> WidePath;

WidePath Wide(const CString& text)
{
    const int cch = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    WidePath wide(cch > 0 ? size_t(cch) : 0);
    if (cch <= 0 || ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, wide.data(), cch) != cch)
        return WidePath();
    return wide;
}

enum class PathKind { Full, Long, Final };

// A path as the system gives it: the full or long form of `from`, or the final path of
// hFile. Each of these calls answers the length it needs when the path does not fit.
WidePath SystemPath(PathKind kind, const WidePath& from, HANDLE hFile)
{
    WidePath path(MAX_PATH + 1);
    for (int tries = 0; tries < 3; ++tries) {
        const DWORD size = DWORD(path.size());
        DWORD n = 0;
        if (kind == PathKind::Full)
            n = ::GetFullPathNameW(from.data(), size, path.data(), nullptr);
        else if (kind == PathKind::Long)
            n = ::GetLongPathNameW(from.data(), path.data(), size);
        else
            n = ::GetFinalPathNameByHandleW(hFile, path.data(), size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (n == 0)
            return WidePath();
        path.resize(n + 1);
        if (n < size)
            return path;
    }
    return WidePath();
}

// The path asked for, as the system spells the file it names: full, with long names.
WidePath AskedPath(const CString& path)
{
    const WidePath wide = Wide(path);
    const WidePath full = wide.empty() ? WidePath() : SystemPath(PathKind::Full, wide, nullptr);
    if (full.empty())
        return WidePath();
    const WidePath longer = SystemPath(PathKind::Long, full, nullptr);
    return longer.empty() ? full : longer;
}

// Where the handle's file really is, as a path of the usual form ("C:\...", "\\server\...").
WidePath FinalPath(HANDLE hFile)
{
    WidePath path = SystemPath(PathKind::Final, WidePath(), hFile);
    static const wchar_t kUnc[] = L"\\\\?\\UNC\\";
    static const wchar_t kLocal[] = L"\\\\?\\";
    if (path.size() > 8 && std::equal(kUnc, kUnc + 8, path.begin()))
        path.erase(path.begin() + 2, path.begin() + 8);   // keeps the leading "\\"
    else if (path.size() > 4 && std::equal(kLocal, kLocal + 4, path.begin()))
        path.erase(path.begin(), path.begin() + 4);
    return path;
}

bool SamePath(const WidePath& a, const WidePath& b)
{
    return !a.empty() && !b.empty() && ::CompareStringOrdinal(a.data(), -1, b.data(), -1, TRUE) == CSTR_EQUAL;
}

bool IsLink(const FILE_ATTRIBUTE_TAG_INFO& tag)
{
    return (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           (tag.ReparseTag == 0 || (tag.ReparseTag & kNameSurrogateTag));
}

// Whether the handle's file is the one the path names, with nothing in between.
bool ReachedDirectly(HANDLE hFile, const CString& path, bool folder)
{
    BY_HANDLE_FILE_INFORMATION info = {};
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    if (::GetFileType(hFile) != FILE_TYPE_DISK || !::GetFileInformationByHandle(hFile, &info) ||
        !::GetFileInformationByHandleEx(hFile, FileAttributeTagInfo, &tag, sizeof tag) || IsLink(tag))
        return false;
    const bool isFolder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (isFolder != folder || (!folder && info.nNumberOfLinks != 1))
        return false;
    return SamePath(FinalPath(hFile), AskedPath(path));
}

}  // namespace

DirectOpen OpenDirectFile(const CString& path, DWORD access, DWORD creation, KernelHandle* pFile)
{
    KernelHandle file(::CreateFileA(path, access | DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr, creation,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? DirectOpen::Missing
                                                                               : DirectOpen::Failed;
    }
    const bool made = creation == OPEN_ALWAYS && ::GetLastError() != ERROR_ALREADY_EXISTS;
    if (!ReachedDirectly(file.get(), path, false)) {
        if (made)
            DeleteThroughHandle(file.get());   // made behind a junction: it goes again
        return DirectOpen::Refused;
    }
    pFile->TakeFrom(file);
    return DirectOpen::Opened;
}

bool IsDirectFolder(const CString& path)
{
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    KernelHandle folder(::CreateFileA(path, FILE_READ_ATTRIBUTES, share, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return folder && ReachedDirectly(folder.get(), path, true);
}

bool DeleteThroughHandle(HANDLE hFile)
{
    FILE_DISPOSITION_INFO disposition = {TRUE};
    if (::SetFileInformationByHandle(hFile, FileDispositionInfo, &disposition, sizeof disposition))
        return true;
    // A read-only file refuses: its attribute goes first, through the same handle.
    FILE_BASIC_INFO basic = {};
    if (!::GetFileInformationByHandleEx(hFile, FileBasicInfo, &basic, sizeof basic) ||
        !(basic.FileAttributes & FILE_ATTRIBUTE_READONLY))
        return false;
    basic.FileAttributes &= ~DWORD(FILE_ATTRIBUTE_READONLY);
    if (basic.FileAttributes == 0)
        basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    return ::SetFileInformationByHandle(hFile, FileBasicInfo, &basic, sizeof basic) &&
           ::SetFileInformationByHandle(hFile, FileDispositionInfo, &disposition, sizeof disposition);
}

bool ReplaceContent(HANDLE hFile, const void* pData, DWORD cbData)
{
    if (::SetFilePointer(hFile, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER || !::SetEndOfFile(hFile))
        return false;
    const char* p = static_cast<const char*>(pData);
    for (DWORD done = 0; done < cbData;) {
        DWORD n = 0;
        if (!::WriteFile(hFile, p + done, cbData - done, &n, nullptr) || n == 0)
            return false;
        done += n;
    }
    return true;
}
