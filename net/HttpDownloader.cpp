#include "HttpDownloader.h"

#include <cstring>
#include <memory>
#include <new>

#include "DownloadProgress.h"
#include "PublisherHosts.h"
#include "SetupLog.h"
#include "SignatureCheck.h"
#include "UrlRules.h"

namespace {

// InternetOpenA only fails when the system's network layer is missing or broken; a few
// spaced attempts ride out a passing failure without hanging the install on a dead one.
const int kOpenAttempts = 5;
const DWORD kOpenRetryPauseMs = 200;

// The folder of a local path, with its last separator, so that the folder of "C:\x" is
// the root.
CString FolderOf(const CString& strTarget)
{
    int slash = strTarget.ReverseFind('\\');
    const int forwardSlash = strTarget.ReverseFind('/');
    if (forwardSlash > slash)
        slash = forwardSlash;
    return slash < 0 ? CString(".\\") : strTarget.Left(slash + 1);
}

// A setup killed mid-download leaves its part file behind, and nothing else would ever
// remove it. Only files of the part files' own name pattern go, and only those last
// written before this run started: none of this run's own.
void RemoveStalePartFiles(const CString& folder)
{
    FILETIME started, exited, kernel, user;
    if (!::GetProcessTimes(::GetCurrentProcess(), &started, &exited, &kernel, &user))
        return;
    WIN32_FIND_DATAA found;
    const HANDLE hFind = ::FindFirstFileA(folder + kPartFilePrefix + "*", &found);
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!(found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
            IsPartFileName(found.cFileName) && ::CompareFileTime(&found.ftLastWriteTime, &started) < 0)
            ::DeleteFileA(folder + found.cFileName);
    } while (::FindNextFileA(hFind, &found));
    ::FindClose(hFind);
}

// An earlier file at the target that could not be overwritten (in use, read-only, a
// folder) fails the download before anything is received, as creating it in place did.
bool CanReplace(const CString& strTarget)
{
    if (::GetFileAttributesA(strTarget) == INVALID_FILE_ATTRIBUTES)
        return true;   // nothing there yet; a missing folder fails the part file
    const HANDLE hFile =
        ::CreateFileA(strTarget, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(hFile);
    return true;
}

// In a build that names a signer, a program (.exe or .dll) counts as downloaded only when
// the publisher signed it. The finished part file is checked before it may take the
// target's place: one that fails is deleted with its part file, and the earlier file stays.
bool IsAcceptedProgram(const CString& strTarget, const CString& strPartFile)
{
    const wchar_t* pszSigner = MELVORA_DOWNLOAD_SIGNER;
    if (!*pszSigner || !IsProgramFileName(strTarget))
        return true;
    return IsSignedBy(strPartFile, pszSigner);
}

// One header of the reply as text; false when the reply does not carry it.
bool QueryHeaderText(HINTERNET hUrl, DWORD dwInfoLevel, CString* pstrText)
{
    char buffer[260];
    std::memset(buffer, 0, sizeof buffer);
    DWORD cb = sizeof buffer;
    if (!::HttpQueryInfoA(hUrl, dwInfoLevel, buffer, &cb, nullptr))
        return false;
    // The count excludes the terminator; keep within the buffer whatever it says.
    *pstrText = CString(buffer, cb < sizeof buffer ? int(cb) : int(sizeof buffer) - 1);
    return true;
}

const char* OutcomeText(TryOutcome outcome)
{
    switch (outcome) {
    case TryOutcome::Arrived: return "arrived whole";
    case TryOutcome::NoConnection: return "no connection";
    case TryOutcome::CutShort: return "cut short";
    case TryOutcome::PassingStatus: return "a passing failure of the server";
    case TryOutcome::Silence: return "the server went silent";
    case TryOutcome::Failed: break;
    }
    return "failed";
}

void Notify(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (hWnd)
        ::SendMessageA(hWnd, message, wParam, lParam);
}

// Byte counts travel in lParam, which has 32 bits here; a reply beyond that (only ever
// one longer than declared) shows as the largest count.
LPARAM CountParam(uint64_t nWritten)
{
    return LPARAM(nWritten > 0xFFFFFFFFu ? 0xFFFFFFFFu : DWORD(nWritten));
}

}  // namespace

