#include "Remover.h"

#include "TempCopy.h"

namespace {

// Deeper folders than this are not entered (and so not removed): the walk is recursive.
const int kMaxFolderDepth = 32;
// A program that has just ended may hold its file a moment longer.
const int kMovedProgramTries = 50;
const DWORD kMovedProgramPauseMs = 100;
// A file another program holds (an anti-virus scanner looking at it, a program closing
// it) is tried again this long, in small steps, before it is left for the next restart.
const DWORD kInUseRetryMs = 10000;
const DWORD kInUseRetryPauseMs = 100;

// Deletes a file, trying again while another program holds it; the last error, or
// ERROR_SUCCESS.
DWORD DeleteWithRetries(const CString& path)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (::DeleteFileA(path))
            return ERROR_SUCCESS;
        const DWORD error = ::GetLastError();
        if (!IsInUseError(error) || ::GetTickCount() - start >= kInUseRetryMs)
            return error;
        ::Sleep(kInUseRetryPauseMs);
    }
}

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
    const DWORD error = DeleteWithRetries(path);
    if (error == ERROR_SUCCESS) {
        if (listWhenRemoved)
            m_report.Removed(path);
        return;
    }
    // A running program's file refuses deletion as "access denied", as a folder and a
    // file this program may not delete do: only a file that can still be moved is in use.
    const bool inUse = IsInUseError(error) || (error == ERROR_ACCESS_DENIED && !IsFolderAttributes(attributes));
    if (!(inUse && LeaveForRestart(path, error)))
        m_report.Failed(path, ReasonForError(error));
}

bool CRemover::LeaveForRestart(const CString& path, DWORD error)
{
    // Moved out of the way first, under a name of its own, so that a file put at this
    // path before the restart (a new install) is not the one that goes then.
    const CString moved = MoveToTemporaryFolder(path, MovedFile::InUse);
    const DWORD moveError = ::GetLastError();
    if (!moved.IsEmpty()) {
        if (!::MoveFileExA(moved, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
            ::MoveFileExA(moved, path, 0);   // back where it was, and reported as not removed
            return false;
        }
        m_report.AtRestart(path, ReasonForError(ERROR_SHARING_VIOLATION));
        return true;
    }
    // Refused as "access denied", and its move too: not in use, but not ours to delete.
    if (error == ERROR_ACCESS_DENIED && moveError == ERROR_ACCESS_DENIED)
        return false;
    // Held without sharing, or on another volume than the temporary folder: it can only
    // wait under its own path.
    return ScheduleAtRestart(path, error);
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
    const CString moved = MoveToTemporaryFolder(path, MovedFile::Uninstaller);
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
