#include "Remover.h"

#include "TempCopy.h"

namespace {

// Deeper folders than this are not entered (and so not removed): the walk is recursive.
const int kMaxFolderDepth = 32;
// A program that has just ended may hold its file a moment longer.
const int kMovedProgramTries = 50;
const DWORD kMovedProgramPauseMs = 100;

// A registry key opened for one operation, closed when it goes out of scope.
class OpenKey {
public:
    OpenKey(HKEY hRoot, const char* pszKey, REGSAM access)
        : m_error(::RegOpenKeyExA(hRoot, pszKey, 0, access, &m_hKey))
    {
    }
    ~OpenKey()
    {
        if (m_error == ERROR_SUCCESS)
            ::RegCloseKey(m_hKey);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;

    LONG error() const { return m_error; }
    HKEY get() const { return m_hKey; }

private:
    HKEY m_hKey = nullptr;
    LONG m_error;
};

// One FindFirstFile search, closed when it goes out of scope.
class FolderSearch {
public:
    explicit FolderSearch(const CString& pattern) : m_hFind(::FindFirstFileA(pattern, &m_data)) {}
    ~FolderSearch()
    {
        if (m_hFind != INVALID_HANDLE_VALUE)
            ::FindClose(m_hFind);
    }
    FolderSearch(const FolderSearch&) = delete;
    FolderSearch& operator=(const FolderSearch&) = delete;

    bool found() const { return m_hFind != INVALID_HANDLE_VALUE; }
    const WIN32_FIND_DATAA& data() const { return m_data; }
    bool Next() { return ::FindNextFileA(m_hFind, &m_data) != FALSE; }

private:
    WIN32_FIND_DATAA m_data = {};
    HANDLE m_hFind;
};

bool Nameable(const CString& path)
{
    return path.GetLength() < MAX_PATH;
}

}  // namespace

bool IsFolderAttributes(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsLinkAttributes(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

DWORD CRemover::AttributesToRemove(const CString& path)
{
    if (!Nameable(path)) {
        m_report.Failed(path, ReasonForError(ERROR_FILENAME_EXCED_RANGE));
        return INVALID_FILE_ATTRIBUTES;
    }
    return ::GetFileAttributesA(path);
}

void CRemover::RemoveOneFile(const CString& path, bool listWhenRemoved)
{
    const DWORD attributes = AttributesToRemove(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        ::SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
    if (::DeleteFileA(path)) {
        if (listWhenRemoved)
            m_report.Removed(path);
        return;
    }
    const DWORD error = ::GetLastError();
    if (!(IsInUseError(error) && ScheduleAtRestart(path, error)))
        m_report.Failed(path, ReasonForError(error));
}

bool CRemover::ScheduleAtRestart(const CString& path, DWORD error)
{
    if (!::MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
        return false;
    m_report.AtRestart(path, ReasonForError(error));
    return true;
}

void CRemover::RemoveProgramFile(const CString& path)
{
    if (::GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)
        return;
    if (::DeleteFileA(path)) {
        m_report.Removed(path);
        return;
    }
    const CString moved = MoveToTemporaryFolder(path);
    if (moved.IsEmpty()) {
        RemoveOneFile(path, true);   // cannot be moved either: it goes at the next restart
        return;
    }
    m_movedProgram = moved;
    m_report.Removed(path);
}

void CRemover::FinishMovedProgram(bool itsProgramRuns)
{
    if (m_movedProgram.IsEmpty())
        return;
    // Once its program has ended, the file may stay busy for a moment.
    for (int i = 0; !itsProgramRuns && i < kMovedProgramTries; ++i) {
        if (::DeleteFileA(m_movedProgram) || ::GetLastError() == ERROR_FILE_NOT_FOUND)
            return;
        ::Sleep(kMovedProgramPauseMs);
    }
    if (::MoveFileExA(m_movedProgram, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) && itsProgramRuns)
        m_report.AtRestart(m_movedProgram, "제거 프로그램이 실행 중입니다");
}

void CRemover::RemoveTreeAt(const CString& path, int depth)
{
    const DWORD attributes = AttributesToRemove(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if (!IsFolderAttributes(attributes)) {
        RemoveOneFile(path, depth == 0);
        return;
    }
    if (!IsLinkAttributes(attributes)) {
        if (depth >= kMaxFolderDepth) {
            m_report.Failed(path, "폴더가 너무 깊습니다");
            return;
        }
        FolderSearch search(path + "\\*");
        for (bool more = search.found(); more; more = search.Next()) {
            const CString name = search.data().cFileName;
            if (name != "." && name != "..")
                RemoveTreeAt(path + "\\" + name, depth + 1);
        }
    }
    // A link to a folder goes as the folder it seems to be: RemoveDirectory takes the link.
    if (::RemoveDirectoryA(path)) {
        if (depth == 0)
            m_report.Removed(path);
        return;
    }
    const DWORD error = ::GetLastError();
    if (!(error == ERROR_DIR_NOT_EMPTY && m_report.WaitsForRestartIn(path) && ScheduleAtRestart(path, error)))
        m_report.Failed(path, ReasonForError(error));
}

void CRemover::RemoveEmptyFolder(const CString& path, const char* whyKept)
{
    if (::GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)
        return;
    if (::RemoveDirectoryA(path)) {
        m_report.Removed(path);
        return;
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_DIR_NOT_EMPTY)
        m_report.Failed(path, ReasonForError(error));
    else if (!(m_report.WaitsForRestartIn(path) && ScheduleAtRestart(path, error)))
        m_report.Kept(path, whyKept);
}

void CRemover::RemoveRegistryValue(HKEY hRoot, const char* pszKey, const char* pszValue, const CString& shownAs)
{
    OpenKey key(hRoot, pszKey, KEY_QUERY_VALUE | KEY_SET_VALUE);
    if (key.error() == ERROR_FILE_NOT_FOUND)
        return;
    const LONG error = key.error() == ERROR_SUCCESS ? ::RegDeleteValueA(key.get(), pszValue) : key.error();
    if (error == ERROR_SUCCESS)
        m_report.Removed(shownAs);
    else if (error != ERROR_FILE_NOT_FOUND)
        m_report.Failed(shownAs, ReasonForError(DWORD(error)));
}

void CRemover::RemoveRegistryKey(HKEY hRoot, const char* pszKey, const CString& shownAs)
{
    {
        OpenKey key(hRoot, pszKey, KEY_QUERY_VALUE);
        if (key.error() == ERROR_FILE_NOT_FOUND)
            return;
    }
    const LONG error = ::RegDeleteTreeA(hRoot, pszKey);
    if (error == ERROR_SUCCESS)
        m_report.Removed(shownAs);
    else if (error != ERROR_FILE_NOT_FOUND)
        m_report.Failed(shownAs, ReasonForError(DWORD(error)));
}