// The body's own file, made beside the target so that the final rename stays on one
// volume and replaces the target in one step: the target is always either the earlier
// file or the whole new one. It lives through every try of one download, so that a try
// may continue where the last one was cut off. Removed when it goes, unless it replaced
// the target.
class CHttpDownloader::PartFile {
public:
    explicit PartFile(const CString& strTarget) : m_strTarget(strTarget)
    {
        // GetTempFileNameA makes an empty file under a name no other file has, so neither
        // another download nor a part file left over from a crash can be in the way.
        char path[MAX_PATH + 1] = {};
        if (!::GetTempFileNameA(FolderOf(strTarget), kPartFilePrefix, 0, path))
            return;
        m_strPath = path;
        m_hFile = ::CreateFileA(m_strPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    ~PartFile()
    {
        Close();
        if (!m_strPath.IsEmpty())
            ::DeleteFileA(m_strPath);
    }
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    bool IsOpen() const { return m_hFile != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return m_hFile; }

    // Keeps the first nBytes and writes on from there: 0 starts the file over.
    bool KeepFirst(uint64_t nBytes)
    {
        LARGE_INTEGER at;
        at.QuadPart = LONGLONG(nBytes);
        return IsOpen() && ::SetFilePointerEx(m_hFile, at, nullptr, FILE_BEGIN) && ::SetEndOfFile(m_hFile);
    }
    // Closes the finished file. Where it is to replace an earlier file it is put on disk
    // first, so that a crash right after the rename cannot leave that file empty; a new
    // file has nothing to protect and skips the flush's cost. False when it cannot.
    bool Finish(bool bFlush)
    {
        const bool flushed = IsOpen() && (!bFlush || ::FlushFileBuffers(m_hFile));
        return Close() && flushed;
    }
    // The finished file's own name, empty once it has replaced the target.
    const CString& Path() const { return m_strPath; }
    // Renames the finished file over the target (which need not exist).
    bool ReplaceTarget()
    {
        if (m_strPath.IsEmpty() ||
            !::MoveFileExA(m_strPath, m_strTarget, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return false;
        m_strPath.Empty();
        return true;
    }

private:
    bool Close()
    {
        if (!IsOpen())
            return false;
        const bool closed = ::CloseHandle(m_hFile) != FALSE;
        m_hFile = INVALID_HANDLE_VALUE;
        return closed;
    }

    CString m_strTarget;
    CString m_strPath;
    HANDLE m_hFile = INVALID_HANDLE_VALUE;
};

CHttpDownloader::CHttpDownloader() : m_hInternet(nullptr) {}

CHttpDownloader::~CHttpDownloader()
{
    CloseHandles();
}

bool CHttpDownloader::Download(const CString& strUrl, const CString& strLocalPath, HWND hNotifyWnd)
{
    m_strTargetPath = strLocalPath;
    m_resume = ResumePoint();
    bool bResult = false;
    if (OpenInternet()) {
        RemoveStalePartFiles(FolderOf(m_strTargetPath));
        CRetrySchedule schedule;
        for (;;) {
            TryOutcome outcome = TryOutcome::Failed;
            int64_t retryAfter = -1;
            uint64_t received = 0;
            if (OpenUrl(hNotifyWnd, strUrl, &outcome, &retryAfter)) {
                const uint64_t from = m_resume.offset;
                outcome = ReceiveToFile(hNotifyWnd);
                received = m_resume.offset - from;
            }
            LogRequest(strUrl, ReplyStatus(m_url.get()), received, OutcomeText(outcome));
            m_url.Close();
            uint32_t pauseMs = 0;
            if (outcome == TryOutcome::Arrived || !schedule.NextTry(outcome, retryAfter, &pauseMs)) {
                bResult = outcome == TryOutcome::Arrived;
                break;
            }
            SetupLog::Write("  tried again in %lu ms%s", static_cast<unsigned long>(pauseMs),
                            m_resume.CanResume() ? ", for the rest of the file" : "");
            ::Sleep(pauseMs);
        }
    }
    m_part.reset();
    CloseHandles();
    return bResult;
}

bool CHttpDownloader::OpenInternet()
{
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        if (attempt > 0)
            ::Sleep(kOpenRetryPauseMs);
        m_hInternet = ::InternetOpenA("HTTP", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
        if (m_hInternet) {
            SetSilenceBound(m_hInternet, kDownloadSilenceMs);
            return true;
        }
    }
    return false;
}

bool CHttpDownloader::OpenUrl(HWND hNotifyWnd, const CString& strUrl, TryOutcome* pFailure, int64_t* pRetryAfter)
{
    *pFailure = TryOutcome::Failed;
    const bool resuming = m_resume.CanResume();
    const CString headers = resuming ? ResumeHeaders(m_resume) : CString();
    if (!m_url.Open(m_hInternet, strUrl, resuming ? headers.GetString() : nullptr, DWORD(headers.GetLength()),
                    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, kDownloadSilenceMs)) {
        if (FailedOnSilence())
            *pFailure = TryOutcome::Silence;
        else if (FailedOnBrokenConnection())
            *pFailure = TryOutcome::NoConnection;
        return false;
    }

    const DWORD status = ReplyStatus(m_url.get());
    const bool continued = resuming && status == 206;
    if (status != 200 && !continued) {
        if (IsPassingStatus(int(status))) {
            *pFailure = TryOutcome::PassingStatus;
            CString strWait;
            uint32_t seconds = 0;
            if (QueryHeaderText(m_url.get(), HTTP_QUERY_RETRY_AFTER, &strWait) && ParseRetryAfter(strWait, &seconds))
                *pRetryAfter = seconds;
        }
        return false;
    }
    CString strLength;
    uint32_t dwSize = 0;
    if (!QueryHeaderText(m_url.get(), HTTP_QUERY_CONTENT_LENGTH, &strLength) || !ParseDeclaredSize(strLength, &dwSize))
        return false;
    if (continued) {
        CString strRange;
        if (!QueryHeaderText(m_url.get(), HTTP_QUERY_CONTENT_RANGE, &strRange) ||
            !ContinuesFrom(m_resume, strRange, dwSize)) {
            // Not the rest of this file: the next try starts it over.
            m_resume = ResumePoint();
            *pFailure = TryOutcome::CutShort;
            return false;
        }
    } else {
        // The whole file, from its first byte, whatever this try asked for.
        CString strRanges, strTag, strModified;
        QueryHeaderText(m_url.get(), HTTP_QUERY_ACCEPT_RANGES, &strRanges);
        QueryHeaderText(m_url.get(), HTTP_QUERY_ETAG, &strTag);
        QueryHeaderText(m_url.get(), HTTP_QUERY_LAST_MODIFIED, &strModified);
        m_resume.offset = 0;
        m_resume.total = dwSize;
        m_resume.validator = ResumeValidator(strRanges, strTag, strModified);
    }

    Notify(hNotifyWnd, WM_DOWNLOAD_SIZE, WPARAM(m_resume.total), 0);
    return true;
}

TryOutcome CHttpDownloader::ReceiveToFile(HWND hNotifyWnd)
{
    const uint64_t nStart = m_resume.offset;   // 0 unless this try continues a cut body
    CDownloadProgress progress(m_resume.total, ::GetTickCount(), nStart);
    Notify(hNotifyWnd, WM_DOWNLOAD_PROGRESS, WPARAM(progress.LastPercent()), CountParam(nStart));

    if (!CanReplace(m_strTargetPath))
        return TryOutcome::Failed;
    if (!m_part)
        m_part.reset(new (std::nothrow) PartFile(m_strTargetPath));
    if (!m_part || !m_part->KeepFirst(nStart))
        return TryOutcome::Failed;

    uint64_t nWritten = nStart;
    TryOutcome ended = TryOutcome::CutShort;   // how the body ended, should it end short
    for (;;) {
        // Read exactly what the connection has ready. A failed query (the server went
        // silent for longer than the bound, or the connection broke) ends the body as a
        // read of nothing would; the byte count then tells whether it was complete.
        DWORD dwAvailable = 0;
        if (!::InternetQueryDataAvailable(m_url.get(), &dwAvailable, 0, 0)) {
            if (FailedOnSilence())
                ended = TryOutcome::Silence;
            break;
        }
        if (dwAvailable == 0)
            break;
        std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[dwAvailable]);
        if (!buffer) {
            ended = TryOutcome::Failed;
            break;
        }
        DWORD dwRead = 0;
        if (!::InternetReadFile(m_url.get(), buffer.get(), dwAvailable, &dwRead)) {
            if (FailedOnSilence())
                ended = TryOutcome::Silence;
            break;
        }
        if (dwRead == 0)
            break;

        DWORD dwWritten = 0;
        const bool wrote = ::WriteFile(m_part->get(), buffer.get(), dwRead, &dwWritten, nullptr) && dwWritten == dwRead;
        nWritten += dwWritten;
        if (nWritten > 0) {
            if (progress.UpdatePercent(nWritten))
                Notify(hNotifyWnd, WM_DOWNLOAD_PROGRESS, WPARAM(progress.LastPercent()), CountParam(nWritten));
            if (progress.UpdateTimeMark(::GetTickCount()))
                Notify(hNotifyWnd, WM_DOWNLOAD_PROGRESS, WPARAM(progress.LastPercent()), CountParam(nWritten));
        }
        // A reply that runs past its declared size has failed already; reading on would
        // only let a server that never stops fill the disk.
        if (!wrote || nWritten > m_resume.total) {
            ended = TryOutcome::Failed;
            break;
        }
    }

    Notify(hNotifyWnd, WM_DOWNLOAD_PROGRESS, WPARAM(progress.LastPercent()), CountParam(nWritten));
    m_resume.offset = nWritten;
    if (nWritten != m_resume.total)
        return ended;
    const bool replacing = ::GetFileAttributesA(m_strTargetPath) != INVALID_FILE_ATTRIBUTES;
    if (!m_part->Finish(replacing) || !IsAcceptedProgram(m_strTargetPath, m_part->Path()) || !m_part->ReplaceTarget())
        return TryOutcome::Failed;
    return TryOutcome::Arrived;
}

void CHttpDownloader::CloseHandles()
{
    m_url.Close();
    if (m_hInternet) {
        ::InternetCloseHandle(m_hInternet);
        m_hInternet = nullptr;
    }
}
